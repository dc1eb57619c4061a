#!/usr/bin/env bash
# The Windows viewer as a reader runs it, under Wine on the display ctest is
# given: a book packed by the host's packer opens its window with the files
# in place, Ctrl+Q ends it with exit code 0 and its folder gone; the bare
# viewer, which holds no book, says so and ends with 0 after Return.
#   program_test.sh VIEWER WINE_RUN WINE_PREFIX SOURCE_DIR
set -uo pipefail
viewer=$1 wine_run=$2 prefix=$3 source=$4
skip=77

packer=
for build in release default; do
  if [ -x "$source/build/$build/pagimor-pack" ]; then packer=$source/build/$build/pagimor-pack; break; fi
done
if [ -z "$packer" ]; then
  echo "no packer built for this machine (build/release or build/default): skipped"
  exit $skip
fi
command -v xdotool >/dev/null || { echo "xdotool is not installed: skipped"; exit $skip; }
[ -n "${DISPLAY:-}" ] || { echo "no display: skipped"; exit $skip; }

work=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

mkdir -p "$work/tmp" "$work/src"
# A host path as Wine names it: Z: is the host's root.
windows_path() { local path=${1//\//\\}; echo "Z:$path"; }
# Runs a program of this machine's with the book's own temporary directory.
# Wine takes a first program's TEMP and TMP from its registry; a program
# started by another gets them from its parent.
run_with_temp() {
  local temp
  temp=$(windows_path "$work/tmp")
  "$wine_run" "$prefix" cmd /c "set TMP=$temp&& set TEMP=$temp&& $(windows_path "$1")"
}
printf '<html><body><p>Quiz</p></body></html>' >"$work/src/index.html"
printf 'p { color: teal }' >"$work/src/style.css"
head -c 70000 /dev/urandom >"$work/src/picture.bin"
"$packer" create --viewer "$viewer" -o "$work/book.exe" "$work/src" >/dev/null || fail "the packer refused the book"

# Waits up to $2 seconds for a visible window of the program titled $1.
find_window() {
  local id
  for _ in $(seq 1 $(($2 * 2))); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1)
    if [ -n "$id" ]; then echo "$id"; return 0; fi
    sleep 0.5
  done
  return 1
}

run_with_temp "$work/book.exe" &
pid=$!
window=$(find_window EBook 90) || fail "the viewer window did not open"
folders=("$work"/tmp/zel*VXEbook)
[ ${#folders[@]} -eq 1 ] && [ -d "${folders[0]}" ] || fail "expected one book folder, found: ${folders[*]}"
for file in index.html style.css picture.bin; do
  cmp -s "$work/src/$file" "${folders[0]}/$file" || fail "$file differs from its source in the book folder"
done
[ "$(ls "${folders[0]}" | wc -l)" -eq 3 ] || fail "the book folder holds more than the book: $(ls "${folders[0]}")"
xdotool windowfocus --sync "$window" 2>/dev/null
xdotool key --clearmodifiers ctrl+q
timeout 60 tail --pid="$pid" -f /dev/null || fail "Ctrl+Q did not end the viewer"
wait "$pid"
status=$?
pid=
[ "$status" -eq 0 ] || fail "the viewer ended with $status"
[ ! -e "${folders[0]}" ] || fail "the book folder was left behind"

# The bare viewer holds no book.
run_with_temp "$viewer" &
pid=$!
dialog=$(find_window Error 60) || fail "the corrupt-book message did not show"
xdotool windowfocus --sync "$dialog" 2>/dev/null
xdotool key --clearmodifiers Return
timeout 60 tail --pid="$pid" -f /dev/null || fail "Return did not end the bare viewer"
wait "$pid"
status=$?
pid=
[ "$status" -eq 0 ] || fail "the bare viewer ended with $status"
[ -z "$(ls "$work/tmp")" ] || fail "the bare viewer wrote into the temporary directory: $(ls "$work/tmp")"
echo "passed"
