#!/usr/bin/env bash
# Builds a release of Uptorra into build/release/:
#   uptorra.exe                    the program (static, symbols stripped)
#   uptorra-<version>.zip          portable: Uptorra-<version>/uptorra.exe and 说明.txt
#   uptorra-<version>-setup.exe    the installer (NSIS, Chinese, per user, no elevation)
# The version is the one in project() of CMakeLists.txt, the same the exe's resources carry.
#
#   bash tools/release.sh                         build (windows preset) and package
#   bash tools/release.sh --exe FILE --out DIR    package an exe built already (the tests)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

exe=""
out="$root/build/release"
while [ $# -gt 0 ]; do
  case "$1" in
    --exe) exe="$(realpath "$2")"; shift 2 ;;
    --out) out="$2"; shift 2 ;;
    *) echo "release: unknown argument $1" >&2; exit 2 ;;
  esac
done

bash tools/setup.sh
if [ -z "$exe" ]; then
  cmake --preset windows >/dev/null
  cmake --build --preset windows --target uptorra
  exe="$root/build/windows/src/app/uptorra.exe"
fi

version="$(sed -n 's/^project(Uptorra VERSION \([0-9]*\.[0-9]*\.[0-9]*\).*/\1/p' CMakeLists.txt)"
if [ -z "$version" ]; then
  echo "release: no version in project() of CMakeLists.txt" >&2
  exit 1
fi

mkdir -p "$out"
out="$(realpath "$out")"
stage="$out/stage"
rm -rf "$stage"
mkdir -p "$stage"

# The tested build carries debug information; the shipped exe does without it.
x86_64-w64-mingw32-strip -o "$out/uptorra.exe" "$exe"

# One self-contained exe: any MinGW runtime DLL (libstdc++, libgcc, libwinpthread) among its
# imports would be missing on the operator's machine.
runtime_dlls="$(x86_64-w64-mingw32-objdump -p "$out/uptorra.exe" | sed -n 's/^\s*DLL Name: //p' | grep -i '^lib' || true)"
if [ -n "$runtime_dlls" ]; then
  echo "release: uptorra.exe needs DLLs that Windows does not have: $runtime_dlls" >&2
  exit 1
fi

# Portable zip. The read-me is GBK with CRLF line ends so that Notepad on any Chinese Windows
# shows it; its source stays UTF-8 in the repository.
folder="Uptorra-$version"
mkdir -p "$stage/$folder"
cp "$out/uptorra.exe" "$stage/$folder/uptorra.exe"
sed -e "s/@VERSION@/$version/" -e 's/$/\r/' packaging/portable-readme-zh.txt \
  | iconv -f UTF-8 -t GBK > "$stage/$folder/说明.txt"
zip_file="$out/uptorra-$version.zip"
rm -f "$zip_file"
# Python's zipfile marks the Chinese member name as UTF-8 (general-purpose flag bit 11), which
# Explorer, 7-Zip and WinRAR honour.
(cd "$stage" && /usr/bin/python3 -m zipfile -c "$zip_file" "$folder")

setup_file="$out/uptorra-$version-setup.exe"
makensis -INPUTCHARSET UTF8 -V2 \
  -DVERSION="$version" \
  -DEXE="$out/uptorra.exe" \
  -DICON="$root/src/app/res/uptorra.ico" \
  -DOUTFILE="$setup_file" \
  packaging/uptorra.nsi
# makensis leaves the execute bit off; Wine (the tests) will not start a file without it.
chmod +x "$setup_file"
rm -rf "$stage"

echo "release $version in $out:"
for f in "$out/uptorra.exe" "$zip_file" "$setup_file"; do
  printf '  %-32s %9d bytes\n' "$(basename "$f")" "$(stat -c %s "$f")"
done
