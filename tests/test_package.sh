#!/usr/bin/env bash
# make package's Debian package: it builds, and it installs the programs, the help file,
# the icon, the desktop entry and the manual page, with its dependencies declared.
set -euo pipefail
build=${1:?usage: test_package.sh BUILD_DIR}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/varimark_*.deb)
files=$(dpkg-deb -c "$deb" | awk '{print $6}')
failed=0
for expected in ./usr/bin/varimark ./usr/bin/varimark-cli ./usr/share/varimark/VARIMARK.HLP \
    ./usr/share/applications/varimark.desktop \
    ./usr/share/icons/hicolor/scalable/apps/varimark.svg ./usr/share/man/man1/varimark-cli.1; do
    grep -qx -- "$expected" <<<"$files" || { echo "missing from the package: $expected"; failed=1; }
done
depends=$(dpkg-deb -f "$deb" Depends)
for dependency in libqt6widgets6 libjpeg62-turbo libpng16-16 fonts-liberation2; do
    grep -q "$dependency" <<<"$depends" || { echo "not declared: $dependency"; failed=1; }
done
[[ $failed -eq 0 ]] && echo "1 passed, 0 failed" || { echo "0 passed, 1 failed"; exit 1; }
