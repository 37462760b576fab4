#!/usr/bin/env bash
# Installs the build into a fresh prefix, builds a host project against it with find_package(PXM),
# runs it, and checks the installed tool and pkg-config file. Arguments: the build tree and the
# module's file name (PXM.so, or PXM.dylib on macOS).
set -euo pipefail
build=$1
module=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake -S "$(dirname "$0")/consumer" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
"$work/consumer/consumer"
"$work/prefix/bin/pxm" --help >/dev/null
PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig" pkg-config --variable=moduledir pxm | xargs -I{} test -f "{}/$module"
echo "installed tree works"
