#!/usr/bin/env bash
# The Debian package, built from the build tree as `--target package` builds it, checked with
# Debian's own tools: what it holds and depends on, its version against the programs', and lintian,
# which must report no error and no warning (informational tags may stay). Exits 77 (skipped)
# where lintian is not installed. Usage: package_test.sh BUILD_DIR
set -euo pipefail
build=$1
if ! command -v lintian >/dev/null 2>&1; then
  echo "lintian is not installed (tools/install-deps.sh installs it): the package is not checked"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work/package" >/dev/null)
deb=$(ls "$work"/package/*.deb)

contents=$(dpkg-deb -c "$deb")
for path in ./usr/bin/vistamaze ./usr/bin/vistamaze-render ./usr/libexec/vistamaze/vistamaze-render-scene \
  ./usr/libexec/vistamaze/vistamaze-import ./usr/libexec/vistamaze/vistamaze-video ./usr/libexec/vistamaze/vistamaze-ffmpeg.so ./usr/share/applications/io.github.vistamaze.Vistamaze.desktop \
  ./usr/share/metainfo/io.github.vistamaze.Vistamaze.metainfo.xml ./usr/share/man/man1/vistamaze.1.gz \
  ./usr/share/man/man1/vistamaze-render.1.gz ./usr/share/doc/vistamaze/copyright \
  ./usr/share/doc/vistamaze/changelog.gz ./usr/share/vistamaze/Models/TorusKnot.obj; do
  grep -qF -- " $path" <<<"$contents" || { echo "package lacks $path"; exit 1; }
done

# Depends on what the programs load: the shared picture libraries (found by dpkg-shlibdeps) and
# the plugins and drivers loaded at run time.
depends=$(dpkg-deb -f "$deb" Depends)
for dependency in libqt6widgets6 libassimp5 libpng16-16 libjpeg62-turbo libtiff6 libgif7 qt6-qpa-plugins libegl-mesa0 libavcodec59 libswscale6; do
  grep -qF -- "$dependency" <<<"$depends" || { echo "package does not depend on $dependency: $depends"; exit 1; }
done

# One version everywhere: the package's name and field, both programs' --version, the changelog.
version=$(dpkg-deb -f "$deb" Version)
test "$(basename "$deb")" = "vistamaze_${version}_$(dpkg --print-architecture).deb"
dpkg-deb -x "$deb" "$work/root"
test "$("$work"/root/usr/bin/vistamaze --version)" = "vistamaze $version"
test "$("$work"/root/usr/bin/vistamaze-render --version)" = "vistamaze-render $version"
gunzip -c "$work"/root/usr/share/doc/vistamaze/changelog.gz >"$work/changelog"
test "$(dpkg-parsechangelog -l "$work/changelog" -S Version)" = "$version"

# The informational tags (-I) are shown too, but only errors and warnings fail.
status=0
report=$(lintian -I --fail-on error,warning "$deb" 2>&1) || status=$?
grep -v '^running with root privileges' <<<"$report" || true
if [ "$status" -ne 0 ]; then echo "lintian reports errors or warnings"; exit 1; fi
echo "package $(basename "$deb"): fine"
