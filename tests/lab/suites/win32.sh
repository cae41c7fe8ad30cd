#!/usr/bin/env bash
# The 32-bit Windows programs under 32-bit Wine, in one boot of the lab guest: the command line on
# what a 32-bit program alone can get wrong (then every test program of the i686 build and the
# real window's GUI test, through tools/test-windows.sh): a page of 2 GB or more is refused, not cut; one
# just under that which finds no room in memory fails cleanly; a 100 MB page and 1,000 pages go
# through; the settings read are the quorvane.ini beside the .exe; names with non-ASCII letters
# arrive whole. One 32-bit Wine prefix and one Wine server for the whole suite.
# Needs the i686 build with its tests: QV_WINDOWS_TESTS=ON bash tools/build-windows.sh i686
# Usage: tools/lab/guest-run.sh -- bash tests/lab/suites/win32.sh [BUILD_FOLDER]
set -euo pipefail
source tests/lab/lib.sh
build=${1:-build/windows-i686}
cli=$PWD/$build/cli/quorvane-insert-cli.exe
export WINEARCH=win32 WINEPREFIX=/root/wine-win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=C.UTF-8 # Wine names Unix files in the locale's character set

seconds() { echo "  ($(($(date +%s) - $1)) s)"; }
started=$(date +%s)
wine wineboot -i >/dev/null 2>&1 || true
echo "32-bit Wine prefix made$(seconds "$started")"

test_programs() {
  local started
  started=$(date +%s)
  bash tools/test-windows.sh --no-install --prefix "$WINEPREFIX" \
    --where "32-bit Wine in the lab guest" "$build" || fail "a test program of the i686 build failed"
  seconds "$started"
}

work=$QV_LAB_WORK/win32 # on the guest's disk: the big pages stay out of memory
text='var quorvaneSite = 1;'

