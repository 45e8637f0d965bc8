#!/usr/bin/env bash
# The main job: install what is missing, build, and render the default
# texture (a new Vede, as the material editor shows a map) to vede.png.
# Arguments go to plughost render (for instance --view sphere -o sphere.png).
set -euo pipefail
# Paths in the arguments are the caller's: only the build happens in the
# checkout, and the command runs where it was called.
root="$(cd "$(dirname "$0")/.." && pwd)"
(cd "$root" && scripts/install-deps.sh && scripts/build.sh release >/dev/null)
exec "$root/build/release/bin/plughost" render "$@"
