#!/usr/bin/env bash
# Installs the Debian packages that the build and the tests need (scipy checks the BD deltas;
# pybind11, numpy and pytest build and test the Python module), and those named as arguments,
# if any is missing.
set -euo pipefail
packages=(cmake g++ make libpcl-dev libboost-filesystem-dev libgtest-dev libdraco-dev liblzf-dev libnanoflann-dev python3-scipy
  pybind11-dev python3-dev python3-numpy python3-pytest "$@")
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
