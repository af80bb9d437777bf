#!/usr/bin/env bash
# End-to-end tests of upgrade.exe under Wine: a package built by mkupgrade from the
# real program, started through the launcher with an exact command line. Every
# failure case checks the exit code, the message box (text, title and style, from
# Wine's relay trace) and that no ".NEW" file is left behind.
#
#   e2e.sh CASE
# Environment: UPGRADE_EXE, APLIB_DLL, LAUNCHER_EXE, MKUPGRADE_EXE, WINE_RUN, SHARED_DIR, WORK_DIR
set -euo pipefail
case_name=$1
source "$(dirname "$WINE_RUN")/wine-env"

work="$WORK_DIR/$case_name"
rm -rf "$work"
mkdir -p "$work/bin" "$work/target dir"
cp "$UPGRADE_EXE" "$work/bin/upgrade.exe"
cp "$APLIB_DLL" "$work/bin/aplib.dll"
cp "$LAUNCHER_EXE" "$work/bin/launcher.exe"

fail() { echo "FAIL ($case_name): $*" >&2; exit 1; }

# Deterministic inputs: text and executable data.
python3 - "$work/ide.bin" "$work/runtime.bin" "$UPGRADE_EXE" <<'PY'
import sys, random
rng = random.Random(7)
words = "declare function lib alias byval string long integer upgrade tarnwick".split()
text = " ".join(rng.choice(words) for _ in range(60000)).encode()
open(sys.argv[1], "wb").write(text)
exe = open(sys.argv[3], "rb").read()
open(sys.argv[2], "wb").write((exe * 3)[:300000])
PY

make_package() {  # make_package STUB IDE RUNTIME OUT
  "$WINE_RUN" "$MKUPGRADE_EXE" --stub "$(windows_path "$1")" --ide "$(windows_path "$2")" --runtime "$(windows_path "$3")" \
    -o "$(windows_path "$4")" >/dev/null || fail "mkupgrade could not build the package"
}

package="$work/bin/package.exe"
make_package "$work/bin/upgrade.exe" "$work/ide.bin" "$work/runtime.bin" "$package"

# Patches bytes of the package in place: patch OFFSET_EXPRESSION HEXBYTES (Python expression over n = size, o1, o2).
patch() {
  python3 - "$package" "$1" "$2" <<'PY'
import sys, struct
path, where, data = sys.argv[1], sys.argv[2], bytes.fromhex(sys.argv[3])
b = bytearray(open(path, "rb").read())
n = len(b); o1, o2 = struct.unpack("<II", b[-8:])
at = eval(where)
b[at:at + len(data)] = data
open(path, "wb").write(b)
PY
}

/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /d user32.MessageBoxA /f >/dev/null 2>&1

# run LINE [DIR]: starts the package with the exact command line LINE from DIR; sets
# $status and $trace (stderr with the relay trace).
run() {
  printf '%s' "$1" > "$work/line.txt"
  local dir=${2:-$work/bin}
  set +e
  trace=$(cd "$dir" && WINEDEBUG=-all,+relay "$WINE_RUN" "$work/bin/launcher.exe" "$(windows_path "$package")" \
            "$(windows_path "$work/line.txt")" 2>&1 >/dev/null)
  status=$?
  set -e
  if [ $status -eq 77 ]; then echo "$trace" >&2; exit 77; fi
}

expect_success() {  # expect_success DIR
  [ $status -eq 0 ] || fail "exit code $status, expected 0"
  grep -q 'MessageBoxA(' <<<"$trace" && fail "a message box was shown"
  cmp -s "$1/TARNIDE.NEW" "$work/ide.bin" || fail "TARNIDE.NEW differs"
  cmp -s "$1/TARNEXEC.NEW" "$work/runtime.bin" || fail "TARNEXEC.NEW differs"
}

expect_failure() {  # expect_failure CODE DIR...
  local code=$1; shift
  [ $status -eq 1 ] || fail "exit code $status, expected 1"
  local calls
  calls=$(grep -a 'Call user32.MessageBoxA(' <<<"$trace" || true)
  [ "$(grep -c . <<<"$calls")" -eq 1 ] || fail "expected one message box, trace: $calls"
  grep -Eq "MessageBoxA\\(0+,[0-9a-f]+ \"Unable to perform upgrade \\($code\\)\",[0-9a-f]+ \"Tarnwick\",0+1030\\)" <<<"$calls" ||
    fail "wrong message box: $calls"
  local dir
  for dir in "$@"; do
    for f in TARNIDE.NEW TARNEXEC.NEW; do
      [ ! -e "$dir/$f" ] || fail "$dir/$f was left behind"
    done
  done
}

