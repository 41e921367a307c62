#!/bin/sh
# Builds the Debian package and checks its file list and declared dependencies.
#   ./scripts/package.sh            -> build-package/tavimor-complaints_<version>_<arch>.deb
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVIMOR_TESTS=OFF -DTAVIMOR_BENCH=OFF
cmake --build build-package --target tavimor-complaints
(cd build-package && cpack -G DEB >/dev/null)
deb=$(ls build-package/tavimor-complaints_*.deb | head -n 1)
echo "package: $deb ($(du -h "$deb" | cut -f1))"

files=$(dpkg-deb -c "$deb")
for f in ./usr/bin/tavimor-complaints ./usr/lib/tavimor-complaints/tavimor-complaints \
         ./usr/lib/tavimor-complaints/banner.bmp ./usr/lib/tavimor-complaints/MDI.BMP \
         ./usr/lib/tavimor-complaints/db/sqlserver.sql ./usr/share/applications/tavimor-complaints.desktop \
         ./usr/share/icons/hicolor/256x256/apps/tavimor-complaints.png; do
  echo "$files" | grep -q " $f" || { echo "missing from the package: $f"; exit 1; }
done
depends=$(dpkg-deb -f "$deb" Depends)
echo "depends: $depends"
for d in libqt6widgets6 libqt6printsupport6 libqt6sql6 libqt6sql6-sqlite libsqlite3-0 libqt6charts6 libodbc2 tdsodbc unixodbc libzip4 fonts-wqy-microhei; do
  echo "$depends" | grep -q "$d" || { echo "missing dependency: $d"; exit 1; }
done
echo "package checked"
