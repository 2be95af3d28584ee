#!/bin/sh
# Keeps functions short enough to read at once: no function body in the
# given folders runs past MAX lines, from the line its declaration starts on
# to its closing brace (lambdas and local classes count towards the function
# around them). Usage: function_length.sh ROOT MAX FOLDER...
#
# It reads clang-formatted C++ by its braces: texts, characters and comments
# are left out first; a brace opened directly inside a namespace, class,
# struct or at file level whose declaration has a parenthesis and no '=' is
# a function. Lines inside a raw text (R"sql(...)sql", a schema) are data,
# not steps, and do not count; nor does an access specifier's line.
set -u
cd "${1:?usage: function_length.sh ROOT MAX FOLDER...}" && max=${2:?no MAX} && shift 2 || exit 2
for folder; do [ -d "$folder" ] || { echo "no folder $folder"; exit 2; }; done
find "$@" -type f \( -name '*.cpp' -o -name '*.h' \) -exec awk -v max="$max" '
  FNR == 1 { depth = 0; head = ""; at = 0; comment = 0; raw = ""; data = 0 }
  {
    line = $0
    if (raw != "") {  # inside a raw text: data up to and with its closing line
      ++data
      if (!(i = index(line, raw))) next
      line = substr(line, i + length(raw)); raw = ""
    } else if (comment) {
      if (!(i = index(line, "*/"))) next
      line = substr(line, i + 2); comment = 0
    }
    if (match(line, /R"[A-Za-z_]*\(/)) {
      end = ")" substr(line, RSTART + 2, RLENGTH - 3) "\""
      rest = substr(line, RSTART + RLENGTH); line = substr(line, 1, RSTART - 1) "0"
      if (i = index(rest, end)) line = line substr(rest, i + length(end)); else raw = end
    }
    gsub(/\\./, "", line); gsub(/"[^"]*"|\047[^\047]*\047/, "0", line)
    gsub(/\/\*([^*]|\*+[^*\/])*\*+\//, "", line); sub(/\/\/.*/, "", line)
    if (i = index(line, "/*")) { line = substr(line, 1, i - 1); comment = 1 }
    if (line ~ /^[ \t]*#/) next
    for (i = 1; i <= length(line); ++i) {
      c = substr(line, i, 1)
      if (c == "{") {
        kind = ""  # a block
        if (depth == 0 || container[depth])
          if (head ~ /(^|[^A-Za-z0-9_])(namespace|class|struct|union|enum)([^A-Za-z0-9_]|$)|extern/)
            kind = "container"
          else if (head ~ /\(/ && (head !~ /=[^=]*$/ || head ~ /operator[^(]*\(/))
            kind = "function"
        container[++depth] = kind == "container"
        start[depth] = kind == "function" ? at : 0; name[depth] = head; data0[depth] = data
      } else if (c == "}" && depth > 0) {
        n = FNR - start[depth] + 1 - (data - data0[depth])
        if (start[depth] && n > max) {
          f = name[depth]; sub(/\(.*/, "", f); gsub(/^[ \t]+|[ \t]+$/, "", f)
          printf "%s:%d: %s runs %d lines (at most %d)\n", FILENAME, start[depth], f, n, max
          bad = 1
        }
        --depth
      }
      if (c ~ /[;}{]/ || (c == ":" && head ~ /^ *(public|private|protected) *$/)) { head = ""; at = 0 }
      else if (c !~ /[ \t]/) { if (!at) at = FNR; head = head c }
      else if (head != "") head = head " "
    }
    if (head != "") head = head " "
  }
  END { exit bad }
' {} +
