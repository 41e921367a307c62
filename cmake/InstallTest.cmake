# Installs the build into a temporary prefix and starts the installed program:
#   cmake -DBUILD_DIR=<build> -DPREFIX=<folder> -P InstallTest.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()

foreach(file bin/tavimor-complaints lib/tavimor-complaints/tavimor-complaints lib/tavimor-complaints/banner.bmp
             lib/tavimor-complaints/MDI.BMP lib/tavimor-complaints/db/sqlserver.sql
             share/applications/tavimor-complaints.desktop
             share/icons/hicolor/48x48/apps/tavimor-complaints.png)
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
if(NOT IS_SYMLINK ${PREFIX}/bin/tavimor-complaints)
  message(FATAL_ERROR "bin/tavimor-complaints should be a link to the program's own folder")
endif()

execute_process(COMMAND ${PREFIX}/bin/tavimor-complaints --version
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT out MATCHES "^tavimor-complaints [0-9]+\\.[0-9]+\\.[0-9]+")
  message(FATAL_ERROR "--version: exit ${rc}, output '${out}' '${err}'")
endif()
execute_process(COMMAND ${PREFIX}/bin/tavimor-complaints --help RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out MATCHES "--demo")
  message(FATAL_ERROR "--help: exit ${rc}, output '${out}'")
endif()
execute_process(COMMAND ${PREFIX}/bin/tavimor-complaints --no-such-option
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(rc EQUAL 0 OR NOT err MATCHES "--demo")
  message(FATAL_ERROR "an unknown option must print the usage and fail: exit ${rc}")
endif()
# --sheet writes a complaint sheet as PDF without a window; an unknown code fails with its message.
execute_process(COMMAND ${PREFIX}/bin/tavimor-complaints --demo ${PREFIX}/sheet-demo.sqlite --sheet 00000015 ${PREFIX}/sheet.pdf
                RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT EXISTS ${PREFIX}/sheet.pdf)
  message(FATAL_ERROR "--sheet: exit ${rc}, '${err}'")
endif()
execute_process(COMMAND ${PREFIX}/bin/tavimor-complaints --demo ${PREFIX}/sheet-demo.sqlite --sheet 99999999 ${PREFIX}/none.pdf
                RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 1 OR NOT err MATCHES "没有编号为99999999的投诉" OR EXISTS ${PREFIX}/none.pdf)
  message(FATAL_ERROR "--sheet with an unknown code must fail: exit ${rc}, '${err}'")
endif()
message(STATUS "installed program runs: ${out}")
file(REMOVE_RECURSE ${PREFIX})
