#!/usr/bin/env bash
# Installs the build tree into a scratch prefix and builds a small consumer against it twice:
# with pkg-config and with find_package(veskor). Usage: run.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/veskor-install-XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in include/veskor/veskorAPI.h lib/libveskoreng.so bin/veskor lib/pkgconfig/veskor.pc \
  lib/libveskorx.so include/veskor/veskorx.hpp lib/pkgconfig/veskorx.pc \
  lib/cmake/veskor/veskorConfig.cmake lib/cmake/veskor/veskorTargets.cmake share/veskor/sample/entries.tsv; do
  [ -e "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done

echo "== pkg-config"
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
pkg-config --exact-version=0.1.0 veskor
mkdir "$work/pc"
# shellcheck disable=SC2046
cc -std=c99 -Wall -Werror -o "$work/pc/consumer" "$here/consumer.c" $(pkg-config --cflags --libs veskor) \
  -Wl,-rpath,"$(pkg-config --variable=libdir veskor)"
"$work/pc/consumer" "$work/pc"
# shellcheck disable=SC2046
c++ -std=c++20 -Wall -Werror -o "$work/pc/consumer_x" "$here/consumer_x.cpp" $(pkg-config --cflags --libs veskorx) \
  -Wl,-rpath,"$(pkg-config --variable=libdir veskorx)"
"$work/pc/consumer_x" "$work/pc"

echo "== find_package"
cmake -S "$here" -B "$work/cm" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_RPATH="$prefix/lib" >/dev/null
cmake --build "$work/cm" >/dev/null
"$work/cm/consumer" "$work/cm"
"$work/cm/consumer_x" "$work/cm"

echo "== installed tool"
"$prefix/bin/veskor" --version
cd "$work"
"$prefix/bin/veskor" demo > demo.out
grep -q "== 348 entries" demo.out
grep -q "^Veskor demo: knowledge bases built from $prefix/share/veskor/sample" demo.out
echo "install test passed"
