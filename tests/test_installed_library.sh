#!/usr/bin/env bash
# The library as another project meets it: installed with cmake --install into a scratch
# prefix, the examples built against it through find_package(Varimark) and a C program
# through pkg-config; each makes a picture that a reader decodes, and nothing loads Qt.
set -euo pipefail
build=${1:?usage: test_installed_library.sh BUILD_DIR SOURCE_DIR}
source=${2:?usage: test_installed_library.sh BUILD_DIR SOURCE_DIR}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAILED: $*"; failed=1; }

cmake --install "$build" --prefix "$work/prefix" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log"; exit 1; }
libdir=$(dirname "$(find "$work/prefix" -name 'libvarimark.so.1' | head -1)")
[[ -n "$libdir" ]] || { echo "libvarimark.so.1 not installed"; exit 1; }
for file in include/varimark/varimark.h include/varimark/varimark_c.h; do
    [[ -f "$work/prefix/$file" ]] || fail "not installed: $file"
done
[[ -L "$libdir/libvarimark.so" ]] || fail "no unversioned libvarimark.so link"
soname=$(objdump -p "$libdir/libvarimark.so.1" | awk '/SONAME/ {print $2}')
[[ "$soname" == libvarimark.so.1 ]] || fail "SONAME is '$soname'"

# find_package(Varimark)
cmake -S "$source/examples" -B "$work/examples" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" \
    >"$work/examples.log" 2>&1 && cmake --build "$work/examples" >>"$work/examples.log" 2>&1 ||
    { cat "$work/examples.log"; exit 1; }
# pkg-config
export PKG_CONFIG_PATH="$libdir/pkgconfig"
[[ "$(pkg-config --modversion varimark)" == 1.* ]] || fail "pkg-config knows no varimark 1"
cc -o "$work/label_pc" "$source/examples/label_c.c" $(pkg-config --cflags --libs varimark) \
    -Wl,-rpath,"$libdir" || fail "pkg-config build"

check_picture() { # program, picture, data
    local decoded
    decoded=$(zbarimg --quiet --raw "$2" 2>/dev/null || true)
    [[ "$decoded" == "$3" ]] || fail "$1: $2 decodes to '$decoded', not '$3'"
}
"$work/examples/label" EAN_13 400638133393 "$work/a.png" >"$work/a.out" || fail "label"
[[ "$(cat "$work/a.out")" == "4006381333931 10100011010"* ]] || fail "label printed $(cat "$work/a.out")"
check_picture label "$work/a.png" 4006381333931
"$work/examples/label_c" CODE128_B Varimark "$work/b.png" || fail "label_c"
check_picture label_c "$work/b.png" Varimark
"$work/label_pc" EAN_8 1234567 "$work/c.png" || fail "label (pkg-config)"
check_picture label_pc "$work/c.png" 12345670

# A refusal comes back as the system's message and exit 1, nothing written.
if "$work/examples/label" CODE128_B "$(printf "x%.0s" {1..51})" "$work/bad.png" 2>"$work/bad.err"; then fail "a 51-character text accepted"; fi
grep -q "label: String exceeds maximum length" "$work/bad.err" || fail "no message for a refused text"
[[ ! -e "$work/bad.png" ]] || fail "a refused picture was written"

for program in "$work/examples/label" "$work/label_pc"; do
    if ldd "$program" | grep -qi 'libQt'; then fail "$program loads Qt"; fi
done
if ldd "$libdir/libvarimark.so.1" | grep -qi 'libQt'; then fail "libvarimark loads Qt"; fi

[[ $failed -eq 0 ]] && echo "1 passed, 0 failed" || { echo "0 passed, 1 failed"; exit 1; }
