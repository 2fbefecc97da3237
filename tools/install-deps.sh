#!/usr/bin/env bash
# Installs the Debian packages Vistamaze needs to build, test and run, when any is missing.
# As root it runs apt-get; otherwise it prints the one command to run and fails.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libqt6opengl6-dev libqt6svg6 libglu1-mesa-dev libgl-dev libgl1-mesa-dri
  libegl-dev libegl-mesa0
  xvfb xauth x11-utils
  libassimp-dev libjpeg-dev libpng-dev libtiff-dev libgif-dev zlib1g-dev libisal-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-liberation2 ffmpeg imagemagick assimp-testmodels
  desktop-file-utils appstream man-db dpkg-dev file lintian
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

cmd="apt-get update && apt-get install -y --no-install-recommends ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "Vistamaze needs these packages. Run as root:" >&2
  echo "  $cmd" >&2
  exit 1
fi
echo "Installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
