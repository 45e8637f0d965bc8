# What plughost's shell tests share. A test sources it first thing:
#   source "$(dirname "$0")/helpers.sh"
# and gets a temporary folder $tmp (removed on exit) and the checks below.
set -euo pipefail
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

fail() { echo "FAIL: $*"; exit 1; }
# has TEXT WANTED / hasnt TEXT UNWANTED: WANTED is (not) a part of TEXT.
has() { grep -qF -- "$2" <<<"$1" || fail "expected '$2' in:"$'\n'"$1"; }
hasnt() { ! grep -qF -- "$2" <<<"$1" || fail "did not expect '$2' in:"$'\n'"$1"; }
# expect_error WANTED COMMAND...: the command fails with one clean message on
# standard error ("plughost: ...", no sanitizer report) that says WANTED.
expect_error() {
  local wanted=$1 err
  shift
  if err=$("$@" 2>&1 >/dev/null); then fail "succeeded: $*"; fi
  has "$err" "$wanted"
  [[ $(grep -c '^plughost: ' <<<"$err") == 1 && $err != *Sanitizer* ]] || fail "not one clean message: $err"
}
