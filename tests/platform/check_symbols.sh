#!/usr/bin/env bash
# libhcyplatform.so exports the hcyplat C functions of hcyplatform.h and the
# plat interface, nothing else: no internals of the sound system, the
# dialogs or the speech engines, no template instances, no toolkit symbols.
set -euo pipefail
lib=$1 header=$2
symbols=$(nm -D --defined-only -C "$lib" | cut -d' ' -f3- | grep -v -E '^(_init|_fini|_edata|_end|__bss_start)$')
others=$(printf '%s\n' "$symbols" |
  grep -v -E '^(hcyplat[A-Za-z]+|plat::.*|(vtable|typeinfo|typeinfo name) for plat::.*)$' || true)
[ -z "$others" ] || { echo "exported outside the interface:"; echo "$others" | head -20; exit 1; }
internal=$(printf '%s\n' "$symbols" | grep -E 'plat::(vsnd::detail|dialog|speech)::' || true)
[ -z "$internal" ] || { echo "internals exported:"; echo "$internal" | head -20; exit 1; }
for name in $(grep -o 'hcyplat[A-Z][A-Za-z]*' "$header" | sort -u); do
  grep -qx "$name" <<<"$symbols" || { echo "$name not exported"; exit 1; }
done
echo "$(printf '%s\n' "$symbols" | grep -c .) exports, all of the interface"
