#!/usr/bin/env bash
# Runs screen_reader_test.py on a virtual display with a session bus of its
# own: screen_reader_test.sh QUENRIX MKSAMPLE. The script exits 77
# (skipped) when the accessibility bus cannot start there.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
for tool in dbus-run-session xvfb-run xdotool /usr/libexec/at-spi-bus-launcher; do
  if ! command -v "$tool" >/dev/null; then
    echo "screen_reader_test: $tool is missing: run scripts/install-deps" >&2
    exit 1
  fi
done
exec timeout -k 5 150 dbus-run-session -- xvfb-run -a -s '-screen 0 1024x768x24' \
  /usr/bin/python3 "$here/screen_reader_test.py" "$1" "$2"
