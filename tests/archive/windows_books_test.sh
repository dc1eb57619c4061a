#!/usr/bin/env bash
# Windows books made on both systems, and signed afterwards. The Linux packer
# and pagimor-pack.exe under Wine pack one folder into the same bytes and read
# each other's books; a book signed with a throwaway certificate still lists,
# extracts and verifies, and its signature holds only while no byte changes.
#
# windows_books_test.sh HOST_PACKER WINDOWS_PACKER VIEWER WINE_RUN WINE_PREFIX
# VIEWER is any small Windows program that holds no marker.
set -euo pipefail
host=$1 windows=$2 viewer=$3 wine_run=$4 prefix=$5

if [ ! -x "$host" ]; then
  echo "no Linux packer at $host: build the default preset first"
  exit 77
fi
for tool in osslsigncode openssl cmp diff od dd; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps installs it)"; exit 1; }
done

source "$(dirname "${BASH_SOURCE[0]}")/book_fixtures.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

fails() { ! "$@"; }
winpack() { "$wine_run" "$prefix" "$windows" "$@"; }
# Lines as the Linux packer writes them: the Windows C runtime ends them with CR LF.
winpack_lines() { winpack "$@" | tr -d '\r'; }
same_output() { diff <("$host" "$@") <(winpack_lines "$@"); }
# Flips the low bit of the byte at an offset.
flip() {
  local file=$1 at=$2 byte
  byte=$(od -An -tu1 -j"$at" -N1 "$file" | tr -d ' ')
  printf "\\$(printf '%03o' $((byte ^ 1)))" | dd of="$file" bs=1 seek="$at" conv=notrunc status=none
}
size() { stat -c %s "$1"; }

make_varied_folder quiz
cp "$viewer" viewer.exe

echo "== packing"
check "the Linux packer makes a Windows book" "$host" create --viewer viewer.exe -o linux.exe quiz
check "pagimor-pack.exe makes one from the same folder" winpack create --viewer viewer.exe -o windows.exe quiz
check "the two are byte for byte the same" cmp linux.exe windows.exe
check "pagimor-pack.exe names it FOLDER.exe by default" winpack create --viewer viewer.exe quiz
check "under that name, with the same bytes" cmp linux.exe quiz.exe

echo "== reading under Wine"
check "list gives what the Linux packer lists" same_output list linux.exe
check "verify finds it sound" winpack verify linux.exe
check "extract gives the folder's files" winpack extract linux.exe out-windows
check "byte for byte, the tree without what is left out" diff -r -x .git quiz out-windows

echo "== refusals under Wine"
mkdir cases
printf 'x' >cases/index.html
printf 'x' >cases/Index.html
check "names that differ only in letter case are refused" \
  says "the names differ only in letter case" winpack create --viewer viewer.exe -o cases.exe cases
check "and no book is left" fails test -e cases.exe
check "a book inside its folder is refused" says "would be inside the folder" \
  winpack create --viewer viewer.exe -o 'QUIZ\book.exe' quiz
check "so is a book over its viewer, named in capitals" says "is the viewer" \
  winpack create --viewer viewer.exe -o VIEWER.EXE quiz

echo "== signing"
make_certificate .
check "osslsigncode signs the book" sign_book . linux.exe signed.exe
check "its signature holds" signature_holds . signed.exe
check "the signed book lists the same files" diff <("$host" list linux.exe) <("$host" list signed.exe)
check "and under Wine" diff <("$host" list linux.exe) <(winpack_lines list signed.exe)
check "extract gives the same files" "$host" extract signed.exe out-signed
check "byte for byte" diff -r -x .git quiz out-signed
check "verify says it is signed" says ", signed (a certificate table of" "$host" verify signed.exe
check "and so under Wine" says ", signed (a certificate table of" winpack verify signed.exe

echo "== what breaks the signature"
viewer_size=$(size viewer.exe)
book_size=$(size linux.exe)
signed_size=$(size signed.exe)
# The program's headers, the archive's header marker, its last byte, the
# zeros that align the table (when there are any), the table itself, and a
# byte in every 8 KiB between them.
offsets="200 $viewer_size $((viewer_size + 40)) $((book_size - 1)) $((signed_size - 300))"
if [ $((book_size % 8)) -ne 0 ]; then offsets+=" $book_size"; fi
for ((at = 4096; at < signed_size; at += 8192)); do offsets+=" $at"; done
broken=0 kept=""
for at in $offsets; do
  cp signed.exe changed.exe
  flip changed.exe "$at"
  if signature_holds . changed.exe >/dev/null 2>&1; then kept+=" $at"; else broken=$((broken + 1)); fi
done
check "each of $broken changed bytes breaks the signature" test -z "$kept"
[ -z "$kept" ] || echo "    the signature held with a byte changed at:$kept"
# The file checksum is the one field outside the signed digest, by design;
# a changed one is still reported.
pe_header=$(od -An -tu4 -j60 -N4 signed.exe | tr -d ' ')
cp signed.exe changed.exe
flip changed.exe $((pe_header + 24 + 64))
check "a changed checksum is reported" says "invalid PE checksum" signature_holds . changed.exe
cp signed.exe longer.exe
printf 'x' >>longer.exe
check "a byte added after the signature is no signature" says "bytes follow the SHA-256 digest after the end-of-archive marker" \
  "$host" verify longer.exe
mkdir quiz2
cp -r quiz/. quiz2/
printf '<p>Andere Frage</p>' >quiz2/index.html
check "a book packed again is unsigned" "$host" create --viewer viewer.exe -o repacked.exe quiz2
check "so no signature holds" fails signature_holds . repacked.exe
check "and verify calls it unsigned" fails says ", signed (" "$host" verify repacked.exe

echo "== a signed viewer"
sign_book . viewer.exe signed-viewer.exe >/dev/null
check "packs on Linux" "$host" create --viewer signed-viewer.exe -o from-signed-viewer.exe quiz
check "and under Wine into the same bytes" winpack create --viewer signed-viewer.exe -o from-signed-viewer-w.exe quiz
check "byte for byte" cmp from-signed-viewer.exe from-signed-viewer-w.exe
check "without the viewer's broken signature" fails signature_holds . from-signed-viewer.exe
check "verify finds it sound" "$host" verify from-signed-viewer.exe
check "and unsigned" fails says ", signed (" "$host" verify from-signed-viewer.exe
check "it can be signed afresh" sign_book . from-signed-viewer.exe resigned.exe
check "and that signature holds" signature_holds . resigned.exe
check "verify says it is signed" says ", signed (a certificate table of" "$host" verify resigned.exe
# A signed viewer with an archive put after it by other means.
{ cat signed-viewer.exe; tail -c +$((viewer_size + 1)) linux.exe; } >by-hand.exe
check "a signature before the archive is flagged" says "the viewer's signature lies before the archive" \
  "$host" verify by-hand.exe

checks_passed
