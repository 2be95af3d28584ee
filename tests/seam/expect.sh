# Sourced by the checks' own tests: a scratch folder ($tmp, removed on exit),
# and expect, which runs the caller's run_check on it and counts surprises.

tmp=$(mktemp -d) || exit 2
trap 'rm -rf "$tmp"' EXIT
failures=0

# expect PASS|FAIL description
expect() {
  if run_check >"$tmp/out" 2>&1; then got=PASS; else got=FAIL; fi
  if [ "$got" != "$1" ]; then
    echo "expected $1, got $got: $2"
    cat "$tmp/out"
    failures=$((failures + 1))
  fi
}

# The test's status, last.
finish() {
  [ "$failures" -eq 0 ] && echo "all cases as expected"
  [ "$failures" -eq 0 ]
}
