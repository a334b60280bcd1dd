#!/usr/bin/env bash
# Installs what building and testing Quorvane needs on Debian 12. Safe to run
# again: when everything is there it only checks and returns.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config git ccache
  qt6-base-dev libgl-dev
  libgtest-dev libgmock-dev nlohmann-json3-dev
  mdbtools mdbtools-dev
  libxlsxwriter-dev python3-openpyxl
  clang-14 libclang-rt-14-dev
  xvfb xauth xdg-utils imagemagick
  dpkg-dev file desktop-file-utils
  pybind11-dev python3-dev python3-pytest python3-pandas python3-dask python3-distributed
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# Node.js, npm and Python may come from elsewhere than Debian (a Node.js that
# bundles npm conflicts with Debian's npm package): only a missing command
# brings in Debian's.
for tool in node:nodejs npm:npm python3:python3; do
  command -v "${tool%%:*}" >/dev/null 2>&1 || missing+=("${tool##*:}")
done

if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The database tests read our files back with an independent JavaScript reader.
root=$(cd "$(dirname "$0")/.." && pwd)
for manifest in "$root"/tests/*/package.json; do
  [ -f "$manifest" ] || continue
  dir=$(dirname "$manifest")
  if [ ! -d "$dir/node_modules" ] || [ "$manifest" -nt "$dir/node_modules" ]; then
    (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error)
  fi
done
