#!/usr/bin/env bash
# Builds HalvernUpdater.exe a second time, from a copy of the sources in another folder into
# another build folder, and checks that it is the program of this build tree byte for byte, with
# no debugging sections and no link time stamp.
#   reproducible-build.sh <source dir> <build dir> <program> <build type> <image> <image version>
set -euo pipefail
source_dir="$1" build_dir="$2" program="$3" build_type="$4" image="$5" version="$6"
objdump=x86_64-w64-mingw32-objdump

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

[ -f "$program" ] || fail "no program at $program"
# The other folders differ from the first ones in name and depth.
work="$build_dir/reproducible"
copy="$work/another/place/sources"
rm -rf "$work"
mkdir -p "$copy"
excludes=(--exclude=./build --exclude=./.git)
case "$build_dir" in
    "$source_dir"/*) excludes+=("--exclude=./${build_dir#"$source_dir"/}") ;;
esac
tar -C "$source_dir" "${excludes[@]}" -cf - . | tar -C "$copy" -xf -

nice cmake -S "$copy" -B "$work/other-build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$copy/cmake/toolchain-mingw64.cmake" \
    -DCMAKE_BUILD_TYPE="$build_type" \
    -DHALVERN_FIRMWARE_IMAGE="$image" -DHALVERN_FIRMWARE_VERSION="$version" >"$work/configure.log"
nice cmake --build "$work/other-build" --target HalvernUpdater >"$work/build.log"
second="$work/other-build/win32/HalvernUpdater.exe"

size=$(stat -c %s "$program")
echo "program: $size bytes"
sha256sum "$program" "$second"

# The PE header's link time stamp (4 bytes, 8 bytes after the "PE\0\0" signature).
pe=$(od -An -t u4 -j 60 -N 4 "$program" | tr -d ' ')
stamp=$(od -An -t u4 -j $((pe + 8)) -N 4 "$program" | tr -d ' ')
[ "$stamp" -eq 0 ] || fail "the program carries a link time stamp ($stamp)"

sections=$("$objdump" -h "$program" | awk '$2 ~ /^\./ {print $2}' | tr '\n' ' ')
echo "sections: $sections"
case " $sections" in
    *" .debug"*) fail "the program carries debugging sections" ;;
esac
"$objdump" -t "$program" | grep -q 'no symbols' || fail "the program carries a symbol table"
# Only libraries that Windows always takes from its system folder are imported.
bash "$source_dir/cmake/check-imports.sh" "$objdump" "$program" ||
    fail "the program imports a library that Windows may take from its own folder"

cmp "$program" "$second" || fail "two builds of the same sources differ"
# Neither folder's name is inside the program.
for folder in "$source_dir" "$build_dir" "$copy"; do
    if grep -aqF "$folder" "$program" "$second"; then
        fail "a build folder's name ($folder) is inside the program"
    fi
done
echo "both builds are the same bytes"
rm -rf "$work"
