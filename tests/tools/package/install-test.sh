#!/usr/bin/env bash
# Installs the built tree into a temporary prefix, moves it (the tree is
# relocatable), and uses it as an outsider would: the programs answer
# --version from where they lie, and a small project builds against the
# library with find_package and with pkg-config, and runs.
# Usage: install-test.sh BUILD_DIR SOURCE_DIR VERSION
set -euo pipefail
build=$1 source=$2 version=$3
work=$(mktemp -d /tmp/qelscale-install-XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/first" >"$work/install.log" || { cat "$work/install.log"; fail "install"; }
mv "$work/first" "$work/moved"
prefix=$work/moved

for path in bin/VeskTarvo bin/qelscale bin/scale-sim lib/libQELScale.so.1 lib/libQELScale.so \
            include/QELScale.h lib/cmake/QELScale/QELScaleConfig.cmake \
            lib/cmake/QELScale/QELScaleConfigVersion.cmake lib/pkgconfig/qelscale.pc \
            share/applications/vesktarvo.desktop share/icons/hicolor/scalable/apps/vesktarvo.svg \
            share/metainfo/pl.vesk.VeskTarvo.metainfo.xml share/man/man1/qelscale.1.gz \
            share/man/man1/VeskTarvo.1.gz share/man/man1/scale-sim.1.gz; do
  [ -e "$prefix/$path" ] || fail "$path is not installed"
done
for program in VeskTarvo qelscale; do
  readelf -d "$prefix/bin/$program" | grep -q 'R.*PATH.*\[\$ORIGIN/../lib\]' ||
    fail "$program has no rpath \$ORIGIN/../lib"
done

unset LD_LIBRARY_PATH
for program in qelscale VeskTarvo scale-sim; do
  answer=$("$prefix/bin/$program" --version) || fail "$program --version failed"
  [ "$answer" = "$program $version" ] || fail "$program --version said '$answer'"
done
for program in qelscale VeskTarvo scale-sim; do
  "$prefix/bin/$program" --help >"$work/help.txt" || fail "$program --help failed"
  grep -q "^Usage: $program" "$work/help.txt" || fail "$program --help has no usage line"
done

cmake -S "$source/tests/tools/package/consumer" -B "$work/consumer" -G Ninja \
  -DCMAKE_PREFIX_PATH="$prefix" >"$work/consumer.log" 2>&1 || { cat "$work/consumer.log"; fail "consumer configure"; }
cmake --build "$work/consumer" >>"$work/consumer.log" 2>&1 || { cat "$work/consumer.log"; fail "consumer build"; }
[ "$("$work/consumer/consumer")" = "connection kind ETH" ] || fail "consumer (find_package) run"

flags=$(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs qelscale) || fail "pkg-config"
[ "$(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --modversion qelscale)" = "$version" ] ||
  fail "pkg-config version"
# shellcheck disable=SC2086
c++ -std=c++20 "$source/tests/tools/package/consumer/main.cpp" $flags -o "$work/consumer-pc" \
  -Wl,-rpath,"$prefix/lib" || fail "consumer (pkg-config) build"
[ "$("$work/consumer-pc")" = "connection kind ETH" ] || fail "consumer (pkg-config) run"

desktop-file-validate "$prefix/share/applications/vesktarvo.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$prefix/share/metainfo/pl.vesk.VeskTarvo.metainfo.xml" ||
  fail "AppStream metainfo"
echo "installed tree at a moved prefix works"
