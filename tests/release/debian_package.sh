#!/usr/bin/env bash
# The Debian package tried as a user would: made by cpack from the build, its files and
# dependencies read with dpkg-deb, unpacked into a scratch root with dpkg -x, and every
# tool run from there.
#   debian_package.sh BUILD_DIR SAMPLE WORK_DIR VERSION TOOL...
set -Eeuo pipefail
build=$1 sample=$(realpath "$2") work=$3 version=$4
shift 4
tools=("$@")

fail() { printf 'FAIL: %b\n' "$*" >&2; exit 1; }
# A command that fails outside the checks, in a function too (-E), still says which.
trap 'printf "FAIL: line %s: %s exited with %s\n" "$LINENO" "$BASH_COMMAND" "$?" >&2' ERR

rm -rf "$work"
mkdir -p "$work"
cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack could not make the package"; }
deb="$work/out/tarnwick-decltools_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "cpack made no $deb"

# Exactly the tools, their manual pages, the licence and the changelog.
expected=$( (
  for tool in "${tools[@]}"; do echo "./usr/bin/$tool"; echo "./usr/share/man/man1/$tool.1.gz"; done
  echo ./usr/share/doc/tarnwick-decltools/changelog.gz
  echo ./usr/share/doc/tarnwick-decltools/copyright
) | sort)
files=$(dpkg-deb -c "$deb" | awk '$1 ~ /^-/ { print $6 }' | sort)
[ "$files" = "$expected" ] || fail "the package holds\n$files\nexpected\n$expected"
[ "$(dpkg-deb -f "$deb" Package Version | tr '\n' ' ')" = "Package: tarnwick-decltools Version: $version " ] ||
  fail "control: $(dpkg-deb -f "$deb" Package Version)"

# The dependencies came from the binaries (the C++ library at least), and this machine
# satisfies each of them, as dpkg -i would require.
depends=$(dpkg-deb -f "$deb" Depends)
grep -Eq '(^|, )libstdc\+\+6( |,|$)' <<<"$depends" || fail "Depends lacks libstdc++6: $depends"
IFS=, read -ra items <<<"$depends"
for item in "${items[@]}"; do
  read -r name relation wanted <<<"${item//[()]/}"
  installed=$(dpkg-query -W -f='${Version}' "$name" 2>/dev/null) || fail "dependency $name is not installed"
  if [ -n "${relation:-}" ]; then
    case $relation in '>=') op=ge ;; '<=') op=le ;; '>>') op=gt ;; '<<') op=lt ;; *) op=eq ;; esac
    dpkg --compare-versions "$installed" "$op" "$wanted" || fail "$name $installed does not satisfy $item"
  fi
done

root="$work/root"
dpkg -x "$deb" "$root"
bin="$root/usr/bin"
for tool in "${tools[@]}"; do
  [ "$("$bin/$tool" --version)" = "$tool $version" ] || fail "$tool --version: $("$bin/$tool" --version)"
  if "$bin/$tool" --version >/dev/full 2>"$work/full.txt"; then fail "$tool --version succeeded on a full disk"; fi
  [ "$(cat "$work/full.txt")" = "$tool: standard output: No space left on device" ] ||
    fail "$tool --version on a full disk said: $(cat "$work/full.txt")"
  # grep reads to the end (no -q): zcat killed by a closed pipe would fail the pipeline.
  zcat "$root/usr/share/man/man1/$tool.1.gz" | grep "^\.TH ${tool^^} .*\"$tool $version\"" >/dev/null ||
    fail "the manual page of $tool is not that of version $version"
done
grep -q '^MIT License$' "$root/usr/share/doc/tarnwick-decltools/copyright" || fail "copyright lacks the licence"
grep -q '^1\. CLI11$' "$root/usr/share/doc/tarnwick-decltools/copyright" || fail "copyright lacks the notices"
zcat "$root/usr/share/doc/tarnwick-decltools/changelog.gz" | grep "^## \[$version\]" >/dev/null ||
  fail "the changelog has no entry for $version"

cd "$work"
"$bin/declconv" convert "$sample" -o sample.txt 2>summary.txt || fail "declconv convert: $(cat summary.txt)"
grep -q ' converted, 0 failed$' summary.txt || fail "declconv convert: $(cat summary.txt)"
grep -q $'^SYS "GetTickCount" TO ret%:REM returns Long\r$' sample.txt || fail "declconv convert wrote: $(cat sample.txt)"

"$bin/appack" pack "$sample" sample.block && "$bin/appack" check sample.block >/dev/null &&
  "$bin/appack" unpack sample.block sample.back || fail "appack could not pack and unpack the sample"
cmp -s "$sample" sample.back || fail "appack unpacked other bytes than it packed"

# An upgrade package around the smallest program header a 32-bit Windows GUI program has.
python3 - stub.exe <<'PY'
import struct, sys
pe = bytearray(512)
pe[0:2] = b"MZ"
struct.pack_into("<I", pe, 0x3C, 0x40)
pe[0x40:0x44] = b"PE\0\0"
struct.pack_into("<HH", pe, 0x44, 0x14C, 0)      # i386, no sections
struct.pack_into("<HH", pe, 0x54, 224, 0x102)    # optional header size, executable 32-bit
struct.pack_into("<H", pe, 0x58, 0x10B)          # PE32
struct.pack_into("<H", pe, 0x58 + 68, 2)         # Windows GUI
open(sys.argv[1], "wb").write(pe)
PY
"$bin/mkupgrade" --stub stub.exe --ide "$sample" --runtime sample.block -o package.exe || fail "mkupgrade could not build a package"
"$bin/mkupgrade" --check package.exe >check.txt || fail "mkupgrade --check: $(cat check.txt)"
grep -q "unpacks to $(stat -c %s "$sample") bytes" check.txt && grep -q "unpacks to $(stat -c %s sample.block) bytes" check.txt ||
  fail "mkupgrade --check: $(cat check.txt)"
echo "ok: $(basename "$deb") ($(stat -c %s "$deb") bytes): ${tools[*]} installed and working"