target="$work/target dir"
case $case_name in
  blanks_unquoted)
    run "upgrade.exe $(windows_path "$target")"
    expect_success "$target" ;;
  blanks_quoted)
    run "\"$(windows_path "$package")\" \"$(windows_path "$target")\""
    expect_success "$target" ;;
  empty_command_line)
    run "upgrade.exe" "$target"
    expect_success "$target" ;;
  replaces_existing)
    printf 'old' > "$target/TARNIDE.NEW"
    head -c 500000 /dev/zero > "$target/TARNEXEC.NEW"
    run "upgrade.exe $(windows_path "$target")"
    expect_success "$target" ;;
  damaged_trailer)
    patch "n - 8" "ffffff7f"
    run "upgrade.exe $(windows_path "$target")"
    expect_failure 8 "$target" "$work/bin" ;;
  corrupt_segment1)
    patch "o1 + 100" "00112233"
    run "upgrade.exe $(windows_path "$target")"
    expect_failure 8 "$target" "$work/bin" ;;
  corrupt_segment2)
    patch "o2 + 100" "00112233"
    run "upgrade.exe $(windows_path "$target")"
    expect_failure 9 "$target" "$work/bin" ;;
  missing_target)
    run "upgrade.exe $(windows_path "$work/no such dir")"
    expect_failure 6 "$work/bin" ;;
  target_is_a_file)
    printf 'x' > "$work/plain file"
    run "upgrade.exe $(windows_path "$work/plain file")"
    expect_failure 6 "$work/bin" ;;
  full_disk)
    small="$work/small"
    mkdir -p "$small"
    if ! mount -t tmpfs -o size=64k tmpfs "$small" 2>/dev/null; then
      echo "cannot mount a small tmpfs here; skipped" >&2
      exit 77
    fi
    trap 'umount "$small" 2>/dev/null || true' EXIT
    run "upgrade.exe $(windows_path "$small")"
    expect_failure 8 "$small" "$work/bin" ;;
  independent_blocks)
    vectors="$SHARED_DIR/testdata/aplib"
    python3 - "$work/bin/upgrade.exe" "$vectors/text_100k.aps" "$vectors/ls.aps" "$package" <<'PY'
import sys, struct
stub, a, b = (open(p, "rb").read() for p in sys.argv[1:4])
open(sys.argv[4], "wb").write(stub + a + b + struct.pack("<II", len(stub), len(stub) + len(a)))
PY
    run "upgrade.exe $(windows_path "$target")"
    [ $status -eq 0 ] || fail "exit code $status, expected 0"
    cmp -s "$target/TARNIDE.NEW" "$vectors/text_100k.bin" || fail "TARNIDE.NEW differs from text_100k.bin"
    cmp -s "$target/TARNEXEC.NEW" "$vectors/ls.bin" || fail "TARNEXEC.NEW differs from ls.bin" ;;
  real_box)
    patch "o1 + 100" "00112233"
    printf '%s' "upgrade.exe $(windows_path "$target")" > "$work/line.txt"
    set +e
    out=$(cd "$work/bin" && timeout 300 xvfb-run -a env TARNWICK_WINE_DISPLAY=1 "$WINE_RUN" --desktop "$case_name" \
            "$work/bin/launcher.exe" "$(windows_path "$package")" \
            "$(windows_path "$work/line.txt")" --read-box 2>/dev/null)
    status=$?
    set -e
    [ $status -eq 77 ] && exit 77
    expected=$'caption: Tarnwick\ntext: Unable to perform upgrade (8)\nicon: yes\ntopmost: yes\nbuttons: OK\nexit: 1'
    [ "$(tr -d '\r' <<<"$out")" = "$expected" ] || fail "the box read: $out"
    [ ! -e "$target/TARNIDE.NEW" ] || fail "TARNIDE.NEW was left behind" ;;
  *) fail "unknown case" ;;
esac
echo "ok: $case_name"
