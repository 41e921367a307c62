#!/bin/sh
# Installs every Debian package that the build, the program, the tests and the benchmarks need.
set -eu
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

PACKAGES="
  cmake ninja-build g++ make pkg-config git
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite
  qt6-charts-dev libqt6opengl6-dev qt6-translations-l10n
  unixodbc unixodbc-dev tdsodbc freetds-bin
  libzip-dev zipcmp sqlite3 libsqlite3-dev
  fonts-wqy-microhei
  python3 python3-openpyxl python3-sqlglot libxlsxwriter-dev
  libreoffice-calc-nogui poppler-utils
  clang libfuzzer-14-dev libclang-rt-14-dev
  xvfb xauth clang-format dpkg-dev file
"

missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  # shellcheck disable=SC2086
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
fi
