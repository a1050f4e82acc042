#!/bin/sh
# Every script the README names by its path runs as the README writes it:
# a file there that starts with "#!" must have its run bit.
# Usage: readme-scripts-executable.sh SOURCE_DIR
cd "$1" || exit 2
missing=0
for path in $(grep -oE '(scripts|tools|packaging|tests)/[A-Za-z0-9_./-]+' README.md | sort -u); do
  [ -f "$path" ] || continue
  [ "$(head -c 2 "$path")" = '#!' ] || continue
  if [ ! -x "$path" ]; then
    echo "README names $path, which lacks its run bit"
    missing=1
  fi
done
exit "$missing"
