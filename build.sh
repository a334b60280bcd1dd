#!/usr/bin/env bash
# ./build.sh run    install dependencies, build, start Quorvane
# ./build.sh test   install dependencies, build, run every test (also a
#                   sanitizer build of the plain C++ libraries)
# ./build.sh build  install dependencies and build only
# ./build.sh package  install dependencies, build, write build/quorvane_VERSION_ARCH.deb
set -euo pipefail
cd "$(dirname "$0")"
what=${1:-build}
jobs=$(nproc 2>/dev/null || echo 2)

tools/install-deps.sh

configure() { # dir, extra cmake arguments...
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
}

case "$what" in
  build|run)
    configure build
    cmake --build build -j "$jobs"
    if [ "$what" = run ]; then
      shift || true
      exec build/bin/quorvane "$@"
    fi
    ;;
  test)
    configure build
    cmake --build build -j "$jobs"
    ctest --test-dir build --output-on-failure -j "$jobs"
    configure build-sanitize -DQUORVANE_GUI=OFF -DQUORVANE_SANITIZE=ON
    cmake --build build-sanitize -j "$jobs"
    ctest --test-dir build-sanitize --output-on-failure -j "$jobs"
    ;;
  package)
    configure build
    cmake --build build -j "$jobs"
    (cd build && cpack -G DEB)
    ;;
  *)
    echo "usage: $0 run|test|build|package" >&2
    exit 2
    ;;
esac
