#!/usr/bin/env bash
# An installed tree, checked with the tools a distribution uses: desktop-file-validate,
# appstreamcli, man (the package: package_test.sh). Usage: install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" --strip >/dev/null

desktop-file-validate "$prefix"/share/applications/io.github.vistamaze.Vistamaze.desktop
appstreamcli validate --no-net "$prefix"/share/metainfo/io.github.vistamaze.Vistamaze.metainfo.xml >/dev/null
for size in 16 24 32 48 64 128 256; do
  test "$(identify -format '%wx%h' "$prefix/share/icons/hicolor/${size}x${size}/apps/io.github.vistamaze.Vistamaze.png")" = "${size}x${size}"
done
test -s "$prefix"/share/icons/hicolor/scalable/apps/io.github.vistamaze.Vistamaze.svg

# The man pages render, and the renderer's names every option that --help lists.
desktop_man_text=$(MANWIDTH=100 man -l "$prefix"/share/man/man1/vistamaze.1.gz 2>/dev/null)
grep -qF -- "--version" <<<"$desktop_man_text" || { echo "vistamaze's man page does not render"; exit 1; }
man_text=$(MANWIDTH=100 man -l "$prefix"/share/man/man1/vistamaze-render.1.gz 2>/dev/null)
for option in $("$prefix"/bin/vistamaze-render --help | grep -oE '(^|[ ,])--[a-z][a-z-]*' | tr -d ' ,' | sort -u); do
  grep -qF -- "$option" <<<"$man_text" || { echo "man page lacks $option"; exit 1; }
done

# The installed renderer works from another folder, without a display, on the installed samples.
mkdir "$work/elsewhere"
(cd "$work/elsewhere" && env -u DISPLAY "$prefix"/bin/vistamaze-render \
  "$prefix"/share/vistamaze/DepthMaps/Torus.png -W 320 -H 200 -o out.png)
test "$(identify -format '%wx%h' "$work/elsewhere/out.png")" = "320x200"
# A scene is drawn by the installed libexec helper, which the renderer finds from its own place.
(cd "$work/elsewhere" && env -u DISPLAY "$prefix"/bin/vistamaze-render --text Hi -W 320 -H 200 -o text.png)
test "$(identify -format '%wx%h' "$work/elsewhere/text.png")" = "320x200"
# Models are read by the installed importer, which the scene program finds beside itself.
(cd "$work/elsewhere" && env -u DISPLAY "$prefix"/bin/vistamaze-render \
  --model "$prefix"/share/vistamaze/Models/TorusKnot.obj -W 320 -H 200 -o model.png)
test "$(identify -format '%wx%h' "$work/elsewhere/model.png")" = "320x200"
# Compressed movies go through the installed FFmpeg module, which the renderer finds from its place.
(cd "$work/elsewhere" && env -u VISTAMAZE_FFMPEG_MODULE "$prefix"/bin/vistamaze-render \
  "$prefix"/share/vistamaze/DepthMaps/Torus.png "$prefix"/share/vistamaze/DepthMaps/Spheres.png \
  -W 320 -H 200 -o movie.mp4)
test "$(ffprobe -v error -show_entries stream=codec_name -of csv=p=0 "$work/elsewhere/movie.mp4")" = "h264"
# That movie as a depth video: decoded by the installed video reader, which loads the module beside it.
(cd "$work/elsewhere" && env -u VISTAMAZE_FFMPEG_MODULE -u VISTAMAZE_VIDEO_READER "$prefix"/bin/vistamaze-render \
  movie.mp4 -W 320 -H 200 -o again.avi)
test "$(ffprobe -v error -show_entries stream=nb_frames -of csv=p=0 "$work/elsewhere/again.avi")" = "2"
for folder in Textures DepthMaps Models; do test -d "$prefix/share/vistamaze/$folder"; done

# No path of this build machine is compiled into the programs.
for program in bin/vistamaze bin/vistamaze-render libexec/vistamaze/vistamaze-render-scene libexec/vistamaze/vistamaze-import \
  libexec/vistamaze/vistamaze-video libexec/vistamaze/vistamaze-ffmpeg.so; do
  if grep -qF -- "$source" "$prefix/$program"; then echo "$program names $source"; exit 1; fi
done

echo "installed tree: fine"
