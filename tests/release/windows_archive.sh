#!/usr/bin/env bash
# The Windows archive tried as a user would: made by cpack from the build, unpacked
# into a folder whose path holds blanks and used from there in a fresh Wine prefix:
# the checksums, what each binary imports and which version it carries, the plug-in
# registered with regsvr32 and called from the README's VBScript, a declaration file
# converted through it by declconv.exe, an upgrade package built with mkupgrade.exe
# and run into a target folder, the registration removed again.
#   windows_archive.sh BUILD_DIR SAMPLE WORK_DIR VERSION BITS [EXTRA_FILE...]
# Environment: OBJDUMP (of the archive's architecture), DECLSHIFT_PROGID (the plug-in's)
set -Eeuo pipefail
build=$1 sample=$(realpath "$2") work=$3 version=$4 bits=$5
shift 5
extra_files=("$@")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

fail() { printf 'FAIL: %b\n' "$*" >&2; exit 1; }
# A command that fails outside the checks, in a function too (-E), still says which.
trap 'printf "FAIL: line %s: %s exited with %s\n" "$LINENO" "$BASH_COMMAND" "$?" >&2' ERR

rm -rf "$work"
mkdir -p "$work/out" "$work/Program Files (x86)" "$work/My scripts" "$work/Tarnwick target"
name=tarnwick-decltools-$version-win$bits
cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack could not make the archive"; }
[ -f "$work/out/$name.zip" ] || fail "cpack made no $name.zip"
(cd "$work/Program Files (x86)" && cmake -E tar xf "$work/out/$name.zip")
dir="$work/Program Files (x86)/$name"

# The files, exactly, each named in the README.
expected=$(printf '%s\n' README.txt LICENSE.txt THIRD-PARTY-NOTICES.txt CHANGELOG.txt SHA256SUMS.txt \
  declshift.dll declconv.exe appack.exe mkupgrade.exe upgrade.exe aplib.dll "${extra_files[@]}" | sort)
[ "$(ls "$work/Program Files (x86)")" = "$name" ] || fail "the archive does not unpack into one folder $name"
files=$(cd "$dir" && find . -mindepth 1 | sed 's|^\./||' | sort)
[ "$files" = "$expected" ] || fail "the archive holds\n$files\nexpected\n$expected"
for file in $files; do
  grep -q "^  $file\b" "$dir/README.txt" || fail "README.txt does not say what $file is"
done

cd "$dir"
for text in *.txt; do
  [ "$(grep -c $'\r$' "$text")" = "$(grep -c '' "$text")" ] || fail "$text has lines without CRLF"
done
tr -d '\r' <SHA256SUMS.txt | sha256sum --quiet -c - || fail "SHA256SUMS.txt does not match the files"
[ "$(tr -d '\r' <SHA256SUMS.txt | awk '{ print $2 }' | sort)" = "$(grep -vx SHA256SUMS.txt <<<"$files")" ] ||
  fail "SHA256SUMS.txt does not list every other file"

