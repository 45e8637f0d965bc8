#!/usr/bin/env bash
# The main job: install what is missing, build, and render the default
# texture (a new Vede, as the material editor shows a map) to vede.png.
# Arguments go to plughost render (for instance --view sphere -o sphere.png).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh release >/dev/null
exec build/release/bin/plughost render "$@"
