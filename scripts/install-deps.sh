#!/usr/bin/env bash
# Installs every Debian package Bellwick needs to build, run and test.
# Run as root on Debian 12; packages already present are left as they are.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-translations-l10n
    libtag1-dev
    libgl-dev
    fonts-ipafont-gothic fonts-dejavu-core fonts-wqy-microhei
    xdg-utils
    googletest libgtest-dev libgmock-dev
    xvfb xauth
    python3-mutagen lame
    clang-format
    clang
    e2fsprogs mount util-linux
    passwd
    dpkg-dev file lintian appstream desktop-file-utils
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "bellwick: these packages are missing and installing them needs root: ${missing[*]}" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