# Runs the command line (PROGRAM, default the build's) in the work folder: sets $status and $out
# (its output, both streams, without CRs). Status 53 is Wine's own, never the program's: the
# process could not be started (kernel32.dll not loaded, NTSTATUS 0xC0000135), as happens on a
# heavily loaded emulated processor; such a start is tried again, at most twice, and said so.
run_cli() {
  local program=$cli attempt
  [ "$1" != --program ] || { program=$2 && shift 2; }
  for attempt in 1 2 3; do
    status=0
    out=$(cd "$work" && wine "$program" "$@" 2>&1) || status=$?
    out=${out//$'\r'/}
    [ "$status" -eq 53 ] && [ "$attempt" -lt 3 ] || return 0
    echo "  Wine could not start the program (status 53); starting it again"
  done
}
expect_status() { # EXPECTED WHAT
  [ "$status" -eq "$1" ] || fail "$2: exit status $status, expected $1; output: $out"
}
no_leftovers() { # FOLDER
  ! find "$1" -name '.qv-tmp-*' | grep -q . || fail "temporary files left in $1"
}
size_is() { [ "$(stat -c %s "$1")" -eq "$2" ] || fail "$1 changed size"; }
# A sparse page (its size costs nothing on disk) ending with the tag.
sparse_page() { # NAME SIZE
  truncate -s $(($2 - 7)) "$work/$1"
  printf '</body>' >>"$work/$1"
}

exact_bytes() {
  printf 'a</body>b\000\351\r\n</body>\r\n' >"$work/page.html"
  cp "$work/page.html" "$work/original.html"
  printf 'a</body>b\000\351\r\n\r\n%s\r\n</body>\r\n' "$text" >"$work/expected.html"
  run_cli --dry-run text.txt page.html
  expect_status 0 "--dry-run"
  expect_bytes "$work/page.html" "$work/original.html"
  run_cli text.txt page.html
  expect_status 0 "the insertion"
  expect_bytes "$work/page.html" "$work/expected.html"
  run_cli --remove text.txt page.html
  expect_status 0 "--remove"
  expect_bytes "$work/page.html" "$work/original.html"
}

thousand_pages() {
  local started
  make_site "$work/original" 1000
  cp -r "$work/original" "$work/site"
  started=$(date +%s)
  run_cli text.txt site
  expect_status 0 "1,000 pages"
  seconds "$started"
  expect_pages "$work/original" "$work/site" "$work/text.txt" $(ls "$work/original")
  rm -rf "$work/site" "$work/original"
}

page_of_100_mb() {
  local started
  { head -c 104857600 /dev/zero | tr '\0' x && printf '</body>\n'; } >"$work/big.html"
  { head -c 104857600 /dev/zero | tr '\0' x && printf '\r\n%s\r\n</body>\n' "$text"; } \
    >"$work/expected.html"
  started=$(date +%s)
  run_cli text.txt big.html
  expect_status 0 "the 100 MB page"
  seconds "$started"
  expect_bytes "$work/big.html" "$work/expected.html"
  rm -f "$work/big.html" "$work/expected.html"
}

pages_of_2_gb() {
  local gb=$((1024 * 1024 * 1024))
  sparse_page huge.html $((3 * gb))
  run_cli text.txt huge.html
  expect_status 1 "a 3 GB page"
  grep -q 'huge.html' <<<"$out" || fail "the 3 GB page is not named: $out"
  grep -q 'File too large' <<<"$out" || fail "the 3 GB page's refusal gives no reason: $out"
  size_is "$work/huge.html" $((3 * gb))
  sparse_page under.html $((2 * gb - 1))
  run_cli text.txt under.html
  echo "  just under 2 GB: exit status $status: $out"
  expect_status 1 "the page just under 2 GB"
  grep -q "cannot read 'under.html': Not enough memory" <<<"$out" ||
    fail "the page just under 2 GB is not refused with its reason: $out"
  size_is "$work/under.html" $((2 * gb - 1))
  no_leftovers "$work"
  rm -f "$work/huge.html" "$work/under.html"
}

settings_beside_the_program() {
  mkdir -p "$work/bin"
  cp "$cli" "$work/bin/"
  printf '[parametres]\r\nverification=off\r\nbalise=</html>\r\n' >"$work/bin/quorvane.ini"
  printf '[parametres]\r\nbalise=</p>\r\n' >"$work/quorvane.ini" # the working folder's: not read
  printf 'no marker' >"$work/plain.txt"
  printf '<p>a</p></body></html>' >"$work/page.html"
  run_cli --program "$work/bin/quorvane-insert-cli.exe" plain.txt page.html
  expect_status 0 "with the settings beside the program"
  [ "$(cat "$work/page.html")" = $'<p>a</p></body>\r\nno marker\r\n</html>' ] ||
    fail "the text did not go before the tag of the settings beside the program"
  rm "$work/bin/quorvane.ini" "$work/quorvane.ini"
  run_cli --program "$work/bin/quorvane-insert-cli.exe" plain.txt page.html
  expect_status 3 "without settings (the marker check on)"
}

non_ascii_names() {
  local folder="$work/données 日本"
  mkdir -p "$folder"
  printf '<body></body>' >"$folder/café ü.html"
  printf '<body></body>' >"$folder/ñandú.htm"
  run_cli -v text.txt "données 日本/café ü.html"
  expect_status 0 "a page named on the command line"
  grep -qF "$text" "$folder/café ü.html" || fail "the page named on the command line is unchanged"
  run_cli -v text.txt "données 日本"
  expect_status 0 "a folder named on the command line"
  grep -qF "$text" "$folder/ñandú.htm" || fail "the page listed from the folder is unchanged"
  grep -qF 'ñandú.htm' <<<"$out" || fail "the listed page's name is not printed whole: $out"
}

# The command line's cases first: in this guest they were seen to complete right after the prefix
# was made, and to stall after the test programs' Wine server had been stopped.
wineserver -p 2>/dev/null || true # one server for the command line's cases
rm -rf "$work"
mkdir -p "$work"
printf '%s' "$text" >"$work/text.txt"
run_case "exact bytes, --dry-run and --remove" exact_bytes
run_case "1,000 pages" thousand_pages
run_case "a 100 MB page" page_of_100_mb
run_case "pages of 2 GB or more refused, one just under that failing cleanly" pages_of_2_gb
run_case "the settings beside the .exe" settings_beside_the_program
run_case "names with non-ASCII letters" non_ascii_names
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true # gone before the test programs start their own
rm -rf "$work"
run_case "i686 test programs and the window's GUI test" test_programs
