#!/usr/bin/env bash
# Builds the HTML reference of the public header into <build>/docs/html with
# Doxygen, failing on any warning (an export or parameter without its
# documentation among them). Doxygen does not warn about enumeration
# constants without one, so they are checked here: each carries its own
# comment (/**< ... */) or follows one. Usage: docs.sh [build]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
header=include/halcyra/halcyra.h

bare=$(awk '
  /^[[:space:]]*enum[[:space:]]*\{/ { inside = 1; pending = 0; next }
  inside && /^[[:space:]]*\};/ { inside = 0; next }
  inside && /^[[:space:]]*\/\*\*[^<]/ { pending = 1; next }
  inside && /^[[:space:]]*[A-Z][A-Z0-9_]* = / {
    if ($0 !~ /\/\*\*</ && !pending) print FILENAME ":" NR ": " $1
    pending = 0
  }
' "$header")
if [ -n "$bare" ]; then
  echo "docs: constants without documentation:"; echo "$bare"; exit 1
fi

mkdir -p "$build/docs"
HCY_DOCS_OUT="$build/docs" doxygen docs/Doxyfile
echo "docs: $build/docs/html/index.html"
