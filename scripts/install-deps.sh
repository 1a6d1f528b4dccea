#!/usr/bin/env bash
# Installs the Debian packages Telvane needs to build, run and test, and any
# packages named as arguments. Does nothing when everything is already there.
set -euo pipefail

packages=(
    g++ make cmake pkg-config
    qt6-base-dev qt6-serialport-dev libqt6sql6-sqlite libqcustomplot-dev
    xvfb xauth fonts-liberation
    libsqlite3-dev sqlite3
    clang-14 libclang-rt-14-dev
    desktop-file-utils appstream man-db bash-completion
    libmosquitto-dev mosquitto mosquitto-clients qtkeychain-qt6-dev openssl python3-paho-mqtt
    postgresql libpq-dev
    "$@"
)

missing=()
for pkg in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    if [[ "$status" != "install ok installed" ]]; then
        missing+=("$pkg")
    fi
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

sudo=""
if [[ $(id -u) -ne 0 ]]; then
    sudo="sudo"
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
