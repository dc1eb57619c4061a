# Shell helpers for the tests that make and sign Windows books; sourced.

# A book folder at $1 with what makes books differ: names outside ASCII,
# sizes around the reader's 1024-byte blocks, an empty file, a file that
# holds the end-of-archive marker and so must not go last, and subfolders
# whose order of names differs from the order of their paths' bytes.
make_varied_folder() {
  local folder=$1
  mkdir -p "$folder"
  printf '<p>Frage</p>' >"$folder/index.html"
  head -c 1023 /dev/zero | tr '\0' 'a' >"$folder/a1023.txt"
  head -c 1025 /dev/zero | tr '\0' 'b' >"$folder/b1025.txt"
  : >"$folder/empty"
  # Put together here so that no test source holds a plain marker.
  printf 'data <<##QUOMAR%s more' 'EOF##>>' >"$folder/zz.bin"
  printf 'Звук' >"$folder/звук.wav"
  printf 'Bild' >"$folder/Bild_ä.gif"
  mkdir -p "$folder/img/ü" "$folder/img-x" "$folder/.git"
  printf 'tief' >"$folder/img/ü/tief.png"
  printf 'img' >"$folder/img/a.gif"
  printf 'x' >"$folder/img-x/b.gif"
  printf 'left out' >"$folder/.git/HEAD"
}

# A throwaway signing certificate: $1/key.pem and $1/cert.pem.
make_certificate() {
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1/key.pem" -out "$1/cert.pem" -days 2 \
    -subj "/CN=Pagimor test book" >/dev/null 2>&1
}

# Signs $2 into $3 with the certificate in $1.
sign_book() { osslsigncode sign -certs "$1/cert.pem" -key "$1/key.pem" -in "$2" -out "$3"; }

# True when the signature of $2 holds with the certificate in $1.
signature_holds() { osslsigncode verify -CAfile "$1/cert.pem" -in "$2"; }

# check WHAT COMMAND...: runs the command in the current folder, says "ok"
# or "FAILED" with its output, and counts; checks_passed prints the count
# in the closing line test runners read and fails when any check did.
passes=0 failures=0
check() {
  local what=$1
  shift
  if "$@" >check.log 2>&1; then
    echo "ok: $what"
    passes=$((passes + 1))
  else
    echo "FAILED: $what"
    sed 's/^/    /' check.log
    failures=$((failures + 1))
  fi
}
# says TEXT COMMAND...: the command's output, stdout and stderr, holds TEXT;
# whatever its exit status. Else the output is shown.
says() {
  local text=$1
  shift
  local out
  out=$("$@" 2>&1) || true
  grep -qF -- "$text" <<<"$out" || { echo "$out"; return 1; }
}
checks_passed() {
  echo "$passes passed, $failures failed"
  [ "$failures" -eq 0 ]
}
