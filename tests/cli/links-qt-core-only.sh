#!/usr/bin/env bash
# bootload-cli runs without a display: it needs Qt Core and never Qt Gui or
# Qt Widgets. Usage: links-qt-core-only.sh PROGRAM
set -euo pipefail
needed=$(readelf -d "$1" | grep NEEDED)
grep -q 'libQt6Core' <<<"$needed" || { echo "FAIL: $1 does not link Qt Core"; exit 1; }
if grep -E 'libQt6(Gui|Widgets)' <<<"$needed"; then
  echo "FAIL: $1 links Qt Gui or Qt Widgets"
  exit 1
fi
echo "$1 links Qt Core only"
