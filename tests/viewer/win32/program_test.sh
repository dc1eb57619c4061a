#!/usr/bin/env bash
# The Windows viewer as a reader runs it, under Wine on the display ctest is
# given:
# - a book packed by the host's packer shows its loading window before any
#   folder is made, then its own window with the files in place and the
#   loading window gone; Ctrl+Q ends it with exit code 0 and its folder gone.
#   So does such a book signed afterwards.
# - books that name an entry so that it would land outside the book folder
#   or on a device are refused: the message says so, its OK ends the viewer
#   with 0, nothing is written beside the folder, and the folder is gone.
#   The bare viewer, which holds no book, says that and writes nothing.
#   program_test.sh VIEWER WINE_RUN WINE_PREFIX SOURCE_DIR DIALOG_PROBE
set -uo pipefail
viewer=$1 wine_run=$2 prefix=$3 source=$4 probe=$5
source "$source/tests/archive/book_fixtures.sh"
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
pids=()
wm=
cleanup() {
  local status=$? running=
  for started in "${pids[@]}"; do
    kill -0 "$started" 2>/dev/null && running=1 && kill "$started" 2>/dev/null
  done
  # A book is a process of its own under the one that started it: a failed
  # test ends every program of its prefix, so that none is left holding the
  # display or a folder.
  [ -n "$running" ] && [ "$status" -ne 0 ] && WINEPREFIX=$prefix wineserver -k 2>/dev/null
  [ -n "$wm" ] && kill "$wm" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
# Progress, with the seconds since the start, to show where the time goes.
say() { echo "[${SECONDS}s] $*"; }

# With no window manager on the display, Wine waits some two seconds for one
# whenever it hides a window. A display without one gets openbox for the
# test, with its own settings; without openbox the test runs just slower.
# A display that resets when its last client leaves (xvfb-run's, unless
# given -noreset) refuses connections for that moment: openbox gets three
# tries.
has_window_manager() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
start_window_manager() {
  local try
  mkdir -p "$work/wm"
  for try in 1 2 3; do
    XDG_CONFIG_HOME=$work/wm XDG_CACHE_HOME=$work/wm openbox --sm-disable >"$work/wm/log" 2>&1 &
    wm=$!
    for _ in $(seq 1 30); do
      has_window_manager && return 0
      kill -0 "$wm" 2>/dev/null || break
      sleep 0.1
    done
    kill "$wm" 2>/dev/null
    wm=
    sleep 0.5
  done
  echo "openbox did not start: $(cat "$work/wm/log"); going on without a window manager"
}
if command -v openbox >/dev/null && command -v xprop >/dev/null && ! has_window_manager; then
  start_window_manager
fi

# A host path as Wine names it: Z: is the host's root.
windows_path() { local path=${1//\//\\}; echo "Z:$path"; }
# Starts a program of this machine's in the background with the temporary
# directory $2 (by default $work/tmp) and its output into $3; its process is
# $pid. Wine takes a first program's TEMP and TMP from its registry; a
# program started by another gets them from its parent.
start_with_temp() {
  local temp
  temp=$(windows_path "${2:-$work/tmp}")
  "$wine_run" "$prefix" cmd /c "set TMP=$temp&& set TEMP=$temp&& $(windows_path "$1")" >"${3:-/dev/null}" &
  pid=$!
  pids+=("$pid")
}
# Waits for the program $3 (by default the one started last) to end, at most
# $2 seconds, and requires exit code 0; $1 says what should have ended it.
expect_end() {
  local status ended=${3:-$pid}
  timeout "$2" tail --pid="$ended" -f /dev/null || fail "$1 did not end the viewer"
  wait "$ended"
  status=$?
  [ "$ended" = "$pid" ] && pid=
  [ "$status" -eq 0 ] || fail "the viewer ended after $1 with $status"
}

# The visible windows whose titles match the pattern $1.
windows_named() { xdotool search --onlyvisible --name "$1" 2>/dev/null; }
# A visible window of the program whose title matches the pattern $1, after
# up to $2 seconds, polled every ${3:-0.5} seconds; none once the program
# has ended.
find_window() {
  local id deadline=$((SECONDS + $2))
  while [ "$SECONDS" -le "$deadline" ]; do
    id=$(windows_named "$1" | head -n 1)
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
  for id in $(windows_named .); do printf '"%s" ' "$(xdotool getwindowname "$id")"; done
}
# The viewer's window, after up to $1 seconds. Its plain messages are titled
# "EBook" too, but they show while the loading window is still there, and the
# viewer's window opens only once that is gone.
viewer_window() {
  local id deadline=$((SECONDS + $1))
  while [ "$SECONDS" -le "$deadline" ]; do
    id=$(windows_named '^EBook$' | head -n 1)
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
# The book folders in the temporary directory $1.
book_folders() { compgen -G "${1:-$work/tmp}/zel*VXEbook"; }

# Opens the book $1 made of the folder $2, checks its files in the book
# folder, and closes it with Ctrl+Q.
open_and_close() {
  local book=$1 folder=$2 window folders file
  start_with_temp "$book"
  # The loading window stands a second before the folder is made.
  find_window "$loading" 90 0.1 >/dev/null || fail "the loading window did not show"
  [ -z "$(book_folders)" ] || fail "the book folder was made before the loading window showed"
  say "the loading window shows"
  window=$(viewer_window 60) || fail "the viewer window did not open, with the loading window gone; on screen: $(on_screen)"
  say "the viewer window shows"
  mapfile -t folders < <(book_folders)
  [ ${#folders[@]} -eq 1 ] && [ -d "${folders[0]}" ] || fail "expected one book folder, found: ${folders[*]}"
  # The whole tree as packed, and nothing else; what the packer leaves out
  # by default is not there.
  diff -r -x .git "$folder" "${folders[0]}" >/dev/null ||
    fail "the book folder does not hold the book's tree alone, as packed: $(cd "${folders[0]}" && find . | sort)"
  press "$window" ctrl+q
  expect_end "Ctrl+Q" 60
  say "Ctrl+Q ended it"
  [ ! -e "${folders[0]}" ] || fail "the book folder was left behind"
}

mkdir -p "$work/tmp" "$work/src"
printf '<html><body><p>Quiz</p></body></html>' >"$work/src/index.html"
printf 'p { color: teal }' >"$work/src/style.css"
head -c 70000 /dev/urandom >"$work/src/picture.bin"
"$packer" create --viewer "$viewer" -o "$work/book.exe" "$work/src" >/dev/null || fail "the packer refused the book"
say "a book"
open_and_close "$work/book.exe" "$work/src"

# Signed after packing, as an author ships it, with a folder that has what
# makes books differ.
make_varied_folder "$work/signed"
"$packer" create --viewer "$viewer" -o "$work/unsigned.exe" "$work/signed" >/dev/null ||
  fail "the packer refused the book to sign"
make_certificate "$work" || fail "openssl made no certificate"
sign_book "$work" "$work/unsigned.exe" "$work/signed.exe" >/dev/null || fail "osslsigncode did not sign the book"
signature_holds "$work" "$work/signed.exe" >/dev/null || fail "the book's signature does not hold"
say "a signed book"
open_and_close "$work/signed.exe" "$work/signed"

# Refused books, all at once: each waits at its message until it is closed.
# The packer makes no book with such names, so these are written here as the
# reader reads them: index.html first, which is written, then the entry
# whose name is refused, holding a text that must turn up nowhere.
marker() { printf '<<##QUOMAR%s' "$1"; }
# A name as the archive holds it: its UTF-16 units in hex.
hex_name() {
  local i
  for ((i = 0; i < ${#1}; i++)); do printf '%04X' "'${1:i:1}"; done
}
refused_book() {
  cat "$viewer"
  marker '1.0##>>'
  printf 2
  marker 'FILE('
  hex_name index.html
  printf ')##>>'
  cat "$work/src/index.html"
  marker '-->>>'
  marker 'FILE('
  hex_name "$1"
  printf ')##>>%s' "$2"
  marker 'EOF##>>'
}
# Up a level, two levels, into a folder, a device with and without an
# extension, another drive.
refused_names=('..\x' '..\..\x' 'a\b' 'CON' 'nul.txt' 'C:x')
cases=()
for i in "${!refused_names[@]}"; do
  case=$work/refused/$i
  mkdir -p "$case/tmp"
  refused_book "${refused_names[i]}" "escaped from case $i" >"$case/book.exe"
  # The reader the viewer is built from finds nothing else wrong with it.
  verdict=$("$packer" verify "$case/book.exe" 2>&1)
  grep -qF "entry 2: the name cannot be read or is not a plain file name" <<<"$verdict" ||
    fail "the book naming ${refused_names[i]} is not refused for that name alone: $verdict"
  cases+=("$case")
done
bare=$work/refused/bare
mkdir -p "$bare/tmp"
cp "$viewer" "$bare/book.exe"
cases+=("$bare")

say "refused books and the bare viewer"
declare -A before started
for case in "${cases[@]}"; do
  before[$case]=$(ls -A "$case")
  start_with_temp "$case/book.exe" "$case/tmp" "$case.output"
  started[$case]=$pid
done
deadline=$((SECONDS + 90))
while [ "$(windows_named '^Error$' | wc -l)" -lt ${#cases[@]} ]; do
  [ -z "$(windows_named '^EBook$')" ] || fail "a refused book went on past its message; on screen: $(on_screen)"
  for case in "${cases[@]}"; do
    kill -0 "${started[$case]}" 2>/dev/null || fail "the viewer of $case ended before its message was closed"
  done
  [ "$SECONDS" -le "$deadline" ] || fail "not every refused book showed its message; on screen: $(on_screen)"
  sleep 0.5
done
for i in "${!refused_names[@]}"; do
  case=$work/refused/$i
  mapfile -t folders < <(book_folders "$case/tmp")
  [ ${#folders[@]} -eq 1 ] || fail "${refused_names[i]}: expected one book folder, found: $(ls -A "$case/tmp")"
  [ "$(ls -A "${folders[0]}")" = index.html ] && cmp -s "$work/src/index.html" "${folders[0]}/index.html" ||
    fail "${refused_names[i]}: the folder holds more or other than the entry before: $(ls -A "${folders[0]}")"
done
[ -z "$(ls -A "$bare/tmp")" ] || fail "the bare viewer wrote into the temporary directory: $(ls -A "$bare/tmp")"

say "every message shows"
# Each message read and answered from inside Wine, where the probe sees
# which book shows it; one it missed is read on its next round.
messages=
all_read() {
  local case
  for case in "${cases[@]}"; do grep -qiF "$(windows_path "$case/book.exe")"$'\t' <<<"$messages" || return 1; done
}
deadline=$((SECONDS + 30))
until all_read; do
  [ "$SECONDS" -le "$deadline" ] || fail "the probe did not find every message: $messages"
  messages+=$("$wine_run" "$prefix" "$probe" Error | tr -d '\r')$'\n'
  all_read || sleep 0.5
done
bad_name="There was an error reading the ebook. The included filename could not be read. Closing program."
corrupt="This ZEL-Software EBook seems to be corrupt. Closing program."
say "every message is read and answered"
for i in "${!cases[@]}"; do
  case=${cases[i]}
  what=${refused_names[i]:-"the bare viewer"}
  expected=$bad_name
  [ "$case" = "$bare" ] && expected=$corrupt
  said=$(grep -iF "$(windows_path "$case/book.exe")"$'\t' <<<"$messages" | head -n 1 | cut -f 2-)
  [ "$said" = "$expected" ] || fail "$what: the message says \"$said\", not \"$expected\"; all of them: $messages"
done
for i in "${!cases[@]}"; do
  case=${cases[i]}
  what=${refused_names[i]:-"the bare viewer"}
  expect_end "OK on the message of $what" 60 "${started[$case]}"
  [ -z "$(ls -A "$case/tmp")" ] || fail "$what: the temporary directory is left holding $(ls -A "$case/tmp")"
  [ "$(ls -A "$case")" = "${before[$case]}" ] ||
    fail "$what: something was written beside the book folder: $(ls -A "$case")"
  ! grep -q "escaped from" "$case.output" || fail "$what: the entry went to the console"
done
say "passed"
