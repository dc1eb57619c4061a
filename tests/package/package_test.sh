#!/usr/bin/env bash
# The packages as an author gets them, checked without installing them:
# - the .deb: lintian finds no error; unpacked into a scratch root (dpkg-deb
#   -x), its packer makes a Linux book that opens and closes itself, shows
#   one as a preview and leaves nothing behind, and makes a Windows book that
#   opens under Wine; its manual page renders; its bash completion completes.
# - the .zip: the three files; its packer, under Wine, makes a Windows book
#   with the viewer beside it.
# package_test.sh DEB ZIP WINE_RUN WINE_PREFIX   (needs a display)
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../archive/book_fixtures.sh"
deb=$(realpath "$1") zip=$(realpath "$2") wine_run=$(realpath "$3") prefix=$(realpath -m "$4")

[ -n "${DISPLAY:-}" ] || { echo "no display: run it under xvfb-run"; exit 1; }
for tool in lintian dpkg-deb man xdotool unzip; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps installs it)"; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  for started in "${pids[@]}"; do kill "$started" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

say() { echo "[${SECONDS}s] $*"; }

echo "== the .deb"
check "lintian finds no error" lintian --fail-on error "$deb"
check "it unpacks into a scratch root" dpkg-deb -x "$deb" root
for file in usr/bin/pagimor-pack usr/lib/pagimor/pagimor usr/lib/pagimor/pagimor.exe \
  usr/share/man/man1/pagimor-pack.1.gz usr/share/bash-completion/completions/pagimor-pack \
  usr/share/doc/pagimor/README.md usr/share/doc/pagimor/copyright usr/share/doc/pagimor/changelog.gz; do
  check "it holds /$file" test -s "root/$file"
done
check "it depends on the web engine it loads" says "libwebkit2gtk-4.1-0 | libwebkit2gtk-4.0-37" \
  dpkg-deb -f "$deb" Depends
pack=$PWD/root/usr/bin/pagimor-pack

# man's own warnings (groff's) go to stderr: a clean page has none.
render_man() {
  local out
  out=$(MANWIDTH=80 man --warnings -l root/usr/share/man/man1/pagimor-pack.1.gz 2>man.err) || return 1
  cat man.err
  [ ! -s man.err ] && grep -q "pagimor-pack - make, preview, list, extract and verify Pagimor books" <<<"$out" &&
    grep -q -- "--for SYSTEM" <<<"$out"
}
check "man -l renders the manual page without a warning" render_man

# What the completion offers for the words of a command line.
complete_words() {
  bash -c '
    source /usr/share/bash-completion/bash_completion
    source root/usr/share/bash-completion/completions/pagimor-pack
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
    COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
    _pagimor_pack pagimor-pack "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
    printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "
  ' completion "$@"
}
check "the completion offers the commands" says "create " complete_words pagimor-pack cr
check "create's options" says "--for " complete_words pagimor-pack create --f
check "and the systems for --for" says "linux windows " complete_words pagimor-pack create --for ""

# A book that closes itself once its page has run: proof that it opened.
mkdir quiz
cat >quiz/index.html <<'PAGE'
<!DOCTYPE html><html><head><meta http-equiv="X-UA-Compatible" content="IE=edge"><title>Quiz</title></head>
<body><p>Frage</p><script>setTimeout(function () { location.href = "about:blank"; }, 300);</script></body></html>
PAGE
printf 'p { color: teal }' >quiz/style.css

echo "== a Linux book from the unpacked packer"
check "create --for linux finds the viewer in ../lib/pagimor" says "a book for Linux: 2 files" \
  "$pack" create --for linux -o quiz.run quiz
check "the book holds the package's viewer" cmp -n "$(stat -c %s root/usr/lib/pagimor/pagimor)" \
  root/usr/lib/pagimor/pagimor quiz.run
mkdir tmp
check "it opens, shows its page and closes itself" env TMPDIR="$PWD/tmp" timeout 60 ./quiz.run
check "leaving no folder behind" test -z "$(ls -A tmp)"
check "preview opens the folder as a book and ends with its status" env TMPDIR="$PWD/tmp" timeout 60 \
  "$pack" preview quiz
check "and leaves nothing in the temporary directory" test -z "$(ls -A tmp)"
say "Linux book done"

echo "== a Windows book from the unpacked packer"
check "create --for windows takes pagimor.exe from ../lib/pagimor" says "a book for Windows: 2 files" \
  "$pack" create --for windows quiz
check "and names it quiz.exe" test -s quiz.exe
check "verify finds it sound, with no page in the old mode" says "a sound book of 2 files" "$pack" verify quiz.exe
# Wine has no HTML engine here, so the page does not close the book: it has
# opened once its own window shows; Ctrl+Q closes it.
open_windows_book() {
  local pid window status
  "$@" &
  pid=$!
  pids+=("$pid")
  window=$(timeout 90 xdotool search --sync --onlyvisible --name '^EBook$' | head -n 1)
  [ -n "$window" ] || { echo "the book's window did not show"; return 1; }
  # A key can be missed while both cores are busy: it is pressed again
  # every 10 s while the book still runs.
  for _ in 1 2 3 4 5 6; do
    xdotool windowfocus --sync "$window" 2>/dev/null
    xdotool key --clearmodifiers ctrl+q
    timeout 10 tail --pid="$pid" -f /dev/null && break
  done
  kill -0 "$pid" 2>/dev/null && { echo "Ctrl+Q did not end it"; return 1; }
  wait "$pid"
  status=$?
  [ "$status" -eq 0 ] || { echo "it ended with $status"; return 1; }
}
check "it opens under Wine and closes with Ctrl+Q" open_windows_book "$wine_run" "$prefix" quiz.exe
# preview finds wine on the PATH: a stand-in runs wine-run in the same
# prefix, with the PATH (where wine-run finds the real wine) and the
# temporary directory the test started with.
mkdir bin
if [ -n "${TMPDIR+set}" ]; then temp="export TMPDIR='$TMPDIR'"; else temp="unset TMPDIR"; fi
cat >bin/wine <<SHIM
#!/bin/sh
export PATH='$PATH'
$temp
exec '$wine_run' '$prefix' "\$@"
SHIM
chmod +x bin/wine
check "preview --for windows opens the book with wine" open_windows_book \
  env PATH="$PWD/bin:$PATH" TMPDIR="$PWD/tmp" "$pack" preview --for windows quiz
check "and leaves nothing in the temporary directory" test -z "$(ls -A tmp)"
say "Windows book done"

echo "== the .zip"
check "it unpacks" unzip -q "$zip" -d zip
folder=$(echo zip/pagimor-*-windows-x64)
check "it holds pagimor-pack.exe, pagimor.exe and the README" \
  test "$(cd "$folder" && ls | tr '\n' ' ')" = "README.md pagimor-pack.exe pagimor.exe "
check "its packer makes a Windows book with the viewer beside it" says "a book for Windows: 2 files" \
  "$wine_run" "$prefix" "$folder/pagimor-pack.exe" create -o zipbook.exe quiz
check "the book holds that viewer" cmp -n "$(stat -c %s "$folder/pagimor.exe")" "$folder/pagimor.exe" zipbook.exe
check "and names the Linux viewer it lacks" says "no Linux viewer (pagimor) found" \
  "$wine_run" "$prefix" "$folder/pagimor-pack.exe" create --for linux -o zipbook.run quiz
say "zip done"

checks_passed
