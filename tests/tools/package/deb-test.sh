#!/usr/bin/env bash
# Builds the .deb from the already built tree and checks what it holds and
# that its dependencies were read from the binaries.
# Usage: deb-test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1 version=$2
work=$(mktemp -d /tmp/qelscale-deb-XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log"; fail "cpack -G DEB"; }
deb=$(ls "$work"/*.deb)
contents=$(dpkg-deb -c "$deb")
for path in ./usr/bin/VeskTarvo ./usr/bin/qelscale ./usr/bin/scale-sim ./usr/lib/libQELScale.so.1.0.0 \
            ./usr/include/QELScale.h ./usr/lib/cmake/QELScale/QELScaleConfig.cmake \
            ./usr/lib/pkgconfig/qelscale.pc ./usr/share/applications/vesktarvo.desktop \
            ./usr/share/man/man1/qelscale.1.gz; do
  grep -q " $path\( \|$\)" <<<"$contents" || { echo "$contents"; fail "$path is not in the package"; }
done
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libqt6core6 libqt6widgets6; do
  grep -q "$library" <<<"$depends" || fail "Depends lacks $library: $depends"
done
# Unpacked anywhere, the packaged programs find the packaged library.
dpkg-deb -x "$deb" "$work/unpacked"
answer=$(env -u LD_LIBRARY_PATH "$work/unpacked/usr/bin/qelscale" --version) ||
  fail "the packaged qelscale does not start"
[ "$answer" = "qelscale $version" ] || fail "the packaged qelscale said '$answer'"
echo "$(basename "$deb"): $depends"
