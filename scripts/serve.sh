#!/usr/bin/env bash
# The material editor in a browser: install what is missing, build, and serve
# a texture (a new Vede, or the scene file given) on this machine's loopback
# address. The address to open is printed (and opened where there is a
# desktop); Ctrl-C or the page's Quit stops it. Arguments go to plughost serve
# (for instance dirt.json, --port 8080, --no-open).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh release >/dev/null
exec build/release/bin/plughost serve "$@"
