#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Varimark needs.
# Only what is missing is installed; apt-get runs through sudo when we are not root.
set -euo pipefail

PACKAGES=(
    # build
    build-essential cmake ninja-build pkg-config
    # Qt 6 and the fonts ("Arial" resolves to Liberation Sans)
    qt6-base-dev qt6-svg-dev qt6-qpa-plugins libgl-dev fonts-liberation2
    # the pictures' text without Qt: glyphs from FreeType, faces found through fontconfig
    libfreetype-dev libfontconfig-dev
    # picture writers
    libjpeg62-turbo-dev libpng-dev
    # tests and benchmarks
    libgtest-dev libgmock-dev libbenchmark-dev python3-pytest
    # a peer generator that the bench scripts compare with, and GNU time for their peak
    # memory (used by nothing else)
    zint time
    # independent readers of our pictures, used by the tests
    zbar-tools zxing-cpp-tools imagemagick libtiff-dev libgif-dev emf2svg poppler-utils qpdf
    # the desktop program under a real X server (tests, the README's screenshot)
    xvfb xdotool x11-utils
    # fuzzing (make fuzz)
    clang libclang-rt-14-dev
)

missing=()
for pkg in "${PACKAGES[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$pkg")
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

echo "Installing missing packages: ${missing[*]}"
SUDO=()
if [[ $(id -u) -ne 0 ]]; then
    if ! command -v sudo >/dev/null; then
        echo "install-deps: need root or sudo to install: ${missing[*]}" >&2
        exit 1
    fi
    SUDO=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -q
"${SUDO[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
