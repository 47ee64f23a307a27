#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tools need, and only
# those that are missing. Runs as root, or through sudo when not root.
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6svg6 qt6-svg-dev
  libcurl4-openssl-dev libpcre2-dev libicu-dev libssl-dev
  libgtest-dev libgmock-dev libbenchmark-dev libcpp-httplib-dev
  fonts-wqy-microhei xvfb xdotool xclip x11-apps imagemagick
  tinyproxy curl openssl clang libclang-rt-14-dev
  desktop-file-utils appstream dpkg-dev file
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
