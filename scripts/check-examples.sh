#!/usr/bin/env bash
# Builds the examples (examples/) against the installed package, once
# through find_package(Halcyra) and once through pkg-config, and runs them:
# the loopback example end to end in both builds (it exits 0 only when its
# listener heard the talker), the keyboard radio with no input, and the HLA
# example as a talker and a listener through hcyrtihub. Inside a private
# network namespace when the machine allows one; everything goes to
# loopback. Usage: check-examples.sh [build]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
if [ "${HCY_IN_NETNS:-0}" != 1 ] && unshare -n true 2>/dev/null && command -v ip >/dev/null; then
  exec unshare -n bash -c "ip link set lo up && HCY_IN_NETNS=1 bash scripts/check-examples.sh '$build'"
fi
work=$(mktemp -d)
hub=""
trap '[ -n "$hub" ] && kill $hub 2>/dev/null; rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
pc=$(find "$prefix" -name halcyra.pc)
export PKG_CONFIG_PATH
PKG_CONFIG_PATH=$(dirname "$pc")

# find_package(Halcyra)
cmake -S examples -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_C_FLAGS="-Wall -Wextra -Werror" >/dev/null
cmake --build "$work/cmake" >/dev/null
# pkg-config --cflags --libs halcyra, and the library folder as the rpath
mkdir -p "$work/pc"
flags="$(pkg-config --cflags --libs halcyra) -Wl,-rpath,$(pkg-config --variable=libdir halcyra)"
fed=$(pkg-config --variable=fedfile halcyra)
for example in radio loopback hla; do
  # shellcheck disable=SC2086
  cc -std=c11 -Wall -Wextra -Werror -DHCY_EXAMPLE_FED_FILE="\"$fed\"" \
    -o "$work/pc/$example" "examples/$example.c" $flags -lm
done

for dir in cmake pc; do
  "$work/$dir/loopback" || { echo "check-examples: loopback ($dir) failed"; exit 1; }
done
HCY_AUDIO_BACKEND=virtual "$work/cmake/radio" </dev/null >"$work/radio.log" ||
  { cat "$work/radio.log"; echo "check-examples: radio failed"; exit 1; }

"$prefix/bin/hcyrtihub" --port 0 >"$work/hub.log" 2>&1 &
hub=$!
for _ in $(seq 1 100); do grep -q "listening on" "$work/hub.log" && break; sleep 0.05; done
port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/hub.log")
[ -n "$port" ] || { cat "$work/hub.log"; echo "check-examples: no RTI hub"; exit 1; }
federation="rti://127.0.0.1:$port/Examples"
"$work/pc/hla" "$federation" listen 8 >"$work/listen.log" 2>&1 &
listener=$!
for _ in $(seq 1 200); do grep -q "listens" "$work/listen.log" && break; sleep 0.05; done
"$work/cmake/hla" "$federation" talk 3 || { echo "check-examples: hla talk failed"; exit 1; }
wait $listener || { cat "$work/listen.log"; echo "check-examples: hla listen failed"; exit 1; }
grep -q "hearing 1 transmitter" "$work/listen.log" ||
  { cat "$work/listen.log"; echo "check-examples: the HLA listener heard nothing"; exit 1; }
echo "check-examples: built through CMake and pkg-config; loopback heard, radio ran, HLA heard"
