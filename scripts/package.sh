#!/usr/bin/env bash
# Builds the Debian package quillon_<version>_<arch>.deb from the binaries of the build folder
# (stripped; no second build) and checks it: desktop entry and AppStream metainfo validate,
# the package lists the programs, desktop entry, icon, MIME types, manual page and
# completion, its Depends name the Qt and image libraries, and the manual page renders.
# Install it with: apt install ./build/quillon_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${QUILLON_BUILD_DIR:-build}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_GUI=ON >/dev/null
cmake --build "$BUILD" -j"$(nproc)" --target quillon quillon-cli quillon_cli_docs
fail() { echo "package: $*" >&2; exit 1; }

desktop-file-validate data/quillon.desktop
appstreamcli validate --no-net data/quillon.metainfo.xml

rm -f "$BUILD"/quillon_*.deb
(cd "$BUILD" && cpack -G DEB >/dev/null)
DEB=$(ls "$BUILD"/quillon_*.deb)
listing=$(dpkg-deb -c "$DEB")
for f in ./usr/bin/quillon ./usr/bin/quillon-cli ./usr/share/applications/quillon.desktop \
    ./usr/share/icons/hicolor/scalable/apps/quillon.svg ./usr/share/man/man1/quillon-cli.1.gz \
    ./usr/share/metainfo/org.quillon.Quillon.metainfo.xml ./usr/share/mime/packages/quillon.xml \
    ./usr/share/bash-completion/completions/quillon-cli \
    ./usr/share/quillon/translations/qtbase_de.qm ./usr/share/quillon/translations/qtbase_en.qm; do
    grep -q " $f\$" <<<"$listing" || fail "$DEB lacks $f"
done
depends=$(dpkg-deb -f "$DEB" Depends)
for lib in libqt6widgets6 libqt6svg6 libraw libjpeg62-turbo libpng16 libtiff6 libwmf libwcs; do
    grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
done
recommends=$(dpkg-deb -f "$DEB" Recommends)
grep -q "astrometry.net" <<<"$recommends" || fail "Recommends lacks astrometry.net: $recommends"
dpkg-deb --fsys-tarfile "$DEB" | tar -xO ./usr/share/man/man1/quillon-cli.1.gz | gzip -d \
    | MANWIDTH=80 man -E UTF-8 -l - | head -3
echo "package: $DEB ($(du -k "$DEB" | cut -f1) KiB)"
echo "Depends: $depends"
