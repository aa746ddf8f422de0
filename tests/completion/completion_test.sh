#!/bin/bash
# Completion of pandrel command lines through the installed completion
# function: commands, the option, packages and folders.
#   tests/completion/completion_test.sh COMPLETION_FILE
set -u
# shellcheck source=/dev/null
source "$1" || exit 1
work=$(mktemp -d "${TMPDIR:-/tmp}/pandrel-completion-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
mkdir pkgs out
touch setup.msi MODULE.MSM notes.txt pkgs/inner.msi

failures=0
# expect "COMMAND LINE" "EXPECTED COMPLETIONS": the last word of the line is
# the one completed (a line ending in a space completes an empty word).
expect() {
  read -r -a COMP_WORDS <<<"$1"
  [[ $1 == *' ' ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  _pandrel
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ')
  if [ "${got% }" != "$2" ]; then
    echo "FAIL: '$1' completes to '${got% }', not '$2'" >&2
    failures=$((failures + 1))
  fi
}

complete -p pandrel | grep -q -- '-F _pandrel' || { echo "FAIL: no completion for pandrel" >&2; exit 1; }
expect 'pandrel ' 'l r x'
expect 'pandrel x' 'x'
expect 'pandrel x -' '-v'
expect 'pandrel l ' 'MODULE.MSM out pkgs setup.msi'
expect 'pandrel x -v s' 'setup.msi'
expect 'pandrel l pkgs/' 'pkgs/inner.msi'
expect 'pandrel x setup.msi *.txt ' 'out pkgs'
expect 'pandrel x setup.msi ' ''
[ "$failures" -eq 0 ] || exit 1
echo "PASS: pandrel completion"
