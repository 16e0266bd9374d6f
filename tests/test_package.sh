#!/usr/bin/env bash
# make package's Debian packages: they and the source package build and lintian finds
# nothing; the desktop entry and the AppStream file pass their checkers; installed into a
# scratch root, each package holds its files, the programs, the Python module and the manual
# pages tell the package's version, varimark-cli runs without Qt, the Python module works
# against the scratch library, pkg-config gives no system folders, and the desktop program
# finds its help file under share/varimark and has the window class its entry names.
set -euo pipefail
source "$(dirname "$0")/xvfb.sh"
source_dir=$(cd "$(dirname "$0")/.." && pwd)
failed=0
fail() { echo "FAILED: $*"; failed=1; }

# Builds, and runs lintian on every package (an error, a warning or an info tag fails).
"$source_dir/scripts/build-packages.sh" "$work/packages"

# The source package of the tree as it stands (the files the binary build takes), and
# lintian on it, its pedantic and experimental tags too (debian/source/lintian-overrides).
mkdir -p "$work/source/varimark"
git -C "$source_dir" ls-files -z --cached --others --exclude-standard |
    tar -C "$source_dir" --null --ignore-failed-read -T - -cf - 2>/dev/null |
    tar -C "$work/source/varimark" -xf -
(cd "$work/source" && dpkg-source -b varimark >"$work/source.log" 2>&1) ||
    { cat "$work/source.log"; fail "dpkg-source -b"; }
as_root=()
[[ $(id -u) -ne 0 ]] || as_root=(--allow-root)
lintian "${as_root[@]}" --fail-on error,warning,info,pedantic,experimental --info --display-info \
    --pedantic --display-experimental "$work/source"/varimark_*.dsc || fail "lintian on the source"

root=$work/root
lib=usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)
declare -A expected=(
    [varimark]="usr/bin/varimark usr/share/varimark/VARIMARK.HLP
        usr/share/man/man1/varimark.1.gz usr/share/applications/io.varimark.Varimark.desktop
        usr/share/metainfo/io.varimark.Varimark.metainfo.xml
        usr/share/icons/hicolor/scalable/apps/varimark.svg"
    [varimark-cli]="usr/bin/varimark-cli usr/share/man/man1/varimark-cli.1.gz"
    [libvarimark1]="$lib/libvarimark.so.1"
    [libvarimark-dev]="$lib/libvarimark.so usr/include/varimark/varimark.h
        usr/include/varimark/varimark_c.h $lib/pkgconfig/varimark.pc
        $lib/cmake/Varimark/VarimarkConfig.cmake"
    [python3-varimark]="usr/lib/python3/dist-packages/varimark/__init__.py
        usr/lib/python3/dist-packages/varimark/__init__.pyi"
)
for package in "${!expected[@]}"; do
    deb=$(ls "$work/packages/${package}"_*.deb)
    dpkg -x "$deb" "$root"
    files=$(dpkg-deb -c "$deb" | awk '{print $6}')
    for file in ${expected[$package]} usr/share/doc/$package/copyright \
        usr/share/doc/$package/changelog.gz; do
        grep -qx -- "./$file" <<<"$files" || fail "$package lacks /$file"
    done
done
for package in varimark-cli libvarimark1; do
    depends=$(dpkg-deb -f "$work/packages/${package}"_*.deb Depends)
    grep -qi "qt" <<<"$depends" && fail "$package depends on Qt: $depends"
done

# The version: the package's, from debian/changelog, is the one CMake gives the programs,
# the Python module and the manual pages' footers.
version=$(dpkg-deb -f "$work/packages"/varimark_*.deb Version)
for program in varimark varimark-cli; do
    said=$(QT_QPA_PLATFORM=offscreen "$root/usr/bin/$program" --version 2>&1) || true
    [[ "$said" == "$program $version" ]] || fail "$program --version: '$said', not $version"
    footer=$(zcat "$root/usr/share/man/man1/$program.1.gz" | sed -n '/^\.TH/{p;q}')
    [[ "$footer" == *" \"Varimark $version\" "* ]] || fail "$program(1): $footer"
done

