#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when run as root
# and something is missing. Without root it only reports what is missing.
set -euo pipefail
packages=(
  cmake ninja-build g++ make binutils
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang clang-format libclang-rt-14-dev
  iproute2 util-linux
  tshark
  libfltk1.3-dev libpng-dev xvfb
  libespeak-ng-dev libpocketsphinx-dev pocketsphinx-en-us libsoxr-dev pkg-config
  libasound2-dev
  doxygen
)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -eq 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
else
  echo "setup: missing packages (run as root to install): ${missing[*]}" >&2
fi
