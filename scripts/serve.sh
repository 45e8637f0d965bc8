#!/usr/bin/env bash
# The material editor in a browser: install what is missing, build, and serve
# a texture (a new Vede, or the scene file given) on this machine's loopback
# address. The address to open is printed (and opened where there is a
# desktop); Ctrl-C or the page's Quit stops it. Arguments go to plughost serve
# (for instance dirt.json, --port 8080, --no-open).
set -euo pipefail
# Paths in the arguments are the caller's: only the build happens in the
# checkout, and the command runs where it was called.
root="$(cd "$(dirname "$0")/.." && pwd)"
(cd "$root" && scripts/install-deps.sh && scripts/build.sh release >/dev/null)
exec "$root/build/release/bin/plughost" serve "$@"
