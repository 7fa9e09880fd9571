#!/usr/bin/env bash
# Rebuilds the generated pictures: assets/logo.png and assets/kestrana.ico.
# The generator is a host program; it is built into a temporary directory
# and removed afterwards. The build embeds assets/logo.png in the program.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# shellcheck disable=SC2046  # pkg-config prints several words on purpose
g++ -std=c++17 -O2 -Wall -Wextra -o "$tmp/make_assets" "$root/assets/make_assets.cpp" \
  $(pkg-config --cflags --libs libpng) -lz
"$tmp/make_assets" "$root/assets/"
