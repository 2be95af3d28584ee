#!/bin/sh
# The function-length check on made-up files: it passes a function of MAX
# lines and a long raw text, and catches a function one line longer, in a
# class as at file level. Usage: function_length_test.sh CHECK
set -u
check=${1:?usage: function_length_test.sh CHECK}
. "$(dirname "$0")/expect.sh"
run_check() { sh "$check" "$tmp/tree" 10 src; }
# body N: N statements with braces and quotes that must not count
body() { for i in $(seq "$1"); do echo '  f("}{", '"'}'"'); /* { */ // }'; done; }
fresh() {
  rm -rf "$tmp/tree" && mkdir -p "$tmp/tree/src"
  { echo 'namespace n {'; echo 'int Ten(int a,'; echo '        int b) {'; body 7; echo '}'
    echo 'const char* Text() {'; echo '  return R"sql('; body 20; echo ')sql";'; echo '}'
    echo '}  // namespace n'; } >"$tmp/tree/src/a.cpp"
}
fresh; expect PASS "ten lines, and a long raw text"
fresh; { echo 'void Eleven() {'; body 9; echo '}'; } >>"$tmp/tree/src/a.cpp"
expect FAIL "eleven lines at file level"
fresh; { echo 'class C {'; echo ' public:'; echo '  void Eleven() {'; body 9; echo '  }'; echo '};'; } >"$tmp/tree/src/c.h"
expect FAIL "eleven lines in a class"
finish
