#!/usr/bin/env bash
# pandrel.exe under wine on a package of names that test Windows' rules:
# what it writes, what it reports, a symbolic link standing in the target
# folder, and its output in a console window.
#
#   names_check.sh PANDREL_EXE MAKE_FIXTURE WINE_RUN
set -euo pipefail
windows=$1 make_fixture=$2 wine_run=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$make_fixture" host-names names.msi

passed=0 failed=0
check() {
  local what=$1
  shift
  if "$@"; then passed=$((passed + 1)); else
    echo "FAILED: $what"
    failed=$((failed + 1))
  fi
}
has_line() { tr -d '\r' <"$1" | grep -qxF -- "$2"; }

"$wine_run" "$windows" x names.msi '*' out >out.txt
names=out/SourceDir/Names
# Names that differ only in case are one place, and the later entry wins.
check "one taglib-sharp.dll, the later entry's" \
  test "$(find "$names" -maxdepth 1 -iname 'taglib-sharp.dll' | wc -l)" = 1
check "the later entry's bytes" grep -qx 'upper case, later: it wins' "$names/taglib-sharp.dll"
check "bin and Bin are one folder" \
  test "$(find "$names" -maxdepth 1 -iname bin | wc -l)" = 1
check "both files in it" test "$(find "$names" -maxdepth 2 -iname '*.exe' | wc -l)" = 2
# Names Windows cannot hold: under their File keys, each named in a line.
for key in Console Printer Port TrailingDot TrailingBlank Reserved InDevice; do
  check "$key under its File key" test -f "out/$key"
done
check "CON.txt named" has_line out.txt \
  'ERROR: "SourceDir\Names\CON.txt" is not a name the file system can hold: written under its File key "Console"'
check "no device or odd name in the tree" \
  test -z "$(find out/SourceDir -iname 'con.txt' -o -iname prn -o -iname 'com7*' -o -iname 'notes*' -o -iname 'aux')"
# Names that lead elsewhere: reported, never written.
for name in 'file.txt:hidden' 'c:evil.txt' '..\evil.txt'; do
  check "$name reported" has_line out.txt "ERROR: unsafe name \"SourceDir\\Names\\$name\""
done
check "nothing written for them" \
  test -z "$(find "$work" -name 'evil.txt' -o -name 'Stream' -o -name 'Drive' -o -name '*hidden*')"
# Non-ASCII names and a path past 1,000 characters.
check "the Chinese file" grep -q '中文内容' "$names/中文 文件夹/说明 readme.txt"
deep=$(find "$names" -name deep.txt)
check "the deep file" test -n "$deep" -a "${#deep}" -gt 1000
check "17 files placed" has_line out.txt "17/17 files"

# A symbolic link where a folder of the tree goes is not followed.
mkdir -p linked elsewhere
ln -s ../elsewhere linked/SourceDir
"$wine_run" "$windows" x names.msi '*' linked >linked.txt
check "the link reported" grep -q '^ERROR: symbolic link ".*SourceDir" is not followed' linked.txt
check "nothing written through it" test -z "$(ls -A elsewhere)"
check "the entries under their keys instead" test -f linked/Plain

# In a console window the characters come out right, whatever its code
# page; redirected, the bytes are the UTF-8 the native tool writes.
if command -v script >/dev/null; then
  LANG=C.UTF-8 script -qec "$wine_run $windows l names.msi '*readme*'" /dev/null >console.txt
  check "the console shows the Chinese name" grep -q '中文 文件夹\\说明 readme.txt' console.txt
else
  echo "SKIPPED: no script(1), so no console"
fi
"$wine_run" "$windows" l names.msi '*readme*' >redirected.txt
check "redirected output is UTF-8 with CR LF" \
  grep -q $'^SourceDir\\\\Names\\\\中文 文件夹\\\\说明 readme.txt\r$' redirected.txt

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
