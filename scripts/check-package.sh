#!/usr/bin/env bash
# Installs a build folder under a temporary prefix and checks the package
# from outside: the sonames, the installed hcyhost, and two tiny C hosts
# built out of tree (tools/lifecycle_check.c), one through
# find_package(Halcyra), one through pkg-config, each linking
# libHalcyra.so.1 by soname and running. Usage: check-package.sh [build]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
pc=$(find "$prefix" -name halcyra.pc)
[ -n "$pc" ] || { echo "check-package: no halcyra.pc installed"; exit 1; }
libdir=$(dirname "$(dirname "$pc")")

soname() { readelf -d "$1" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p'; }
needs() { readelf -d "$1" | grep "(NEEDED).*\[$2\]" >/dev/null || { echo "check-package: $1 does not need $2"; exit 1; }; }
[ "$(soname "$libdir/libHalcyra.so")" = libHalcyra.so.1 ] || { echo "check-package: libHalcyra.so soname"; exit 1; }
[ "$(soname "$libdir/libhcyplatform.so")" = libhcyplatform.so.1 ] || { echo "check-package: libhcyplatform.so soname"; exit 1; }
for header in halcyra/halcyra.h hcyplat/hcyplatform.h; do
  [ -f "$prefix/include/$header" ] || { echo "check-package: $header not installed"; exit 1; }
done
"$prefix/bin/hcyhost" --help >/dev/null
# The license travels with the package: the text and its SPDX identifier.
[ -f "$prefix/share/doc/halcyra/LICENSE" ] || { echo "check-package: LICENSE not installed"; exit 1; }
for file in "$prefix/include/halcyra/halcyra.h" "$pc" "$libdir/cmake/Halcyra/HalcyraConfig.cmake"; do
  grep -q 'SPDX-License-Identifier: Apache-2.0' "$file" || { echo "check-package: no SPDX identifier in $file"; exit 1; }
done

# find_package(Halcyra)
cmake -S tests/package -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake" >/dev/null
needs "$work/cmake/consumer" libHalcyra.so.1
"$work/cmake/consumer" >/dev/null

# pkg-config --cflags --libs halcyra
flags=$(PKG_CONFIG_PATH="$(dirname "$pc")" pkg-config --cflags --libs halcyra)
cc -std=c11 -Wall -Wextra -Werror -o "$work/pc-consumer" tools/lifecycle_check.c $flags
needs "$work/pc-consumer" libHalcyra.so.1
LD_LIBRARY_PATH="$libdir" "$work/pc-consumer" >/dev/null

echo "check-package: installed, found by CMake and by pkg-config, libHalcyra.so.1 linked by soname"
