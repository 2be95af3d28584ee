# Writes OUT, a header holding each of DIR's example documents as bytes, so
# that `quelbarix example KIND` prints exactly the file.
# Called as: cmake -DDIR=... -DOUT=... -DKINDS=a,b -P embed_examples.cmake
set(text "// Generated from examples/ by cli/embed_examples.cmake; do not edit.\n")
string(APPEND text "#pragma once\n#include <string_view>\n\nnamespace qbx::cli {\n\n")
string(REPLACE "," ";" KINDS "${KINDS}")
set(table "")
set(n 0)
foreach(kind IN LISTS KINDS)
  file(READ "${DIR}/${kind}.json" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
  string(APPEND text "inline constexpr char kExample${n}[] = {${bytes}'\\0'};\n")
  string(APPEND table "    {\"${kind}\", {kExample${n}, sizeof kExample${n} - 1}},\n")
  math(EXPR n "${n} + 1")
endforeach()
string(APPEND text "\nstruct Example {\n  std::string_view kind, text;\n};\n")
string(APPEND text "inline constexpr Example kExamples[] = {\n${table}};\n\n}  // namespace qbx::cli\n")
file(WRITE "${OUT}.tmp" "${text}")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
