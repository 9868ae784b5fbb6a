#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the program and the tests need,
# but only those that are missing, so repeated runs cost nothing.
set -euo pipefail

packages=(
    build-essential cmake pkg-config
    qt6-base-dev qt6-qpa-plugins qt6-translations-l10n libgl-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-14-dev
    fonts-ipafont-gothic
    xvfb openbox xdotool xclip wmctrl imagemagick
    python3 python3-pil python3-xlib time
    # Install rules, the Debian package and their checks.
    librsvg2-bin help2man bash-completion file dpkg-dev lintian man-db
    desktop-file-utils appstream
    # Mail: messages, mboxes and Maildirs.
    libgmime-3.0-dev
    # Drops from other programs, read with a time limit of the window's own.
    libxcb1-dev
    # What a screen reader finds in the window: AT-SPI on a D-Bus session of
    # the test's own.
    python3-pyatspi at-spi2-core dbus
    # The flush-order test reads the programs' system calls.
    strace
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
