#!/usr/bin/env bash
# Runs lintian on the package and fails on any error or warning, except that
# the default Maintainer's address (bootload@localhost, the default of
# BOOTLOAD_PACKAGE_CONTACT in cmake/Packaging.cmake) has no real mail host.
#
# Usage: packaging/check-lintian.sh PACKAGE.deb
set -euo pipefail

deb=$1
default_address=bootload@localhost

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

command -v lintian >/dev/null || fail "lintian is not installed (scripts/install-deps installs it)"
report=$(lintian --fail-on none "$deb" 2>&1) || fail "lintian could not check $deb: $report"
echo "lintian on $(basename "$deb"):"
echo "${report:-  nothing to report}"

allowed="^E: bootload: bogus-mail-host(-in-debian-changelog)? (.*[[:space:]])?${default_address//./\\.}([[:space:]]|$)"
problems=$(grep -E '^[EW]: ' <<<"$report" | grep -Ev "$allowed" || true)
[[ -z "$problems" ]] || fail "lintian reports errors or warnings:"$'\n'"$problems"
if grep -qE "$allowed" <<<"$report"; then
  echo "lintian: no errors or warnings but the default Maintainer's mail host" \
    "(-DBOOTLOAD_PACKAGE_CONTACT sets the Maintainer)"
else
  echo "lintian: no errors or warnings"
fi
