#!/usr/bin/env bash
# plughost list: lists the build's plug-in files, reports a file that fails to
# load with the loader's reason, and goes on with the others.
set -euo pipefail
plughost=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

out=$("$plughost" list)
grep -q '^QuorlLib.dlu$' <<<"$out" || { echo "QuorlLib.dlu not listed:"; echo "$out"; exit 1; }
grep -q '0 failed to load' <<<"$out" || { echo "unexpected failures:"; echo "$out"; exit 1; }

printf 'not an ELF file' >"$tmp/broken.dlt"
printf 'ignored' >"$tmp/readme.txt"
out=$("$plughost" --plugins "$tmp" list)
grep -q '^broken.dlt$' <<<"$out" || { echo "broken.dlt not listed:"; echo "$out"; exit 1; }
grep -q 'failed to load: .*broken.dlt' <<<"$out" || { echo "no loader reason:"; echo "$out"; exit 1; }
grep -q '^QuorlLib.dlu$' <<<"$out" || { echo "stopped after the failure:"; echo "$out"; exit 1; }
grep -q 'readme' <<<"$out" && { echo "listed a file that is no plug-in"; exit 1; }
grep -q '2 plug-in file(s), 1 failed to load' <<<"$out" || { echo "wrong totals:"; echo "$out"; exit 1; }

if "$plughost" frobnicate >/dev/null 2>&1; then echo "unknown command accepted"; exit 1; fi
echo "plughost list: ok"