# The installed varimark.pc names /usr, which pkg-config leaves out.
flags=$(PKG_CONFIG_LIBDIR="$root/$lib/pkgconfig" pkg-config --cflags --libs varimark 2>&1) || true
read -r flags <<<"$flags" # without the space pkg-config ends with
[[ "$flags" == "-lvarimark" ]] || fail "pkg-config --cflags --libs varimark: '$flags'"

# What software centres read.
desktop_out=$(desktop-file-validate "$root/usr/share/applications/io.varimark.Varimark.desktop" 2>&1) &&
    [[ -z "$desktop_out" ]] || fail "desktop-file-validate: $desktop_out"
appstreamcli validate --no-net "$root/usr/share/metainfo/io.varimark.Varimark.metainfo.xml" ||
    fail "appstreamcli validate"
# Every size of the icon, rendered from the SVG as it stands (scripts/make-icons.sh).
for size in 16 32 48 64 128 256; do
    icon=$root/usr/share/icons/hicolor/${size}x${size}/apps/varimark.png
    rsvg-convert -w "$size" -h "$size" "$source_dir/app/resources/varimark.svg" -o "$work/icon.png"
    differing=$(compare -metric AE "$icon" "$work/icon.png" null: 2>&1) || true
    [[ "$differing" == "0" ]] || fail "the ${size}x${size} icon is not the SVG's (run scripts/make-icons.sh)"
done

# varimark-cli from the scratch root: no Qt library loaded, and a picture that scans.
ldd "$root/usr/bin/varimark-cli" | grep -i qt && fail "varimark-cli loads Qt"
"$root/usr/bin/varimark-cli" render --type EAN_13 -o "$work/cli.png" 400638133393 ||
    fail "varimark-cli render"
[[ $(zbarimg -q "$work/cli.png" 2>/dev/null) == "EAN-13:4006381333931" ]] ||
    fail "varimark-cli's picture does not scan"

# The Python module from the scratch root, loading the scratch library by its soname.
python_out=$(cd "$work" && LD_LIBRARY_PATH="$root/$lib" \
    PYTHONPATH="$root/usr/lib/python3/dist-packages" python3 -c '
import varimark
with open("/proc/self/maps") as maps:
    print(varimark.__file__, [line.split()[-1] for line in maps if "libvarimark" in line][0])
print(varimark.encode("400638133393", type="EAN_13")[0])
print("version", varimark.__version__)' 2>&1) || true
grep -q "^$root/usr/lib/python3/dist-packages/varimark/__init__.py $root/$lib/libvarimark.so" \
    <<<"$python_out" && grep -qx "4006381333931" <<<"$python_out" ||
    fail "import varimark from the scratch root: $python_out"
grep -qx "version $version" <<<"$python_out" ||
    fail "varimark.__version__ is not $version: $python_out"

# The desktop program from the scratch root shows its help (F1) from usr/share/varimark:
# the help window is 640 pixels wide, the message for a missing file much narrower.
[[ ! -e "$root/usr/bin/VARIMARK.HLP" ]] || fail "a help file lies beside the program"
mkdir -p "$work/home"
start_xvfb "$work/xvfb.log"
start_varimark "$root/usr/bin/varimark" "$work/home" "$work/app.log"
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
xdotool key --window "$window" F1
help=$(timeout 10 xdotool search --sync --name "^Varimark Help$" | head -n 1) || true
width=$([[ -n "$help" ]] && xdotool getwindowgeometry "$help" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
[[ "${width:-0}" -ge 600 ]] || fail "F1 showed no help (window ${help:-none}, width ${width:-none})"
# The window's class (WM_CLASS's second string) is what the desktop entry says it maps.
class=$(xprop -id "$window" WM_CLASS | sed -n 's/.*= ".*", "\(.*\)"$/\1/p')
entry=$(sed -n 's/^StartupWMClass=//p' "$root/usr/share/applications/io.varimark.Varimark.desktop")
[[ -n "$class" && "$class" == "$entry" ]] || fail "WM_CLASS '$class', StartupWMClass '$entry'"

[[ $failed -eq 0 ]] && echo "1 passed, 0 failed" || { echo "0 passed, 1 failed"; exit 1; }
