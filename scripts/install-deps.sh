#!/usr/bin/env bash
# Installs every Debian package needed to build, test, benchmark and fuzz Quillon.
# Idempotent: does nothing (no network access) when everything is already present.
# With --bench it also installs the large peer programs that only the benchmarks run (the
# benchmark scripts call it so), which the build and test runs do not need.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config clang clang-format
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev python3
  libraw-dev libjpeg62-turbo-dev libpng-dev libtiff-dev zlib1g-dev libwmf-dev fonts-urw-base35
  nlohmann-json3-dev liblz4-dev libzstd-dev python3-lz4 python3-zstandard
  libgtest-dev libgmock-dev libbenchmark-dev
  python3-astropy python3-numpy python3-photutils fitsverify libcfitsio-dev libcfitsio-bin
  libopencv-dev
  wcslib-dev astrometry.net astrometry-data-tycho2-09-littleendian
  astrometry-data-tycho2-10-19-littleendian
  xvfb xauth
  xdotool x11-apps imagemagick qt6-translations-l10n qt6-l10n-tools
  poppler-utils
  desktop-file-utils appstream dpkg-dev file man-db groff-base
)
BENCH_PACKAGES=(
  siril time python3-skimage python3-sep
)
if [ "${1:-}" = "--bench" ]; then PACKAGES+=("${BENCH_PACKAGES[@]}"); fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
