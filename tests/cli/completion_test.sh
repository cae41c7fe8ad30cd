#!/usr/bin/env bash
# The bash completion of the command line, in a bash of its own with bash-completion loaded:
# options from the program's --help, files and folders for the operands and for --replace, nothing
# after an option that takes free text.
# Usage: completion_test.sh COMPLETION_FILE PROGRAM_FOLDER   Exit status: 0 passed, 1 failed,
# 77 skipped (bash-completion is not installed).
set -u
completion=$1
program_folder=$2
[ -f /usr/share/bash-completion/bash_completion ] || exit 77
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/site" && touch "$work/snippet.txt" "$work/site.html"

cd "$work" && PATH=$program_folder:$PATH bash --norc --noprofile -s "$completion" <<'SCRIPT'
source /usr/share/bash-completion/bash_completion
source "$1"
failed=0
expect() {  # expected completions, then the words of a command line whose last word is completed
  local expected=$1
  shift
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMP_LINE="$*"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  "$(complete -p quorvane-insert-cli | sed 's/.*-F \([^ ]*\) .*/\1/')" quorvane-insert-cli \
    "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  local got=""
  [ ${#COMPREPLY[@]} -eq 0 ] || got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ')
  if [ "$got" != "$expected" ]; then
    echo "FAILED: '$*' completes to '$got', not '$expected'"
    failed=1
  fi
}
expect "--diff --dry-run " quorvane-insert-cli --d
expect "site site.html snippet.txt " quorvane-insert-cli -r s
expect "site site.html " quorvane-insert-cli --replace site
expect "" quorvane-insert-cli --tag s
exit $failed
SCRIPT
