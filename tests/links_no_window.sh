#!/usr/bin/env bash
# The headless program runs where there is no display server: it may link neither Qt Widgets,
# Qt Charts nor Qt Gui (nor anything that pulls them in).
set -euo pipefail
needed=$(ldd "$1")
if echo "$needed" | grep -E 'libQt6(Widgets|Charts|Gui|OpenGL)' ; then
  echo "FAIL: $1 links a window library" >&2
  exit 1
fi
echo "$1 links: $(echo "$needed" | grep -o 'libQt6[A-Za-z]*' | sort -u | tr '\n' ' ')"
