#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and the tests need and
# the machine lacks. Quick and silent when everything is there already.
set -euo pipefail

packages=(
  cmake ninja-build g++ cpp binutils   # compiler, build, nm for the export checks
  python3                               # the tests' independent models and file checks
  llvm-14                               # llvm-windres: compiles the resource scripts
  clang-format-14                       # the layout of every C++ file, checked by the tests
  clang-14 libclang-rt-14-dev           # libFuzzer and its sanitizers (the fuzz preset)
  util-linux coreutils                  # mount, timeout, truncate: the save and input tests
  libgtest-dev libbenchmark-dev         # tests and benchmarks
  libcli11-dev nlohmann-json3-dev libpng-dev
  libopenexr-dev                        # OpenEXR 3.1 and Imath: pictures at full precision
  libssl-dev                            # SHA-256 for the farm's manifests
  slurm-wlm munge                       # the farm test's one-node cluster
  libcpp-httplib-dev pkg-config         # plughost serve's HTTP server
  chromium fonts-liberation2            # the editor's browser tests (Debian's browser, Arial-like metrics)
  libstb-dev libnoise-dev               # peers in the benchmarks
  pybind11-dev python3-dev              # the quorl module for Debian's Python
  python3-numpy python3-pytest          # its arrays and its tests
  libassimp-dev libembree-dev           # models: import (in a helper process) and ray casting
)
# Node.js and npm run the editor's tests; a machine may bring its own.
command -v node >/dev/null || packages+=(nodejs)
command -v npm >/dev/null || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  if [[ $(id -u) -ne 0 ]]; then
    echo "error: packages missing and not running as root; install them with apt-get" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The editor's browser tests drive that chromium through Playwright, pinned by
# Host/web/package-lock.json; never a browser of Playwright's own.
web=$(dirname "$0")/../Host/web
if [[ ! -f $web/node_modules/.package-lock.json || $web/package-lock.json -nt $web/node_modules/.package-lock.json ]]; then
  echo "Installing the editor tests' node modules"
  (cd "$web" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error >/dev/null)
fi
