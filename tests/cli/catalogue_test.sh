#!/bin/sh
# Every text the tool marks for translation (_, N_, P_ in cli/) has a Spanish
# one in the catalogue: present, translated, not fuzzy, with the same {n}
# placeholders. A text added without its translation fails here.
# Usage: catalogue_test.sh CLI_DIR PO_FILE
set -eu
cli=$1
po=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
xgettext --from-code=UTF-8 --language=C++ --keyword=_ --keyword=N_ --keyword=P_:1,2 \
  --no-location -o "$tmp/quelbarix.pot" "$cli"/*.cpp "$cli"/*.h
msgcmp --no-fuzzy-matching "$po" "$tmp/quelbarix.pot"
awk '
  function text(line) { sub(/^[^"]*"/, "", line); sub(/"$/, "", line); return line }
  function marks(s, set,   n) {
    n = 0
    while (match(s, /\{[0-9]+\}/)) { set[substr(s, RSTART, RLENGTH)] = 1; n++; s = substr(s, RSTART + RLENGTH) }
    return n
  }
  function check(   i, k, want, have, same) {
    if (id == "") return
    marks(id, want)
    for (i = 1; i <= n; i++) {
      split("", have)
      marks(str[i], have)
      same = 1
      for (k in want) if (!(k in have)) same = 0
      for (k in have) if (!(k in want)) same = 0
      if (!same) { bad = bad "\n  " id; return }
    }
  }
  /^#/ { next }
  /^msgid / { check(); id = text($0); n = 0; part = "id"; next }
  /^msgid_plural / { part = "plural"; next }
  /^msgstr/ { str[++n] = text($0); part = "str"; next }
  /^"/ { if (part == "id") id = id text($0); else if (part == "str") str[n] = str[n] text($0) }
  END { check(); if (bad != "") { print "placeholders differ in:" bad > "/dev/stderr"; exit 1 } }
' "$po"
