#!/usr/bin/env bash
# Installs what is missing, builds, and starts Vistamaze.
# Without a display it renders the bundled sample depth map with the command-line renderer
# instead and says where the picture went.
set -euo pipefail
cd "$(dirname "$0")"

./tools/install-deps.sh
cmake --preset release >/dev/null

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  cmake --build --preset release --target vistamaze
  exec ./build/release/app/vistamaze "$@"
fi

cmake --build --preset release --target vistamaze-render
out="${VISTAMAZE_OUT:-$PWD/out}"
mkdir -p "$out"
./build/release/cli/vistamaze-render DepthMaps/Torus.png -t Textures/Marble.png -o "$out/Torus-stereogram.png"
echo "No display: rendered the sample with the command-line renderer."
echo "Stereogram written to $out/Torus-stereogram.png"
echo "More: ./build/release/cli/vistamaze-render --help"
