# Sourced by the checks' own tests: a scratch folder ($tmp, removed on exit);
# expect runs the caller's run_check on it and counts surprises; finish is
# the test's status.
tmp=$(mktemp -d) || exit 2
trap 'rm -rf "$tmp"' EXIT
failures=0
# expect PASS|FAIL description
expect() {
  if run_check >"$tmp/out" 2>&1; then got=PASS; else got=FAIL; fi
  [ "$got" = "$1" ] || { echo "expected $1, got $got: $2"; cat "$tmp/out"; failures=$((failures + 1)); }
}
finish() { [ "$failures" -eq 0 ] && echo "all cases as expected"; }
