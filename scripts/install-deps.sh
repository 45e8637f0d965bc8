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
  libssl-dev                            # SHA-256 for the farm's manifests
  slurm-wlm munge                       # the farm test's one-node cluster
  libstb-dev libnoise-dev               # peers in the benchmarks
)

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
