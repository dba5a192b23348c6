#!/usr/bin/env bash
# The built library's dynamic symbol table holds exactly the 120 exports of
# the version script (the misspelt hcySetMutliVoxLevel among them) and no
# other hcy symbol.
set -euo pipefail
lib=$1 map=$2
expected=$(grep -o 'hcy[A-Za-z]*' "$map" | sort)
actual=$(nm -D --defined-only "$lib" | awk '$2 == "T" {print $3}' | grep '^hcy' | sort)
count=$(printf '%s\n' "$actual" | grep -c . || true)
[ "$count" -eq 120 ] || { echo "expected 120 hcy exports, found $count"; exit 1; }
[ "$(printf '%s\n' "$expected" | grep -c .)" -eq 120 ] || { echo "version script does not list 120 names"; exit 1; }
diff <(printf '%s\n' "$expected") <(printf '%s\n' "$actual") || { echo "export names differ"; exit 1; }
grep -qx hcySetMutliVoxLevel <<<"$actual" || { echo "hcySetMutliVoxLevel missing"; exit 1; }
others=$(nm -D --defined-only "$lib" | awk '{print $3}' | grep -v '^hcy' | grep -v -E '^(_init|_fini|_edata|_end|__bss_start)$' || true)
[ -z "$others" ] || { echo "unexpected exported symbols:"; echo "$others" | head -20; exit 1; }
echo "120 exports, no others"
