#!/usr/bin/env bash
# The Windows viewer as a reader runs it, under Wine on the display ctest is
# given: a book packed by the host's packer shows its loading window before
# any folder is made, then its window with the files in place and the
# loading window gone; Ctrl+Q ends it with exit code 0 and its folder gone.
# So does such a book signed afterwards.
# The bare viewer, which holds no book, says so and ends with 0 after Return.
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
for tool in osslsigncode openssl; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps installs it)"; exit 1; }
done
[ -n "${DISPLAY:-}" ] || { echo "no display: skipped"; exit $skip; }

work=$(mktemp -d)
pid=
cleanup() {
  local status=$?
  if [ -n "$pid" ]; then
    kill "$pid" 2>/dev/null
    # The book is a process of its own under the one that started it: a
    # failed test ends every program of its prefix, so that none is left
    # holding the display or the folder.
    [ "$status" -ne 0 ] && WINEPREFIX=$prefix wineserver -k 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

mkdir -p "$work/tmp"
# A host path as Wine names it: Z: is the host's root.
windows_path() { local path=${1//\//\\}; echo "Z:$path"; }
# Starts a program of this machine's in the background with the book's own
# temporary directory; its process is $pid. Wine takes a first program's
# TEMP and TMP from its registry; a program started by another gets them
# from its parent.
start_with_temp() {
  local temp
  temp=$(windows_path "$work/tmp")
  "$wine_run" "$prefix" cmd /c "set TMP=$temp&& set TEMP=$temp&& $(windows_path "$1")" &
  pid=$!
}
# Waits for the program started last to end, at most $2 seconds, and
# requires exit code 0; $1 says what should have ended it.
expect_end() {
  local status
  timeout "$2" tail --pid="$pid" -f /dev/null || fail "$1 did not end the viewer"
  wait "$pid"
  status=$?
  pid=
  [ "$status" -eq 0 ] || fail "the viewer ended after $1 with $status"
}

# A visible window of the program whose title matches the pattern $1, after
# up to $2 seconds, polled every ${3:-0.5} seconds; none once the program
# has ended.
find_window() {
  local id deadline=$((SECONDS + $2))
  while [ "$SECONDS" -le "$deadline" ]; do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)
    if [ -n "$id" ]; then echo "$id"; return 0; fi
    kill -0 "$pid" 2>/dev/null || return 1
    sleep "${3:-0.5}"
  done
  return 1
}

loading='^Loading - Please wait\.\.\.$'
# The titles of the visible windows, for a failure's message.
on_screen() {
  local id
  for id in $(xdotool search --onlyvisible --name . 2>/dev/null); do printf '"%s" ' "$(xdotool getwindowname "$id")"; done
}
# The viewer's window, after up to $1 seconds. Its plain messages are titled
# "EBook" too, but they show while the loading window is still there, and the
# viewer's window opens only once that is gone.
viewer_window() {
  local id deadline=$((SECONDS + $1))
  while [ "$SECONDS" -le "$deadline" ]; do
    id=$(xdotool search --onlyvisible --name '^EBook$' 2>/dev/null | head -n 1)
    if [ -n "$id" ] && [ -z "$(xdotool search --name "$loading" 2>/dev/null)" ]; then echo "$id"; return 0; fi
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.5
  done
  return 1
}
# Focuses a window and sends it keys.
press() {
  xdotool windowfocus --sync "$1" 2>/dev/null
  xdotool key --clearmodifiers "$2"
}
book_folders() { compgen -G "$work/tmp/zel*VXEbook"; }

# Opens the book $1 made of the folder $2, checks its files in the book
# folder, and closes it with Ctrl+Q.
open_and_close() {
  local book=$1 folder=$2 window folders file
  start_with_temp "$book"
  # The loading window stands a second before the folder is made.
  find_window "$loading" 90 0.1 >/dev/null || fail "the loading window did not show"
  [ -z "$(book_folders)" ] || fail "the book folder was made before the loading window showed"
  window=$(viewer_window 60) || fail "the viewer window did not open, with the loading window gone; on screen: $(on_screen)"
  mapfile -t folders < <(book_folders)
  [ ${#folders[@]} -eq 1 ] && [ -d "${folders[0]}" ] || fail "expected one book folder, found: ${folders[*]}"
  for file in "$folder"/*; do
    cmp -s "$file" "${folders[0]}/${file##*/}" || fail "${file##*/} differs from its source in the book folder"
  done
  diff <(ls -A "$folder") <(ls -A "${folders[0]}") >/dev/null ||
    fail "the book folder does not hold the book's files alone: $(ls -A "${folders[0]}")"
  press "$window" ctrl+q
  expect_end "Ctrl+Q" 60
  [ ! -e "${folders[0]}" ] || fail "the book folder was left behind"
}

mkdir "$work/src"
printf '<html><body><p>Quiz</p></body></html>' >"$work/src/index.html"
printf 'p { color: teal }' >"$work/src/style.css"
head -c 70000 /dev/urandom >"$work/src/picture.bin"
"$packer" create --viewer "$viewer" -o "$work/book.exe" "$work/src" >/dev/null || fail "the packer refused the book"
open_and_close "$work/book.exe" "$work/src"

# Signed after packing, as an author ships it, with a folder that has what
# makes books differ: names outside ASCII, sizes around the reader's
# 1024-byte blocks, an empty file, and a file holding the end-of-archive
# marker, which must not go last.
mkdir "$work/signed"
cp "$work/src/index.html" "$work/signed/"
for size in 1023 1024 1025; do head -c "$size" /dev/urandom >"$work/signed/block$size.bin"; done
: >"$work/signed/empty"
printf 'data <<##QUOMAR%s more' 'EOF##>>' >"$work/signed/zz.bin"
printf 'Звук' >"$work/signed/звук.wav"
printf 'Bild' >"$work/signed/Bild_ä.gif"
"$packer" create --viewer "$viewer" -o "$work/unsigned.exe" "$work/signed" >/dev/null ||
  fail "the packer refused the book to sign"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
  -subj "/CN=Pagimor test book" >/dev/null 2>&1 || fail "openssl made no certificate"
osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -in "$work/unsigned.exe" -out "$work/signed.exe" \
  >/dev/null || fail "osslsigncode did not sign the book"
osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed.exe" >/dev/null || fail "the book's signature does not hold"
open_and_close "$work/signed.exe" "$work/signed"

# The bare viewer holds no book.
start_with_temp "$viewer"
dialog=$(find_window '^Error$' 60) || fail "the corrupt-book message did not show"
press "$dialog" Return
expect_end "Return" 60
[ -z "$(ls "$work/tmp")" ] || fail "the bare viewer wrote into the temporary directory: $(ls "$work/tmp")"
echo "passed"
