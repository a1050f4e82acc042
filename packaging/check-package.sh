#!/usr/bin/env bash
# Builds the Debian package from a configured and built tree, checks what it
# holds and what lintian says of it, installs it with apt-get as a user would,
# finds its manual pages and starts the installed `bootload` under a private
# Xvfb. Needs root (or sudo) for the install.
#
# Usage: packaging/check-package.sh BUILD-FOLDER ARTEFACT-FOLDER
set -euo pipefail

build=$(realpath "$1")
artefacts=$2
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

sudo=()
if ((EUID != 0)); then
  command -v sudo >/dev/null || fail "installing the package needs root or sudo"
  sudo=(sudo)
fi

rm -rf "$build/package"
(cd "$build" && cpack -G DEB)
debs=("$build"/package/bootload_*.deb)
if ((${#debs[@]} != 1)) || [[ ! -f "${debs[0]}" ]]; then
  fail "cpack made no single package: ${debs[*]}"
fi
deb=${debs[0]}
echo "package $deb"

contents=$(dpkg-deb --contents "$deb")
programs=(bootload unit-sim)
if grep -q " ./usr/bin/bootload-cli\$" <<<"$contents"; then
  programs+=(bootload-cli)
fi
expected=(./usr/share/applications/bootload.desktop ./usr/share/icons/hicolor/scalable/apps/bootload.svg
  ./usr/share/doc/bootload/copyright ./usr/share/doc/bootload/changelog.gz)
for program in "${programs[@]}"; do
  expected+=("./usr/bin/$program" "./usr/share/man/man1/$program.1.gz")
done
for path in "${expected[@]}"; do
  grep -q " $path\$" <<<"$contents" || fail "the package has no $path"
done
depends=$(dpkg-deb --field "$deb" Depends)
echo "depends on: $depends"
for library in libqt6widgets6 libqt6gui6 libqt6core6 libstdc++6; do
  grep -q "\\b$library\\b" <<<"$depends" || fail "the package does not depend on $library"
done
desktop-file-validate "$root/packaging/bootload.desktop"
bash "$root/packaging/check-lintian.sh" "$deb"

# A path with a slash: apt-get installs the file and what it depends on.
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install --reinstall -y "$deb"
installed=$(command -v bootload) || fail "bootload is not on the PATH after the install"
[[ "$installed" == /usr/bin/bootload ]] || fail "bootload is $installed, expected /usr/bin/bootload"
for program in "${programs[@]}"; do
  command -v "$program" >/dev/null || fail "$program is not on the PATH after the install"
done
bash "$root/packaging/check-man-pages.sh" "$deb" "${programs[@]}"

bash "$root/tests/e2e/window-under-xvfb.sh" "$installed" "$artefacts/installed"
echo "the installed bootload starts"
