#!/usr/bin/env bash
# Installs the package as a user would, uses it, and removes it again (needs root and apt; run on a
# machine where losing an installed "veltro" package does not matter):
#   - apt installs build/veltro_*.deb with its dependencies;
#   - veltro-cli from the PATH scans and watches the simulated bus, man finds its page, the desktop entry
#     is valid, the example service for watch is there;
#   - the desktop program run by a normal user keeps its settings in ~/.config/veltro;
#   - dpkg -r removes every file the package installed.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "package-check.sh: needs root (it installs and removes the package)" >&2; exit 2; }

deb=$(ls build/veltro_*_amd64.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || deb=$(scripts/package.sh | tail -n 1)
scripts/setup.sh man-db desktop-file-utils
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq "./$deb" >/dev/null

fail() { echo "package-check.sh: $*" >&2; exit 1; }
[ "$(command -v veltro-cli)" = /usr/bin/veltro-cli ] || fail "veltro-cli is not on the PATH from /usr/bin"
scan=$(cd /tmp && veltro-cli scan --simulate --from 0 --to 20)
grep -q 51200417 <<<"$scan" || fail "the scan from the PATH did not find the meter at 2"
man -w veltro-cli >/dev/null || fail "man finds no page for veltro-cli"
man veltro-cli 2>/dev/null | grep -q "EXIT STATUS" || fail "the veltro-cli page has no EXIT STATUS"
desktop-file-validate /usr/share/applications/veltro.desktop || fail "the desktop entry is not valid"
[ -s /usr/share/doc/veltro/UsrManRXV.pdf ] || fail "no user manual"
dpkg -s veltro | grep -q '^Depends:.*libmosquitto' || fail "the package does not depend on libmosquitto"
watched=$(cd /tmp && veltro-cli watch --simulate --every 1s --cycles 1 2 2>/dev/null)
grep -q '"id": "51200417"' <<<"$watched" || fail "watch from the PATH did not read the meter at 2"
[ -f /usr/share/doc/veltro/examples/veltro-watch.service ] || fail "no example service for watch"

# A normal user's first start: the program folder is made in the user's configuration folder.
user=veltro-check-$$
useradd --create-home "$user"
trap 'userdel --remove "$user" 2>/dev/null || true' EXIT
runuser -u "$user" -- env QT_QPA_PLATFORM=offscreen timeout 5 veltro || true
[ -d "/home/$user/.config/veltro" ] || fail "veltro made no ~/.config/veltro for a normal user"
runuser -u "$user" -- sh -c 'echo secret | veltro-users add admin --access Administrator --password-stdin' >/dev/null
[ -f "/home/$user/.config/veltro/files/users.dat" ] || fail "veltro-users did not write ~/.config/veltro/files/users.dat"

installed=$(dpkg -L veltro | while read -r path; do if [ -f "$path" ]; then echo "$path"; fi; done)
dpkg -r veltro >/dev/null
left=$(for path in $installed; do if [ -e "$path" ]; then echo "$path"; fi; done)
[ -z "$left" ] || fail "left behind after removal: $left"
echo "package-check.sh: installed, used and removed $deb"
