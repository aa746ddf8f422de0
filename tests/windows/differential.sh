#!/usr/bin/env bash
# The Windows build against the native one, package by package: pandrel.exe
# under wine must print what the native pandrel prints for l and r, and for
# x write the same tree (path, size, sha256, last-write time) with the same
# lines, "\" for "/" in paths aside.
#
#   differential.sh NATIVE_PANDREL PANDREL_EXE MAKE_FIXTURE WINE_RUN CORPUS_DIR
#
# The packages: the fixture writer's sample (its cabinet inside and beside
# it), a package of many files in nested folders, and every package of the
# shared corpus (skipped, and said so, where the corpus is absent).
set -euo pipefail
native=$1 windows=$2 make_fixture=$3 wine_run=$4 corpus=$5

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir -p packages/inside packages/beside packages/files
"$make_fixture" sample packages/inside/sample.msi
"$make_fixture" sample-external packages/beside/sample.msi
"$make_fixture" files 300 7 packages/files/files.msi
list=(packages/inside/sample.msi packages/beside/sample.msi packages/files/files.msi)
if compgen -G "$corpus/*.msi" >/dev/null; then
  mkdir -p packages/corpus
  cp "$corpus"/*.msi "$corpus"/*.cab packages/corpus/ 2>/dev/null || true
  for package in packages/corpus/*.msi; do list+=("$package"); done
else
  echo "SKIPPED: the shared corpus ($corpus) is absent; fixtures only"
fi

failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

# Paths as the native build prints them: "/" for "\", and the target folder
# named <T> whatever host spelling it has.
as_native() {
  local target_native=$1 target_windows=$2
  sed -e "s#$(printf '%s' "$target_windows" | sed 's/[\\.]/\\&/g')#<T>/#g" \
      -e 's#\\#/#g' -e "s#$target_native#<T>/#g"
}

tree_of() {
  (cd "$1" && find . -type f -printf '%P\t%s\t%TY-%Tm-%Td %TH:%TM:%TS\n' | sort |
     while IFS=$'\t' read -r path size time; do
       printf '%s\t%s\t%s\t%s\n' "$path" "$size" "$(sha256sum <"$path" | cut -c1-64)" "$time"
     done)
}

n=0
for package in "${list[@]}"; do
  n=$((n + 1))
  for command in "l" "l *.exe" "r" "l -v"; do
    read -r -a words <<<"$command"
    args=("${words[0]}")
    [ "${#words[@]}" -gt 1 ] && [ "${words[1]}" = "-v" ] && args+=(-v)
    args+=("$package")
    [ "${#words[@]}" -gt 1 ] && [ "${words[1]}" != "-v" ] && args+=("${words[1]}")
    native_code=0 windows_code=0
    "$native" "${args[@]}" >native.out 2>/dev/null || native_code=$?
    "$wine_run" "$windows" "${args[@]}" >windows.out 2>/dev/null || windows_code=$?
    [ "$native_code" = "$windows_code" ] || fail "$package $command: exit $native_code vs $windows_code"
    if [ "${words[0]}" = "r" ]; then
      cmp -s native.out windows.out || fail "$package $command: the registry scripts differ"
    else
      sed 's#\\#/#g' windows.out >windows.norm
      cmp -s native.out windows.norm || {
        fail "$package $command: the listings differ"
        diff native.out windows.norm | head -5
      }
    fi
  done
  # x -v into a folder of each build's own.
  mkdir -p "out-native/$n" "out-windows/$n"
  "$native" x -v "$package" '*' "out-native/$n" >native.out 2>/dev/null || true
  "$wine_run" "$windows" x -v "$package" '*' "out-windows/$n" >windows.out 2>/dev/null || true
  as_native "$work/out-native/$n/" "Z:${work//\//\\}\\out-windows\\$n\\" <windows.out >windows.norm
  as_native "$work/out-native/$n/" "unused" <native.out >native.norm
  cmp -s native.norm windows.norm || {
    fail "$package x -v: the lines differ"
    diff native.norm windows.norm | head -5
  }
  tree_of "out-native/$n" >native.tree
  tree_of "out-windows/$n" >windows.tree
  cmp -s native.tree windows.tree || {
    fail "$package x: the trees differ"
    diff native.tree windows.tree | head -5
  }
done

echo "$((n * 5 - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
