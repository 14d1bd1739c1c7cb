#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Vantrel need.
# Idempotent: asks dpkg first, and only calls apt-get for what is missing. Without dpkg (not a
# Debian system) it lists the Debian packages and leaves the installing to you.
#
#   setup.sh           what building, testing and running on Linux need
#   setup.sh bench     those, and the peers and profiler `make bench` measures against
#   setup.sh windows   the cross compilers, icon tools and Wine for `make windows` and
#                      `make test-windows` (only those targets ask for them)
set -euo pipefail

set_name="${1:-linux}"

linux_packages=(
    build-essential cmake make pkg-config dpkg-dev file clang-format
    googletest libgtest-dev libgmock-dev libbenchmark-dev libtinyobjloader-dev libmeshoptimizer-dev
    xvfb xauth x11-utils xdotool libxml2-utils
    libx11-dev libxext-dev libgl-dev libglu1-mesa-dev libgl1-mesa-dri
    libdevil-dev libdevil1c2
    libfreetype-dev libfontconfig-dev fonts-dejavu-core
    xplanet-images
)
# `setup.sh bench`: also the peers the show's frame-rate bench compares against, and perf.
bench_packages=(xscreensaver-gl xscreensaver-gl-extra mesa-utils linux-perf)

# The product is 32-bit; its tests run as a 64-bit build of the same sources under 64-bit Wine,
# which needs no 32-bit support from the machine.
windows_packages=(
    g++-mingw-w64-i686-posix binutils-mingw-w64-i686
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    googletest librsvg2-bin icoutils file
    wine wine64 xvfb xauth xdotool x11-utils
)

case "$set_name" in
    linux) packages=("${linux_packages[@]}") ;;
    bench) packages=("${linux_packages[@]}" "${bench_packages[@]}") ;;
    windows) packages=("${windows_packages[@]}") ;;
    *)
        echo "setup: unknown package set '$set_name' (linux, bench or windows)" >&2
        exit 2
        ;;
esac

if ! command -v dpkg-query >/dev/null 2>&1; then
    echo "setup: no dpkg here, so nothing is installed. Vantrel needs these Debian packages" >&2
    echo "setup: (or your system's equivalents): ${packages[*]}" >&2
    exit 0
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -qx 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "setup: missing packages: ${missing[*]}" >&2
    echo "setup: run as root (or install them with apt-get) and try again" >&2
    exit 1
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