# Imports: system DLLs and the archive's own only.
system_dlls="advapi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll user32.dll"
for binary in *.exe *.dll; do
  for dll in $("$OBJDUMP" -p "$binary" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z'); do
    [[ " $system_dlls " == *" $dll "* || -f $dll ]] || fail "$binary imports $dll, which is neither a system DLL nor in the archive"
  done
done

# Version resources: the project's version; the plug-in keeps its own 1.0.0.0 ("1.00").
versions=$(python3 - *.exe *.dll <<'PY'
import struct, sys
for path in sys.argv[1:]:
    data = open(path, "rb").read()
    at = data.find(b"\xbd\x04\xef\xfe")  # VS_FIXEDFILEINFO
    if at < 0:
        print(path, "none"); continue
    ms, ls = struct.unpack_from("<II", data, at + 8)
    key = "FileVersion".encode("utf-16-le") + b"\0\0"
    text = data.find(key, at) + len(key)
    text += -text % 4
    value = data[text:data.find(b"\0\0", text) + 1].decode("utf-16-le")
    print(path, f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}", value)
PY
)
for binary in *.exe *.dll; do
  want="$binary $version.0 $version"
  [ "$binary" = declshift.dll ] && want="$binary 1.0.0.0 1.00"
  grep -qx "$want" <<<"$versions" || fail "version resource: $(grep "^$binary " <<<"$versions"), expected $want"
done

# The package's program ends with its last section, so a package's first packed file
# starts right behind the program image.
python3 - upgrade.exe <<'PY' || fail "upgrade.exe carries data behind its last section"
import struct, sys
data = open(sys.argv[1], "rb").read()
pe = struct.unpack_from("<I", data, 0x3C)[0]
sections, optional = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
table = pe + 24 + optional
end = max(sum(struct.unpack_from("<II", data, table + 40 * i + 16)) for i in range(sections))
sys.exit(0 if end == len(data) else 1)
PY

# Everything under Wine from here on, in a prefix of this test's own.
export TARNWICK_WINEPREFIX="$work/prefix"
source "$here/../../scripts/wine-env"
loader=$(wine_loader declconv.exe) || exit $?
trap '"$here/../../scripts/wine-prefix" stop' EXIT
"$here/../../scripts/wine-prefix" start
run() { "$loader" "$@" </dev/null; }

for tool in declconv appack mkupgrade; do
  [ "$(run "$dir/$tool.exe" --version | tr -d '\r')" = "$tool $version" ] || fail "$tool.exe --version"
done

run regsvr32 /s declshift.dll || fail "regsvr32 declshift.dll exited with $?"
clsid=$(run reg query "HKCR\\$DECLSHIFT_PROGID\\CLSID" /ve | tr -d '\r' | sed -n 's/.*REG_SZ *//p')
server=$(run reg query "HKCR\\CLSID\\$clsid\\InprocServer32" /ve | tr -d '\r' | sed -n 's/.*REG_SZ *//p')
[ "$server" = "$(windows_path "$dir/declshift.dll")" ] || fail "the class is registered for '$server'"

# The README's VBScript example prints what the README says.
# awk reads to the end: leaving early would kill tr with a closed pipe, now and then,
# and fail the pipeline.
readme_block() {  # the first block of lines indented by six blanks after the line holding $1
  tr -d '\r' <"$dir/README.txt" | awk -v start="$1" '
    done { next }
    !found && index($0, start) { found = 1; next }
    found && /^      / { print substr($0, 7); inside = 1; next }
    inside && NF { done = 1 }'
}
readme_block 'as convert.vbs' >"$work/My scripts/convert.vbs"
[ -s "$work/My scripts/convert.vbs" ] || fail "README.txt has no VBScript example"
printed=$(cd "$work/My scripts" && run cscript //nologo convert.vbs 2>&1 | tr -d '\r')
[ "$printed" = "$(readme_block 'It prints:')" ] || fail "convert.vbs printed\n$printed"

# A declaration file through the registered plug-in, and through declconv's own converter.
cd "$work/My scripts"
cp "$sample" "window tools.bas"
run "$dir/declconv.exe" convert --backend com "window tools.bas" -o com.txt 2>summary.txt ||
  fail "declconv.exe convert --backend com: $(cat summary.txt)"
grep -q ' converted, 0 failed' summary.txt || fail "declconv.exe convert --backend com: $(cat summary.txt)"
run "$dir/declconv.exe" convert "window tools.bas" -o native.txt 2>/dev/null
cmp -s com.txt native.txt || fail "the plug-in and declconv's own converter wrote different text"

# An upgrade package from the archive's upgrade.exe, handed out with aplib.dll.
mkdir "$work/Package"
cp "$dir/aplib.dll" "$work/Package/"
run "$dir/mkupgrade.exe" --stub "$(windows_path "$dir/upgrade.exe")" --ide "$(windows_path "$dir/declconv.exe")" \
  --runtime "$(windows_path "$dir/README.txt")" -o "$(windows_path "$work/Package/TarnUpgrade.exe")" ||
  fail "mkupgrade.exe could not build the package"
run "$dir/mkupgrade.exe" --check "$(windows_path "$work/Package/TarnUpgrade.exe")" | tr -d '\r' >check.txt
grep -q "program image $(stat -c %s "$dir/upgrade.exe") bytes" check.txt || fail "mkupgrade.exe --check: $(cat check.txt)"
run "$work/Package/TarnUpgrade.exe" "$(windows_path "$work/Tarnwick target")" || fail "the package exited with $?"
cmp -s "$work/Tarnwick target/TARNIDE.NEW" "$dir/declconv.exe" && cmp -s "$work/Tarnwick target/TARNEXEC.NEW" "$dir/README.txt" ||
  fail "the package wrote other files than it was built from"

run "$dir/appack.exe" pack "window tools.bas" block.bin && run "$dir/appack.exe" check block.bin >/dev/null &&
  run "$dir/appack.exe" unpack block.bin back.bas || fail "appack.exe could not pack and unpack"
cmp -s "window tools.bas" back.bas || fail "appack.exe unpacked other bytes than it packed"

run regsvr32 /s /u "$dir/declshift.dll" || fail "regsvr32 /u exited with $?"
if run reg query "HKCR\\$DECLSHIFT_PROGID" >/dev/null 2>&1; then fail "regsvr32 /u left $DECLSHIFT_PROGID registered"; fi
echo "ok: $name.zip ($(stat -c %s "$work/out/$name.zip") bytes) used from '$dir'"
