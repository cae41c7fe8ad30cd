#!/usr/bin/env bash
# The 64-bit installer's round trip under Wine, in a fresh Wine prefix: installs the .msi for the
# current user with no window (msiexec /i /qn) and checks the files, the Start-menu shortcut and
# the "Apps & features" entry; drives the installed window (the window driver of the Windows
# tests, on a virtual display); edits the installed quorvane.ini and runs the installed command
# line through it; upgrades with a rebuild of the same version, which must keep that file; then
# uninstalls (msiexec /x /qn) and checks that only quorvane.ini is left.
# Usage: tools/test-msi.sh   (makes the release and the 64-bit build with its tests when missing)
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh --windows

version=$(sed -n 's/^project(quorvane_insert VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
release=dist/quorvane-insert-$version-windows-x86_64
driver=build/windows-x86_64/tests/win32/window_driver.exe
[ -f "$driver" ] || QV_WINDOWS_TESTS=ON bash tools/build-windows.sh x86_64
[ -f "$release.msi" ] || bash tools/release-windows.sh x86_64

work=$(mktemp -d)
export WINEPREFIX=$work/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "msi check: $*" >&2; exit 1; }
wine wineboot -i >/dev/null 2>&1 || true
wineserver -p 2>/dev/null || true
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1

windows_folder() { winepath -u "$(wine cmd /c "echo %$1%" | tr -d '\r')"; }
installed=$(windows_folder LOCALAPPDATA)/Programs/quorvane-insert
shortcut="$(windows_folder APPDATA)/Microsoft/Windows/Start Menu/Programs/Insert text in HTML files.lnk"
msiexec() { wine msiexec "$1" "$(winepath -w "$2")" /qn || fail "msiexec $1 $2 failed"; }
entries() { wine uninstaller --list | tr -d '\r' | grep -c '|||Insert text in HTML files$' || true; }
# The "Apps & features" entry's values (Wine keeps per-user entries under HKLM, Windows under HKCU).
entry_value() {
  for root in HKCU HKLM; do
    wine reg query "$root\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall" /s /v "$1" \
      2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_SZ *//p"
  done
}

echo "=== install"
msiexec /i "$release.msi"
for file in quorvane-insert.exe quorvane-insert-cli.exe quorvane.ini README.txt; do
  cmp -s "$release/$file" "$installed/$file" || fail "$file is not installed as released"
done
[ -f "$shortcut" ] || fail "no Start-menu shortcut"
[ "$(entries)" = 1 ] || fail "not listed once in Apps & features"
entry_value DisplayVersion | grep -qx "$version" || fail "Apps & features lacks version $version"
entry_value Publisher | grep -qx 'quorvane-insert maintainers' || fail "Apps & features lacks the publisher"

echo "=== the installed window"
sh tests/win32/gui_test.sh wine "$driver" "$installed/quorvane-insert.exe" ||
  fail "the installed window failed"

echo "=== the installed command line, through an edited quorvane.ini"
printf '[parametres]\r\nverification=off\r\nbalise=</html>\r\n' >"$work/edited.ini"
cp "$work/edited.ini" "$installed/quorvane.ini"
run_cli() {
  printf 'X' >"$work/text.txt"
  printf '<html><body>A</body></html>' >"$work/page.html"
  (cd "$work" && wine "$installed/quorvane-insert-cli.exe" -q text.txt page.html) ||
    fail "the installed command line failed"
  [ "$(cat "$work/page.html")" = $'<html><body>A</body>\r\nX\r\n</html>' ] ||
    fail "the installed command line wrote: $(od -c "$work/page.html")"
}
run_cli

echo "=== upgrade with a rebuild of the same version"
bash tools/make-msi.sh "$release" x86_64 "$work/rebuilt.msi"
msiexec /i "$work/rebuilt.msi"
cmp -s "$work/edited.ini" "$installed/quorvane.ini" || fail "the upgrade replaced quorvane.ini"
[ "$(entries)" = 1 ] || fail "the upgrade left $(entries) entries in Apps & features"
run_cli

echo "=== uninstall"
msiexec /x "$work/rebuilt.msi"
[ "$(ls -A "$installed")" = quorvane.ini ] || fail "left in the folder: $(ls -A "$installed")"
[ ! -e "$shortcut" ] || fail "the shortcut is left"
[ "$(entries)" = 0 ] || fail "still listed in Apps & features"
echo "msi check: $release.msi passed"
