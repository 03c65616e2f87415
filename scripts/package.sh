#!/usr/bin/env bash
# Builds the Debian package build/veltro_VERSION_amd64.deb (programs, user manual, man pages, desktop
# entry, icons, bash completion) and checks it: lintian reports no error, desktop-file-validate accepts
# the entry. Prints the package's path last.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh dpkg-dev fakeroot lintian desktop-file-utils
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)"
rm -f build/veltro_*.deb
(cd build && cpack -G DEB >/dev/null)
deb=$(ls build/veltro_*_amd64.deb)

desktop-file-validate packaging/veltro.desktop
root=()
[ "$(id -u)" -eq 0 ] && root=(--allow-root)
lintian "${root[@]}" --fail-on error "$deb"
echo "$deb"
