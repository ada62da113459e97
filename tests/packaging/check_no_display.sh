#!/usr/bin/env bash
# A windowed program started with no desktop says, in one line, that it needs
# one and how to run it without (xvfb-run), and exits with status 1. Usage:
# NAME BINARY
set -uo pipefail
name=$1 binary=$2
output=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$binary" 2>&1 </dev/null)
code=$?
expected="$name needs a desktop, and none is set (DISPLAY, WAYLAND_DISPLAY, QT_QPA_PLATFORM); without one, run it as: xvfb-run $name [ARGUMENTS...]"
if [ $code -ne 1 ] || [ "$output" != "$expected" ]; then
  echo "FAIL: status $code, output:"
  echo "$output"
  exit 1
fi
echo "$output"
