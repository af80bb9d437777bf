#!/usr/bin/env bash
# Sends every request of the corpus files through declconv.exe under Wine, once with
# each COM backend, and compares the responses and exit status byte for byte with
# those of the native declconv, the reference. A file that is no request list (.jsonl)
# is a declaration file and goes through declconv convert instead.
#   corpus.sh NATIVE_DECLCONV WINDOWS_DECLCONV BACKEND... -- FILE...
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-env"

native=$1 windows=$2
shift 2
backends=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do backends+=("$1"); shift; done
shift
if [ ! -x "$native" ]; then
  echo "FAIL: the native declconv '$native' is missing: build the debug preset first (scripts/test does)" >&2
  exit 1
fi
loader=$(wine_loader "$windows") || exit $?

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
for corpus in "$@"; do
  name=$(basename "$corpus")
  case "$name" in
    *.jsonl) command=jsonl; what="$(wc -l <"$corpus") requests" ;;
    *) command=convert; what="declaration file" ;;
  esac
  "$native" "$command" "$corpus" >"$work/native" 2>/dev/null
  native_status=$?
  for backend in "${backends[@]}"; do
    start=${EPOCHREALTIME/./}
    "$loader" "$windows" "$command" "$(windows_path "$corpus")" --backend "$backend" </dev/null >"$work/$backend" 2>"$work/$backend.err"
    status=$?
    tenths=$(( (${EPOCHREALTIME/./} - start) / 100000 ))
    if ! cmp -s "$work/native" "$work/$backend"; then
      echo "FAIL: $name through --backend $backend differs from the native responses:" >&2
      cat "$work/$backend.err" >&2
      diff "$work/native" "$work/$backend" | head -20 >&2
      failures=$((failures + 1))
    elif [ "$status" -ne "$native_status" ]; then
      echo "FAIL: $name through --backend $backend exited with $status, the native run with $native_status" >&2
      failures=$((failures + 1))
    else
      printf '%s (%s): --backend %s gives the native output byte for byte (%d.%d s)\n' \
        "$name" "$what" "$backend" $((tenths / 10)) $((tenths % 10))
    fi
  done
done
exit $((failures != 0))
