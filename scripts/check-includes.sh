#!/usr/bin/env bash
# Reads the #include lines of every source and fails on an include against
# the folders' dependency order, or on a system header where it does not
# belong. Usage: check-includes.sh [tree]   (default: this checkout)
#
# The order, lowest first (a folder includes its own headers and those of
# the folders below it; the three in braces are one layer and include each
# other):
#
#   rank 0  platform/ (with platform/rti13/, the RTI library)
#   rank 1  base/
#   rank 2  codecs/
#   rank 3  net/, wav/
#   rank 4  {radio/, audio/, interphone/}
#   rank 5  media/, hla/, ui/
#   rank 6  core/
#   rank 7  tools/
#   rank 8  tests/, bench/      (any folder)
#
# Besides the folders:
# - hcyplat/... (platform/include): from every folder.
# - halcyra/... (include/, and the generated halcyra/version.h): the public
#   header, from base/ up. include/ itself includes only its own headers.
# - RTI headers (platform/rti13/include, or an outside RTI's *.hh headers):
#   from hla/, platform/rti13/, tests/ and bench/ only.
# - System headers (<sys/...>, <pthread.h>, <unistd.h>, sockets, sound APIs
#   and the like): only in platform/, in the socket wrapper net/udp_socket.cpp,
#   and in tools/, tests/ and bench/ (which stand for peers and hosts).
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"

folders=(platform base codecs net wav radio audio interphone media hla ui core tools tests bench include)
present=()
for f in "${folders[@]}"; do [ -d "$f" ] && present+=("$f"); done
[ ${#present[@]} -eq 0 ] && { echo "check-includes: no source folders under $root" >&2; exit 2; }

listing=$(mktemp)
trap 'rm -f "$listing"' EXIT
# Every file of the tree (build folders aside) can be named by an include;
# the sources of the folders above are the ones read.
find . \( -name .git -o -name 'build*' \) -prune -o -type f -print | sed 's|^\./||' | sort >"$listing"
mapfile -t sources < <(find "${present[@]}" -type f | grep -E '\.(c|cc|cpp|h|hh|hpp)$' | sort)

awk -v listing="$listing" '
function rank(f) {
    if (f == "platform") return 0
    if (f == "base") return 1
    if (f == "codecs") return 2
    if (f == "net" || f == "wav") return 3
    if (f == "radio" || f == "audio" || f == "interphone") return 4
    if (f == "media" || f == "hla" || f == "ui") return 5
    if (f == "core") return 6
    if (f == "tools") return 7
    if (f == "tests" || f == "bench") return 8
    return -1
}
function top(p,   a) { split(p, a, "/"); return a[1] }
# Folds "." and ".." out of a relative path.
function normal(p,   a, n, i, out, k) {
    n = split(p, a, "/"); k = 0
    for (i = 1; i <= n; i++) {
        if (a[i] == "" || a[i] == ".") continue
        if (a[i] == "..") { if (k > 0) k--; continue }
        out[++k] = a[i]
    }
    p = ""
    for (i = 1; i <= k; i++) p = p (i > 1 ? "/" : "") out[i]
    return p
}
# The tree path an include names, or "" when it is not in the tree.
function resolve(name, quoted, dir,   c) {
    if (quoted) { c = normal(dir "/" name); if (c in tree) return c }
    if (name in tree) return name
    if (("include/" name) in tree) return "include/" name
    if (("platform/include/" name) in tree) return "platform/include/" name
    if (("platform/rti13/include/" name) in tree) return "platform/rti13/include/" name
    if (("tests/" name) in tree) return "tests/" name
    return ""
}
function systemHeader(name) {
    return name ~ /^(sys|netinet|arpa|linux|alsa|pulse|jack|sound)\// ||
           name ~ /^(pthread|sched|unistd|fcntl|poll|dlfcn|netdb|semaphore|termios|portaudio|windows|dsound|mmsystem|winsock2?)\.h$/ ||
           name ~ /^net\/(if|route|ethernet)\.h$/
}
function fail(msg) { print FILENAME ":" FNR ": " msg; bad = 1 }
BEGIN {
    while ((getline line < listing) > 0) tree[line] = 1
    close(listing)
}
FNR == 1 {
    from = top(FILENAME)
    dir = FILENAME; sub(/\/[^\/]*$/, "", dir)
    rti = FILENAME ~ /^platform\/rti13\//
}
/^[ \t]*#[ \t]*include[ \t]*[<"]/ {
    line = $0
    sub(/^[ \t]*#[ \t]*include[ \t]*/, "", line)
    quoted = substr(line, 1, 1) == "\""
    name = substr(line, 2)
    sub(/[">].*$/, "", name)
    path = resolve(name, quoted, dir)
    if (path == "" && name ~ /^halcyra\//) path = "include/" name   # generated
    if (path == "") {
        if (name ~ /\.hh$/) to = "rti"
        else {
            if (systemHeader(name) && from != "platform" && from != "tools" && from != "tests" &&
                from != "bench" && FILENAME != "net/udp_socket.cpp")
                fail("system header <" name "> in the library outside platform/ and net/udp_socket.cpp")
            next
        }
    } else if (path ~ /^platform\/rti13\/include\//) to = "rti"
    else to = top(path)

    if (to == from) next
    if (to == "rti") {
        if (from != "hla" && from != "tests" && from != "bench" && !rti)
            fail("RTI header \"" name "\" outside hla/")
        next
    }
    if (from == "include") { fail("the public header includes \"" name "\""); next }
    if (to == "include") {
        if (rank(from) < 1) fail(from "/ includes the public header \"" name "\"")
        next
    }
    if (to == "platform" || rank(from) == 8) next
    if (rank(to) < 0) { fail(from "/ includes \"" name "\" of " to "/, a folder not in the order"); next }
    if (rank(to) == 4 && rank(from) == 4) next
    if (rank(to) >= rank(from))
        fail(from "/ includes \"" name "\" of " to "/: against the dependency order")
}
END { exit bad }
' "${sources[@]}"
