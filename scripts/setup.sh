#!/usr/bin/env bash
# Installs the Debian packages the project needs to build, run and test.
# Only packages that are missing are installed; a second run does nothing.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config clang llvm libclang-rt-14-dev ccache clang-format
  # Qt 6: Core, Gui, Widgets, Network, Sql (SQLite), Test, and its Chinese catalogue
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite qt6-translations-l10n qt6-l10n-tools
  # lupdate and lrelease through CMake (Qt6LinguistTools) for the windows' catalogues
  qt6-tools-dev
  # printer access
  libusb-1.0-0-dev libcups2-dev cups-daemon cups-client cups-bsd
  # the real backends (usb, socket, snmp, dnssd) and cups-deviced, for the print path's tests
  cups cups-ipp-utils
  # an IPP printer in front of the simulated one (ippeveprinter), found through DNS-SD
  avahi-daemon dbus
  # simulated USB devices
  umockdev libumockdev-dev libglib2.0-dev
  # end-to-end and GUI tests
  iproute2 util-linux xvfb xauth x11-apps fonts-wqy-microhei procps psmisc
  # typing into and clicking the real fpmanager windows under Xvfb
  xdotool
  # independent cross-checks used by tests and benchmarks
  openssl libssl-dev sqlite3
  # Debian package of the suite and its checks
  dpkg-dev lintian desktop-file-utils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
$SUDO apt-get update -qq
# Installing cups would start a system-wide cupsd through invoke-rc.d; the tests run private ones.
# A policy-rc.d that refuses service starts keeps it off while the packages install.
policy=/usr/sbin/policy-rc.d
own_policy=no
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' | $SUDO tee "$policy" >/dev/null
  $SUDO chmod 0755 "$policy"
  own_policy=yes
fi
status=0
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null || status=$?
if [ "$own_policy" = yes ]; then $SUDO rm -f "$policy"; fi
exit "$status"
