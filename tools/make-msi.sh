#!/usr/bin/env bash
# Builds the Windows installer of one architecture from a release folder of
# tools/release-windows.sh, with wixl (packaging/windows/quorvane-insert.wxs), then sets in its
# tables what wixl cannot write: the settings file's component is permanent and never overwritten
# (an upgrade keeps the user's quorvane.ini, an uninstall leaves it), and the installed version
# found by an upgrade may be this very one (a rebuild).
# Usage: tools/make-msi.sh RELEASE_FOLDER i686|x86_64 OUTPUT.msi
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -eq 3 ] || { echo "usage: $0 RELEASE_FOLDER i686|x86_64 OUTPUT.msi" >&2; exit 2; }
folder=$1
output=$3
case $2 in
  i686) wixl_arch=x86 ;;
  x86_64) wixl_arch=x64 ;;
  *) echo "$0: unknown architecture '$2'" >&2; exit 2 ;;
esac
version=$(sed -n 's/^project(quorvane_insert VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

rm -f "$output"
# wixl warns of what it does not understand and goes on: a warning fails the build here.
complaints=$(wixl -a "$wixl_arch" -D Version="$version" -D Source="$folder" -o "$output" \
  packaging/windows/quorvane-insert.wxs 2>&1) || { echo "$complaints" >&2; exit 1; }
[ -z "$complaints" ] || { echo "$complaints" >&2; rm -f "$output"; exit 1; }
upgrade_code=$(sed -n 's/.*UpgradeCode="\([^"]*\)".*/\1/p' packaging/windows/quorvane-insert.wxs)
sql() { (cd "$(dirname "$output")" && msibuild "$(basename "$output")" -q "$1"); }
# Component attributes: 0x10 permanent, 0x80 never overwrite.
sql "UPDATE Component SET Attributes = 144 WHERE Component = 'Settings'"
# wixl drops IncludeMaximum: the row that finds the versions to replace is written again with
# attributes 0x100 and 0x200, lowest and highest version included.
sql "DELETE FROM Upgrade WHERE ActionProperty = 'OLDER_VERSION_FOUND'"
sql "INSERT INTO Upgrade (UpgradeCode, VersionMin, VersionMax, Attributes, ActionProperty)
     VALUES ('{${upgrade_code^^}}', '0.0.0', '$version', 768, 'OLDER_VERSION_FOUND')"
