# What the converters' cross-check scripts share (sourced by them; they are
# run by hand, never by the tests): the documents a generator writes, in a
# scratch folder, and a line a document with each reader's verdict.

set -euo pipefail

status=0     # 1 once a reader finds other words than a document's
confirmed=0  # a reader found the current document's words
line=        # the current document's line

# xcstart GENERATOR: writes the generator's documents into a fresh folder,
# removed at the end, and works there.
xcstart() {
  local gen
  gen=$(realpath "$1")
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  "$gen" "$work"
  cd "$work"
}

# xcwords: the words of standard input, lower-cased, one a line: runs of
# ASCII letters and digits; nothing for a text without any.
xcwords() { tr -c 'A-Za-z0-9' '\n' | grep -v '^$' | tr 'A-Z' 'a-z' || true; }

# xcdoc NAME: starts the line of a document.
xcdoc() {
  line="$1:"
  confirmed=0
}

# xcverdict READER FOUND WANT: adds a reader's verdict to the line: refused
# (it found no words), same, or DIFFERENT, which fails the check.
xcverdict() {
  if [ -z "$2" ]; then
    line="$line $1=refused"
  elif [ "$2" = "$3" ]; then
    line="$line $1=same"
    confirmed=1
  else
    line="$line $1=DIFFERENT"
    status=1
  fi
}
