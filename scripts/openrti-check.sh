#!/usr/bin/env bash
# The library on a real HLA 1.3 RTI, OpenRTI 0.10.0 (LGPL; built from its
# source, neither copied into the project nor shipped):
#   scripts/openrti-check.sh [TARBALL]   (default ../shared/third_party/openrti-0.10.0.tar.gz)
# Builds OpenRTI's 1.3 API into HCY_OPENRTI_DIR (default
# ${TMPDIR:-/tmp}/hcy-openrti, kept for the next run), configures the project
# with -DHCY_RTI=external against it in build-openrti, fails on a warning
# from our code, checks that the installed hcyhost starts, and runs there:
# the HLA manager, library and federation tests (thread:/// federations),
# the HLA end-to-end scenarios and the HLA demo through
# `rtinode -i 127.0.0.1:PORT`, and a 20 s federated soak.
# Without the tarball it says so and does nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
tarball=${1:-../shared/third_party/openrti-0.10.0.tar.gz}
if [ ! -f "$tarball" ]; then
  echo "openrti-check: skipped: no OpenRTI source at $tarball"
  exit 0
fi
or=${HCY_OPENRTI_DIR:-${TMPDIR:-/tmp}/hcy-openrti}
build=build-openrti

if [ ! -f "$or/src/CMakeLists.txt" ]; then
  mkdir -p "$or/src"
  tar -xzf "$tarball" -C "$or/src" --strip-components=1
fi
cmake -S "$or/src" -B "$or/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_INSTALL_PREFIX="$or/install" -DOPENRTI_ENABLE_PYTHON_BINDINGS=OFF \
      -DOPENRTI_ENABLE_RTI1516=OFF -DOPENRTI_ENABLE_RTI1516E=OFF >/dev/null
cmake --build "$or/build" --target install -j "$(nproc)" >/dev/null

# A fresh folder, so that every file of ours compiles here and shows its
# warnings.
rm -rf "$build"
server="$or/install/bin/rtinode -i 127.0.0.1:{port}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHCY_BUILD_BENCH=OFF \
      -DHCY_RTI=external -DHCY_RTI_ROOT="$or/install" "-DHCY_RTI_SERVER=$server" >/dev/null
if ! cmake --build "$build" -j "$(nproc)" >"$build/build.log" 2>&1; then
  grep -E -A5 "error|FAILED" "$build/build.log" | head -60
  echo "openrti-check: the build failed"
  exit 1
fi
if grep -E "warning:" "$build/build.log" | grep -v "^$or"; then
  echo "openrti-check: warnings from our code above"
  exit 1
fi

# Installed, the library finds the RTI's libraries by itself.
prefix=$(mktemp -d)
cmake --install "$build" --prefix "$prefix" >/dev/null
"$prefix/bin/hcyhost" --help >/dev/null || { echo "openrti-check: the installed hcyhost does not start"; exit 1; }
rm -rf "$prefix"

tests='^(Manager|LibraryInFederation|RprCodec|Federation|FederationLifecycle)\.|^e2e\.hla'
HCY_CTEST_ARGS="-R '$tests'" bash scripts/run-tests.sh "$build"
# The soak alone: its hosts must all start within a few seconds.
HCY_CTEST_ARGS="-R '^hosts\.soak\$'" bash scripts/run-tests.sh "$build"

run_demo="HCY_DEMO_TRANSPORT=hla HCY_RTI_SERVER='$server' bash scripts/demo.sh $build"
if unshare -n true 2>/dev/null; then
  unshare -n bash -c "ip link set lo up && $run_demo"
else
  eval "$run_demo"
fi
echo "openrti-check: passed"
