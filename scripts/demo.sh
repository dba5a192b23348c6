#!/usr/bin/env bash
# The main job. Until the host program exists: a lifecycle check of the
# library through a C host (init, version, copyright, exit).
set -euo pipefail
build=${1:-build}
"$build/tools/hcy_lifecycle_check"
