#!/bin/sh
# Every text the tool marks for translation (_, N_, P_ in cli/) has a Spanish
# one in the catalogue: present, translated, not fuzzy, with the same {n}
# placeholders (merged, an entry whose placeholders differ turns fuzzy).
# Usage: catalogue_test.sh CLI_DIR PO_FILE
set -eu
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
xgettext --from-code=UTF-8 --language=C++ --keyword=_ --keyword=N_ --keyword=P_:1,2 \
  --no-location -o - "$1"/*.cpp "$1"/*.h |
  awk '/^msgid /&&n++{print "#, python-brace-format"}1' >"$tmp/quelbarix.pot"
msgcmp --no-fuzzy-matching "$2" "$tmp/quelbarix.pot"
# The singular form checked as strictly as the plural ones.
sed "s/plural=[^;]*;/plural=n%2;/" "$2" >"$tmp/es.po"
msgmerge --no-fuzzy-matching -q "$tmp/es.po" "$tmp/quelbarix.pot" >"$tmp/merged.po"
msgfmt -c -o /dev/null "$tmp/merged.po"
! grep -A3 '^#, fuzzy' "$tmp/merged.po"
