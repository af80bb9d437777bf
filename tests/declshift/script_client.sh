#!/usr/bin/env bash
# Runs a script client of the plug-in under Wine's cscript of the DLL's
# architecture and compares what it prints with the expected text.
#   script_client.sh DLL SCRIPT EXPECTED
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-env"

dll=$1 script=$2 expected=$3
loader=$(wine_loader "$dll") || exit $?
output=$(mktemp)
trap 'rm -f "$output"' EXIT

# Script errors end cscript with status 0 and a message, so the printed text is what
# counts; the scripts end with an explicit status of their own.
"$loader" cscript //nologo "$(windows_path "$script")" </dev/null 2>&1 | tr -d '\r' >"$output"
status=${PIPESTATUS[0]}
if ! diff -u "$expected" "$output"; then
  echo "FAIL: $(basename "$script") printed other text than $(basename "$expected")" >&2
  exit 1
fi
if [ "$status" -ne 0 ]; then
  echo "FAIL: cscript $(basename "$script") exited with $status" >&2
  exit 1
fi
echo "$(basename "$script"): $(wc -l <"$output") lines as expected"
