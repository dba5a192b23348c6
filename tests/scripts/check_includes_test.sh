#!/usr/bin/env bash
# scripts/check-includes.sh on a tiny tree: it passes as built, and each
# planted include against the rules fails it with one line naming the file.
set -euo pipefail
checker="$(cd "$(dirname "$0")/../.." && pwd)/scripts/check-includes.sh"
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT

put() {  # put <file> <include line>...
    mkdir -p "$tree/$(dirname "$1")"
    local file=$1
    shift
    printf '%s\n' "$@" >"$tree/$file"
}
put platform/include/hcyplat/types.h '#include <cstdint>'
put platform/src/thread.cpp '#include <pthread.h>' '#include "hcyplat/types.h"'
put platform/rti13/include/RTI.hh '#include <string>'
put platform/rti13/src/ambassador.cpp '#include <sys/socket.h>' '#include "RTI.hh"'
put include/halcyra/halcyra.h '#include <stdint.h>'
put base/library.h '#include <string>' '#include "hcyplat/types.h"' '#include "halcyra/halcyra.h"'
put codecs/codec.h '#include "base/library.h"'
put net/udp_socket.cpp '#include <sys/socket.h>' '#include <unistd.h>'
put net/net_mgr.h '#include "codecs/codec.h"' '#include "halcyra/version.h"'
put radio/radio.h '#include "audio/device.h"' '#include "net/net_mgr.h"'
put audio/device.h '#include "radio/radio.h"' '#include "interphone/station.h"'
put interphone/station.h '#include "audio/device.h"'
put hla/link.cpp '#include "RTI.hh"' '#include "radio/radio.h"'
put core/app.cpp '#include "hla/link.h"' '#include "net/net_mgr.h"'
put hla/link.h '#include "base/library.h"'
put tools/host.cpp '#include "core/app.h"'
put core/app.h '#include "radio/radio.h"'
put tests/support.cpp '#include <unistd.h>' '#include "core/app.h"' '#include "RTI.hh"'

if ! out=$(bash "$checker" "$tree"); then
    echo "FAIL: the tree as built is refused:"
    echo "$out"
    exit 1
fi

status=0
plant() {  # plant <file> <include line> <words the report must hold>
    local file=$1 include=$2 want=$3
    local had=""
    [ -f "$tree/$file" ] && had=$(cat "$tree/$file")
    mkdir -p "$tree/$(dirname "$file")"
    printf '%s\n' "$include" >>"$tree/$file"
    local out rc=0
    out=$(bash "$checker" "$tree") || rc=$?
    if [ $rc -eq 0 ] || [ "$(printf '%s\n' "$out" | wc -l)" -ne 1 ] ||
        [[ "$out" != "$file:"*"$want"* ]]; then
        echo "FAIL: planting '$include' in $file gave (rc $rc):"
        echo "$out"
        status=1
    fi
    if [ -n "$had" ]; then printf '%s\n' "$had" >"$tree/$file"; else rm "$tree/$file"; fi
}
plant net/receive_road.cpp '#include "core/app.h"' 'against the dependency order'
plant codecs/codec.h '#include "net/net_mgr.h"' 'against the dependency order'
plant media/player.h '#include "hla/link.h"' 'against the dependency order'
plant platform/src/window.cpp '#include "halcyra/halcyra.h"' 'public header'
plant audio/capture.cpp '#include <pthread.h>' 'system header'
plant net/dis_socket.cpp '#include <arpa/inet.h>' 'system header'
plant radio/radio.cpp '#include <alsa/asoundlib.h>' 'system header'
plant core/app.cpp '#include "RTI.hh"' 'RTI header'
mkdir -p "$tree/dsp" && touch "$tree/dsp/filter.h"
plant audio/band_pass.cpp '#include "dsp/filter.h"' 'not in the order'
exit $status
