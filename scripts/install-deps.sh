#!/usr/bin/env bash
# Installs the Debian packages that building and running Varimark need, and those of its
# tests, benchmarks and fuzzers when asked.
# Only what is missing is installed; apt-get runs through sudo when we are not root.
set -euo pipefail

# One list per purpose; `install-deps.sh run test` installs what both need (no purpose:
# everything). Building and running always come first.
RUN=(
    # build
    build-essential cmake ninja-build pkg-config
    # Qt 6 for the desktop program, and the fonts ("Arial" resolves to Liberation Sans)
    qt6-base-dev qt6-svg-dev qt6-qpa-plugins libgl-dev fonts-liberation2
    # the pictures' text: glyphs from FreeType, faces found through fontconfig
    libfreetype-dev libfontconfig-dev
    # picture writers, and the readers of pictures to measure
    libjpeg62-turbo-dev libpng-dev libtiff-dev libgif-dev
)
PACKAGE=(
    # make package: the Debian packages, built by dpkg-buildpackage and checked by lintian
    debhelper dh-python python3 lintian
)
TEST=(
    # the test and benchmark libraries, and pytest for the Python module
    libgtest-dev libgmock-dev libbenchmark-dev python3-pytest
    # independent readers of our pictures
    zbar-tools zxing-cpp-tools imagemagick emf2svg poppler-utils qpdf
    # the desktop program under a real X server (tests, the README's screenshot), and the
    # checker of its desktop entry
    xvfb xdotool x11-utils
    # and its accessibility tree, which the test reads the status line through
    at-spi2-core dbus-daemon libglib2.0-bin
    # the packages' test (the packaging tools too): the checkers of the desktop entry and
    # the AppStream file, and the renderer that made the icons from their SVG
    "${PACKAGE[@]}" desktop-file-utils appstream librsvg2-bin
)
BENCH=(
    # a peer generator that the bench scripts compare with, and GNU time for their peak
    # memory
    zint time
)
FUZZ=(
    # libFuzzer (make fuzz)
    clang libclang-rt-14-dev
)
TIDY=(
    # the naming and bug-prone checks of our code (make tidy)
    clang-tidy
)

PACKAGES=("${RUN[@]}")
purposes=("$@")
((${#purposes[@]} > 0)) || purposes=(test bench fuzz tidy)
for purpose in "${purposes[@]}"; do
    case "$purpose" in
    run) ;;
    package) PACKAGES+=("${PACKAGE[@]}") ;;
    test) PACKAGES+=("${TEST[@]}") ;;
    bench) PACKAGES+=("${TEST[@]}" "${BENCH[@]}") ;; # the benchmarks build with the tests
    fuzz) PACKAGES+=("${FUZZ[@]}") ;;
    tidy) PACKAGES+=("${TIDY[@]}") ;;
    *)
        echo "usage: install-deps.sh [run|package|test|bench|fuzz|tidy]..." >&2
        exit 2
        ;;
    esac
done

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
