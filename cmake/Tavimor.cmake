# Shared build settings and helpers.

set(TAVIMOR_WARNINGS -Wall -Wextra -Wpedantic -Wno-unused-parameter)
if(TAVIMOR_WERROR)
  list(APPEND TAVIMOR_WARNINGS -Werror)
endif()

if(TAVIMOR_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(TAVIMOR_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# tavimor_library(<folder> [DEPENDS <folder>...] [LIBS <target>...])
# Builds src/<folder>/*.cpp (except main.cpp) into the static library tavimor_<folder>.
function(tavimor_library folder)
  cmake_parse_arguments(ARG "" "" "DEPENDS;LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
       ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  add_library(tavimor_${folder} STATIC ${sources})
  target_include_directories(tavimor_${folder} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(tavimor_${folder} PRIVATE ${TAVIMOR_WARNINGS})
  foreach(dep IN LISTS ARG_DEPENDS)
    target_link_libraries(tavimor_${folder} PUBLIC tavimor_${dep})
  endforeach()
  target_link_libraries(tavimor_${folder} PUBLIC ${ARG_LIBS})
endfunction()
