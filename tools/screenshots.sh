#!/bin/sh
# Builds quorvel-screenshots and takes the README's pictures under a virtual X server.
# Usage: tools/screenshots.sh [build folder]   (pictures go to docs/)
set -e
BUILD=${1:-build}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cmake --build "$BUILD" --target quorvel-screenshots language_packs
mkdir -p "$ROOT/docs"
xvfb-run -a -s "-screen 0 1920x1080x24" "$BUILD/bin/quorvel-screenshots" "$ROOT/docs"
