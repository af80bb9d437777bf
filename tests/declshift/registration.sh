#!/usr/bin/env bash
# Registration of declshift.dll in the test prefix, checked in the registry.
#
#   registration.sh register DLL IDENTITY
#                                   Removes any earlier registration of the class (by this
#                                   DLL or the other architecture's), takes a snapshot of
#                                   the class registry, registers with regsvr32 and checks
#                                   every key, unregisters with regsvr32 /u and checks that
#                                   the registry is exactly as in the snapshot, then
#                                   registers again for the tests that follow.
#   registration.sh unregister DLL IDENTITY
#                                   Unregisters with regsvr32 /u and checks that the keys
#                                   are gone.
#
# IDENTITY is the generated file naming the class's identifiers, progid, threading
# model and versions. The class's own keys must hold exactly the expected values; the
# type library's keys, which the platform writes, at least them. The registry is read
# through reg.exe of the DLL's own architecture, so a 32-bit DLL is seen through the
# 32-bit view, as its clients see it.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-env"

mode=$1
dll=$2
source "${3:?usage: registration.sh register|unregister DLL IDENTITY}"
loader=$(wine_loader "$dll") || exit $?
module=$(windows_path "$dll")
if [ "$loader" = /usr/lib/wine/wine64 ]; then platform=win64; else platform=win32; fi

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

regsvr() {
  local status=0
  "$loader" regsvr32 /s "$@" "$module" </dev/null || status=$?
  [ $status -eq 0 ] || fail "regsvr32 $* $module exited with $status"
}

# The values below KEY as lines "key|name|value" ("(Default)" for a default value), read
# with one reg.exe run; nothing when the key is missing.
values_below() {
  "$loader" reg query "$1" /s </dev/null 2>/dev/null | tr -d '\r' | awk '
    /^HKEY_/ { key = $0; next }
    /^    [^ ].*    REG_SZ    / {
      line = substr($0, 5); at = index(line, "    REG_SZ    ")
      print key "|" substr(line, 1, at - 1) "|" substr(line, at + 14) }'
}

# expect_tree exact|some KEY "SUBKEY|NAME|VALUE"...: SUBKEY is relative to KEY ("" for
# KEY itself), in the spelling the registry must show. "exact": nothing else below KEY.
expect_tree() {
  local how=$1 key=$2 entry found expected=""
  shift 2
  found=$(values_below "$key")
  [ -n "$found" ] || { fail "$key is missing"; return; }
  for entry in "$@"; do
    local sub=${entry%%|*}
    local full="HKEY_CLASSES_ROOT\\${key#HKCR\\}${sub:+\\$sub}|${entry#*|}"
    expected+="$full"$'\n'
    grep -qxF -- "$full" <<<"$found" || fail "no value ${entry#*|} in $key${sub:+\\$sub}"
  done
  if [ "$how" = exact ] && [ "$(sort <<<"$found")" != "$(sort <<<"${expected%$'\n'}")" ]; then
    fail "$key holds other values than expected:"$'\n'"$found"
  fi
}

expect_absent() {
  if "$loader" reg query "$1" </dev/null >/dev/null 2>&1; then fail "$1 is still there"; fi
}

expect_registered() {
  expect_tree exact "HKCR\\CLSID\\$clsid" "|(Default)|$progid" \
    "InprocServer32|(Default)|$module" "InprocServer32|ThreadingModel|$threading_model" \
    "ProgID|(Default)|$progid" "TypeLib|(Default)|$libid" "VERSION|(Default)|$class_version"
  expect_tree exact "HKCR\\$progid" "|(Default)|$progid" "CLSID|(Default)|$clsid"
  expect_tree some "HKCR\\TypeLib\\$libid" "$library_version\\0\\$platform|(Default)|$module"
  expect_tree some "HKCR\\Interface\\$iid" "TypeLib|(Default)|$libid" "TypeLib|Version|$library_version"
}

expect_unregistered() {
  expect_absent "HKCR\\CLSID\\$clsid"
  expect_absent "HKCR\\$progid"
  expect_absent "HKCR\\TypeLib\\$libid\\$library_version\\0\\$platform"
  expect_absent "HKCR\\Interface\\$iid"
}

# Every class registration of the prefix, both views, machine and user.
snapshot() {
  local out=$1 key
  : >"$out"
  for key in 'HKEY_LOCAL_MACHINE\Software\Classes' 'HKEY_CURRENT_USER\Software\Classes'; do
    # (a key that does not exist exports nothing)
    /usr/lib/wine/wine64 regedit /E "$(windows_path "$out.part")" "$key" </dev/null >/dev/null 2>&1 || true
    if [ -f "$out.part" ]; then cat "$out.part" >>"$out"; fi
    rm -f "$out.part"
  done
}

# Deletes every key a registration of the class can leave, in both views, so that a
# run interrupted earlier (or the other architecture's registration) cannot change
# what this one sees.
remove_leftovers() {
  local root key
  for root in 'HKLM\Software\Classes' 'HKCU\Software\Classes'; do
    for key in "CLSID\\$clsid" "Wow6432Node\CLSID\\$clsid" "$progid" "TypeLib\\$libid" \
               "Interface\\$iid" "Wow6432Node\Interface\\$iid"; do
      /usr/lib/wine/wine64 reg delete "$root\\$key" /f </dev/null >/dev/null 2>&1 || true
    done
  done
}

case "$mode" in
  register)
    workdir=$(mktemp -d)
    trap 'rm -rf "$workdir"' EXIT
    remove_leftovers
    snapshot "$workdir/before"
    regsvr
    expect_registered
    regsvr /u
    expect_unregistered
    snapshot "$workdir/after"
    if ! cmp -s "$workdir/before" "$workdir/after"; then
      fail "regsvr32 /u left the class registry changed:"
      diff <(iconv -f UTF-16 -t UTF-8 "$workdir/before") <(iconv -f UTF-16 -t UTF-8 "$workdir/after") | head -40 >&2 || true
    fi
    regsvr
    expect_registered
    ;;
  unregister)
    regsvr /u
    expect_unregistered
    ;;
  *) echo "usage: registration.sh register|unregister DLL IDENTITY" >&2; exit 2 ;;
esac

if [ $failures -ne 0 ]; then
  echo "$failures registration check(s) failed" >&2
  exit 1
fi
echo "registration.sh $mode: every check passed ($platform, $module)"
