#!/bin/sh
# Holds each folder to the layers it may include: the compiler resolves every
# file's includes against a folder of links to the allowed folders only, and
# any "folder/file.h" it cannot find there is an include across a line.
# Usage: layering.sh ROOT CXX
#
# The table follows the targets' target_link_libraries (CMakeLists.txt).
# Not scanned: tests/ (tests reach anywhere), build/ and .git/.
set -u
root=${1:?usage: layering.sh ROOT CXX}
cxx=${2:?usage: layering.sh ROOT CXX}
root=$(cd "$root" && pwd) || exit 2

allowed() {
  case $1 in
    automation) echo automation ;;
    records) echo automation records ;;
    services) echo automation services ;;
    transfer) echo automation records services transfer ;;
    component) echo automation records services transfer component ;;
    suite) echo automation services suite ;;
    cli) echo automation records services transfer component suite cli ;;
    bench) echo automation records services transfer component suite bench ;;
  esac
}
project='automation|records|services|transfer|component|suite|cli|bench|tests'

views=$(mktemp -d) || exit 2
trap 'rm -rf "$views"' EXIT
status=0
for layer in automation records services transfer component suite cli bench; do
  [ -d "$root/$layer" ] || continue
  mkdir "$views/$layer"
  for dep in $(allowed "$layer"); do
    [ -d "$root/$dep" ] && ln -s "$root/$dep" "$views/$layer/$dep"
  done
  for file in $(find "$root/$layer" -type f \( -name '*.cpp' -o -name '*.h' \) | LC_ALL=C sort); do
    # -MG lists a header it cannot find as written, instead of failing.
    deps=$("$cxx" -std=c++20 -x c++ -MM -MG -iquote "$views/$layer" "$file") || {
      echo "${file#"$root"/}: the compiler could not read it"; status=1; continue; }
    across=$(printf '%s\n' "$deps" | tr ' \\' '\n\n' | grep -E "^($project)/" | LC_ALL=C sort -u)
    if [ -n "$across" ]; then
      echo "${file#"$root"/} ($layer may use: $(allowed "$layer")) includes:" $across
      status=1
    fi
  done
done
exit $status
