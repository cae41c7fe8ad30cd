#!/usr/bin/env bash
# Builds the Debian package, then proves it and the install layout: lintian (no error, no
# warning), desktop-file-validate and appstreamcli on the package's files; unpacks the .deb into a
# throwaway root and runs the command line installed there on a page, through the settings file in
# the root's /etc, and its bash completion; installs with `cmake --install --prefix` into a
# temporary folder and checks the layout.
# Usage: tools/package.sh [build-folder]   (default build/release, a Release build)
# The package is left as <build-folder>/quorvane-insert_<version>_<arch>.deb.
set -euo pipefail
cd "$(dirname "$0")/.."

folder=${1:-build/release}
bash tools/install-deps.sh --package
if [ ! -f "$folder/CMakeCache.txt" ]; then
  cmake -S . -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQV_BUILD_TESTS=OFF \
    -DQV_WARNINGS_AS_ERRORS=OFF
fi
cmake --build "$folder" -j "$(nproc)"
rm -f "$folder"/quorvane-insert_*.deb
(cd "$folder" && cpack -G DEB >/dev/null)
deb=$(echo "$folder"/quorvane-insert_*.deb)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "package check: $*" >&2; exit 1; }

# The control data: Depends found by dpkg-shlibdeps, the settings file kept as a conffile.
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "Depends lacks the Qt libraries"
dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles | grep -qx /etc/quorvane-insert/quorvane.ini ||
  fail "the settings file is not a conffile"

# What a packager checks: lintian, the desktop entry, the AppStream metadata, the versions.
root=$work/root
dpkg-deb -x "$deb" "$root"
lintian --fail-on error,warning "$deb" 2> >(grep -v 'root privileges' >&2) ||
  fail "lintian found errors or warnings"
desktop-file-validate "$root/usr/share/applications/quorvane-insert.desktop" ||
  fail "desktop-file-validate found errors"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml ||
  fail "appstreamcli found errors"
version=$(dpkg-deb -f "$deb" Version)
zcat "$root/usr/share/doc/quorvane-insert/changelog.gz" | head -1 | grep -qF "($version)" ||
  fail "the changelog's last entry is not version $version"
grep -qF "<release version=\"$version\"" "$root"/usr/share/metainfo/*.metainfo.xml ||
  fail "the AppStream metadata lacks release $version"
bash tests/cli/completion_test.sh "$root/usr/share/bash-completion/completions/quorvane-insert-cli" \
  "$root/usr/bin" || fail "the bash completion does not work"

# The settings link is absolute, to the system's /etc; here it is pointed at the root's /etc, and
# the installed command line, started through its link in /usr/bin, must read the settings there:
# a tag and a check other than the defaults, so that a missing file would show.
[ "$(readlink "$root/usr/lib/quorvane-insert/quorvane.ini")" = /etc/quorvane-insert/quorvane.ini ] ||
  fail "usr/lib/quorvane-insert/quorvane.ini does not lead to /etc/quorvane-insert/quorvane.ini"
ln -sfn ../../../etc/quorvane-insert/quorvane.ini "$root/usr/lib/quorvane-insert/quorvane.ini"
printf '[parametres]\nverification=off\nbalise=</html>\n' >"$root/etc/quorvane-insert/quorvane.ini"
printf 'X' >"$work/text.txt"
printf '<html><body>A</body></html>' >"$work/page.html"
"$root/usr/bin/quorvane-insert-cli" -q "$work/text.txt" "$work/page.html" ||
  fail "the installed command line failed"
[ "$(cat "$work/page.html")" = $'<html><body>A</body>\r\nX\r\n</html>' ] ||
  fail "the installed command line wrote: $(od -c "$work/page.html")"

# `cmake --install` into another prefix: the same tree, with <prefix>/etc for the settings.
prefix=$work/prefix
cmake --install "$folder" --prefix "$prefix" >/dev/null
for program in quorvane-insert quorvane-insert-cli; do
  [ "$(readlink -f "$prefix/bin/$program")" = "$prefix/lib/quorvane-insert/$program" ] ||
    fail "bin/$program does not lead to lib/quorvane-insert/$program"
  zcat "$prefix/share/man/man1/$program.1.gz" | grep -q '^\.TH' || fail "no manual page for $program"
done
[ "$(readlink -f "$prefix/lib/quorvane-insert/quorvane.ini")" = \
  "$prefix/etc/quorvane-insert/quorvane.ini" ] && [ -f "$prefix/etc/quorvane-insert/quorvane.ini" ] ||
  fail "lib/quorvane-insert/quorvane.ini does not lead to etc/quorvane-insert/quorvane.ini"
grep -qx 'Icon=quorvane-insert' "$prefix/share/applications/quorvane-insert.desktop" ||
  fail "no desktop entry"
for size in 16 32 48 64; do
  [ -f "$prefix/share/icons/hicolor/${size}x$size/apps/quorvane-insert.png" ] ||
    fail "no ${size}x$size icon"
done
echo "package check: $deb passed"
