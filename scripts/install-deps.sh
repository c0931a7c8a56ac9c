#!/usr/bin/env bash
# Installs, from Debian 12's packages, whatever the builds, the tests, the
# benchmarks, the packaging and the panel need and the machine lacks. Safe to
# run again: present packages are skipped. `--list` prints the list and
# installs nothing (scripts/check-deps.sh proves the list complete).
set -euo pipefail

packages=(
  # building
  cmake g++ make pkg-config
  qt6-base-dev libgl-dev
  libqcustomplot-dev libqcustomplot2.1-qt6   # the live charts (the Qt 6 build of the library)
  librsvg2-bin                       # renders the icon's every size from its drawing
  # testing, fuzzing, benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  xvfb xauth imagemagick xdotool libxtst-dev
  desktop-file-utils                 # desktop-file-validate
  util-linux
  ser2net                            # serves the emulator over the network to the network-port tests
  libssl-dev openssl                 # TLS to served ports; the tests make their own certificates
  libmosquitto-dev mosquitto mosquitto-clients   # the fleet service's broker link; a private broker in tests
  libsystemd-dev                     # the service tells systemd it is ready and alive
  prometheus                         # promtool checks the service's metrics page
  # packaging
  dpkg-dev file
  help2man                           # makes the manual pages from each program's own help text
  lintian                            # the package checked as Debian checks one
  # at run time: Qt's own texts in Russian, and a font with Cyrillic letters
  qt6-translations-l10n
  fonts-dejavu-core
)

if [ "${1:-}" = "--list" ]; then
  printf '%s\n' "${packages[@]}"
  exit 0
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]}. Run as root, or: sudo apt-get install ${missing[*]}" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
