#!/usr/bin/env bash
# plughost list: lists the build's plug-in files, reports a file that fails to
# load with the loader's reason, and goes on with the others.
source "$(dirname "$0")/helpers.sh"
plughost=$1
good=$2  # the tests' own plug-in file
bad=$3   # the same built for another host API, and without entry points
unload=$4  # the same, crashing when it is unloaded

out=$("$plughost" list)
grep -q '^QuorlLib.dlu$' <<<"$out" || { echo "QuorlLib.dlu not listed:"; echo "$out"; exit 1; }
grep -q '0 failed to load' <<<"$out" || { echo "unexpected failures:"; echo "$out"; exit 1; }
grep -qx '  host entries: 2 from QuorlLib.dlu.host-entries.so' <<<"$out" || { echo "no host entries:"; echo "$out"; exit 1; }
files=$(sed -n 's/^\([0-9]*\) plug-in file(s), 0 failed to load$/\1/p' <<<"$out")

printf 'not an ELF file' >"$tmp/broken.dlt"
printf 'ignored' >"$tmp/readme.txt"
out=$("$plughost" --plugins "$tmp" list)
grep -q '^broken.dlt$' <<<"$out" || { echo "broken.dlt not listed:"; echo "$out"; exit 1; }
grep -q 'failed to load: not an ELF image' <<<"$out" || { echo "no reason:"; echo "$out"; exit 1; }
grep -q '^QuorlLib.dlu$' <<<"$out" || { echo "stopped after the failure:"; echo "$out"; exit 1; }
grep -q 'readme' <<<"$out" && { echo "listed a file that is no plug-in"; exit 1; }
grep -q "^$((files + 1)) plug-in file(s), 1 failed to load" <<<"$out" || { echo "wrong totals:"; echo "$out"; exit 1; }

# Each file's description, version and classes.
grep -q '^  version: 0x0FA00800 (release 4000, API 8, revision 0)$' <<<"$out" || { echo "no version:"; echo "$out"; exit 1; }
for class in '"QuorlLib::Perturbation": not public, reference target, category "MtmDataClassDesc::Category", class id (0x37647715, 0x188822CB), super class 0x00000100' \
             '"QuorlLib": public, utility, category "Quorl'"'"'s Utilities", class id (0x31A9E10C, 0x41BE84EF), super class 0x00001020'; do
  grep -qF "    $class" <<<"$out" || { echo "missing class line: $class"; echo "$out"; exit 1; }
done

# A module's note about itself is shown with it: the library names the noise
# code it runs, as QUORLLIB_SIMD asks or, for an unknown name, says so.
grep -q '^  note: noise path [a-z0-9]* (chosen for this processor; QUORLLIB_SIMD=scalar|' <<<"$out" ||
  { echo "no note on the noise path:"; echo "$out"; exit 1; }
QUORLLIB_SIMD=scalar "$plughost" list | grep -qx '  note: noise path scalar (QUORLLIB_SIMD=scalar)' ||
  { echo "QUORLLIB_SIMD=scalar not followed"; exit 1; }
err=$(QUORLLIB_SIMD=turbo "$plughost" list 2>&1 >/dev/null)
grep -q '^QuorlLib: QUORLLIB_SIMD=turbo is not one of scalar, .*; using ' <<<"$err" ||
  { echo "unknown QUORLLIB_SIMD not reported: $err"; exit 1; }

# Files the host refuses are reported with the reason and closed; the others
# are still listed.
out=$("$plughost" --no-default-plugins --plugins "$good" --plugins "$bad" list)
grep -qF '  description: plughost test classes' <<<"$out" || { echo "no description:"; echo "$out"; exit 1; }
grep -qF '    "Host Test Widget": public, reference target, category "Host Tests", class id (0x5EC0AB01, 0x00000001)' <<<"$out" ||
  { echo "test classes not listed:"; echo "$out"; exit 1; }
grep -qF '    "Host Test Part": not public' <<<"$out" || { echo "private class not listed:"; echo "$out"; exit 1; }
grep -qF 'HostTestOldApi.dlo
  failed to load: built for host API 7 (version 0x0FA00700), this host has API 8' <<<"$out" ||
  { echo "API mismatch not reported:"; echo "$out"; exit 1; }
grep -qF 'HostTestNoEntry.dlo
  failed to load: not a plug-in of this host: it lacks LibVersion LibDescription LibNumberClasses LibClassDesc' <<<"$out" ||
  { echo "missing entry points not reported:"; echo "$out"; exit 1; }
grep -q '3 plug-in file(s), 2 failed to load' <<<"$out" || { echo "wrong totals:"; echo "$out"; exit 1; }
# A file that crashes when it is unloaded is refused at the start, instead
# of crashing every command at its exit.
out=$("$plughost" --no-default-plugins --plugins "$unload" list) || { echo "list crashed at exit:"; echo "$out"; exit 1; }
grep -qF 'HostTestCrashAtUnload.dlo
  failed to load: unloading it crashed the loader (' <<<"$out" || { echo "crash at unload not reported:"; echo "$out"; exit 1; }

# The texture with its texts read back (each copied before the next call of
# its string loader, which reuses one buffer).
full=$("$plughost" list)
grep -qF '    "Vede": public, texture map, category "Quorl Studio", class id (0x761983AE, 0x9B35C99C), super class 0x00000C10' <<<"$full" ||
  { echo "Vede not listed right:"; echo "$full"; exit 1; }

# Without QuorlLib.dlu beside it the texture does not load; the loader says
# why and the other files are still listed.
plugins=$(dirname "$(sed -n 's/^  loaded from \(.*Vede.dlt\)$/\1/p' <<<"$full")")
mkdir "$tmp/alone"
cp "$plugins/Vede.dlt" "$tmp/alone/"
out=$("$plughost" --no-default-plugins --plugins "$tmp/alone" --plugins "$good" list)
grep -qF 'Vede.dlt
  failed to load: ' <<<"$out" || { echo "Vede.dlt loaded without QuorlLib.dlu:"; echo "$out"; exit 1; }
grep -q 'QuorlLib.dlu: cannot open shared object file' <<<"$out" || { echo "no loader reason:"; echo "$out"; exit 1; }
grep -q '^HostTestClasses.dlo$' <<<"$out" || { echo "stopped after the failure:"; echo "$out"; exit 1; }

# The host program names no plug-in: none of the class ids the plug-in files
# list stands in its sources.
ids=$(sed -n 's/.*class id (\(0x[0-9A-F]*\), \(0x[0-9A-F]*\)).*/\1 \2/p' <<<"$full")
[[ $(wc -w <<<"$ids") -ge 6 ]] || fail "too few class ids listed: $ids"
for id in $ids; do
  hits=$(grep -rniF --exclude-dir=tests "$id" "$(dirname "$0")/.." || true)
  [[ -z $hits ]] || fail "the host program names class id $id:"$'\n'"$hits"
done

expect_error "A subcommand is required" "$plughost" frobnicate
echo "plughost list: ok"
