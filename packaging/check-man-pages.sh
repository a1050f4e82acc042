#!/usr/bin/env bash
# Checks that man finds and shows the manual page of each program of the
# installed package. Debian's minimal images tell dpkg to leave /usr/share/man
# out (path-exclude in /etc/dpkg/dpkg.cfg.d/); there the pages cannot be
# installed, so this says so and checks the pages in the package's own tree.
#
# Usage: packaging/check-man-pages.sh PACKAGE.deb PROGRAM...
set -euo pipefail

deb=$1
shift

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

command -v man >/dev/null || fail "man is not installed (package man-db; scripts/install-deps installs it)"

excludes=$(grep -HsE '^[[:space:]]*path-exclude[[:space:]=]+/usr/share/man' \
  /etc/dpkg/dpkg.cfg /etc/dpkg/dpkg.cfg.d/* || true)
expected_dir=/usr/share/man/man1
if [[ -n "$excludes" ]]; then
  echo "dpkg on this machine leaves manual pages out, so the installed package has none:"
  echo "$excludes"
  echo "(remove those lines and install the package again to have them);" \
    "checking the pages in the package's own tree instead"
  tree=$(mktemp -d)
  trap 'rm -rf "$tree"' EXIT
  dpkg-deb -x "$deb" "$tree"
  export MANPATH=$tree/usr/share/man
  expected_dir=$MANPATH/man1
fi

for program in "$@"; do
  page=$(man -w "$program" 2>/dev/null) || fail "man -w $program finds no manual page"
  [[ "$page" == "$expected_dir/$program.1.gz" ]] ||
    fail "man -w $program gives $page, expected $expected_dir/$program.1.gz"
  name_line=$(LC_ALL=C MANWIDTH=80 man "$program" 2>&1 | grep -A1 '^NAME' | tail -n 1)
  name_pattern="^[[:space:]]+${program}[[:space:]]+-[[:space:]]"
  [[ "$name_line" =~ $name_pattern ]] ||
    fail "man $program does not show its page (NAME reads \"$name_line\")"
  echo "man $program: $page"
done
