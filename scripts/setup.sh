#!/usr/bin/env bash
# Installs, on Debian 12 as root, every package that building, running and
# testing Quorbel needs. Packages already present are left alone.
set -euo pipefail

packages=(
  build-essential cmake pkg-config clang libclang-rt-14-dev
  libgtest-dev libgmock-dev
  qt6-base-dev libgl1-mesa-dev
  libsystemd-dev libcap-dev
  dbus python3-dbusmock python3-dbus
  iproute2 iputils-ping fping procps
  xvfb xauth imagemagick fonts-wqy-microhei
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done

if ((${#missing[@]})); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "Missing packages: ${missing[*]}" >&2
    echo "Run this script as root to install them." >&2
    exit 1
  fi
  echo "Installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
