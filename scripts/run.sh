#!/usr/bin/env bash
# The main job: install what is missing, build, and show the plug-in folder.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh release >/dev/null
exec build/release/bin/plughost list "$@"
