#!/usr/bin/env bash
# Builds the Debian packages (varimark, varimark-cli, libvarimark1, libvarimark-dev,
# python3-varimark and their debug symbols) from the source tree with dpkg-buildpackage,
# in a copy under OUT_DIR/src so that the tree stays clean, and checks them with lintian.
# The packages land in OUT_DIR; it exits non-zero when the build fails or lintian reports
# anything (an error, a warning or an informational tag without a written override).
#
#   scripts/build-packages.sh OUT_DIR
set -euo pipefail
out=${1:?usage: build-packages.sh OUT_DIR}
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$out"
out=$(cd "$out" && pwd)

# Our packages of an earlier build go; nothing else in OUT_DIR is touched.
rm -rf "$out/src" "$out"/{varimark,varimark-cli,libvarimark1,libvarimark-dev,python3-varimark}{,-dbgsym}_*.{deb,ddeb} \
    "$out"/varimark_*.{changes,buildinfo}
# The sources as they stand (uncommitted edits too), without build folders.
mkdir "$out/src"
if git -C "$root" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    # A tracked file deleted in the work tree is left out.
    git -C "$root" ls-files -z --cached --others --exclude-standard |
        tar -C "$root" --null --ignore-failed-read -T - -cf - 2>/dev/null | tar -C "$out/src" -xf -
else
    tar -C "$root" --exclude='./build*' -cf - . | tar -C "$out/src" -xf -
fi

log="$out/build.log"
(cd "$out/src" && dpkg-buildpackage -b -us -uc -jauto) >"$log" 2>&1 || {
    tail -n 60 "$log"
    echo "dpkg-buildpackage failed; the whole log is $log" >&2
    exit 1
}
rm -rf "$out/src"
changes=$(ls "$out"/varimark_*.changes)
as_root=()
[[ $(id -u) -ne 0 ]] || as_root=(--allow-root) # a build machine's root, as in CI
lintian "${as_root[@]}" --fail-on error,warning,info --info --display-info "$changes"
ls "$out"/*.deb
