#!/usr/bin/env bash
# Installs what building and testing Tarnwick needs on Debian 12, skipping
# whatever is already present. Safe to run again.
set -euo pipefail

need=()
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
for p in cmake ninja-build g++ make python3 googletest libgtest-dev libbenchmark-dev clang libclang-rt-14-dev \
         mingw-w64 g++-mingw-w64-x86-64 g++-mingw-w64-i686 \
         wine wine64 xvfb xdotool imagemagick xauth x11-utils; do
  have_pkg "$p" || need+=("$p")
done
# wine32 makes /usr/bin/wine pick the 32-bit loader, which this kernel cannot run.
if have_pkg wine32; then
  echo "setup: removing wine32 (32-bit Wine cannot run here)" >&2
  SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
  $SUDO apt-get remove -y wine32 >/dev/null
fi
if [ ${#need[@]} -gt 0 ]; then
  echo "setup: installing ${need[*]}" >&2
  SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
