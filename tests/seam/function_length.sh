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
# not steps, and do not count.
set -u
root=${1:?usage: function_length.sh ROOT MAX FOLDER...}
max=${2:?usage: function_length.sh ROOT MAX FOLDER...}
shift 2
cd "$root" || exit 2
status=0
for folder in "$@"; do
  [ -d "$folder" ] || { echo "no folder $folder"; exit 2; }
  files=$(find "$folder" -type f \( -name '*.cpp' -o -name '*.h' \) | LC_ALL=C sort)
  for file in $files; do
    awk -v max="$max" -v file="$file" '
      BEGIN { depth = 0; header = ""; header_line = 0; in_comment = 0; in_raw = 0; raw = 0 }
      {
        line = $0
        if (in_raw) {
          ++raw
          end = index(line, raw_end)
          if (end == 0) next
          line = "\"\"" substr(line, end + length(raw_end)); in_raw = 0
        }
        if (match(line, /R"[A-Za-z_]*\(/)) {
          delim = substr(line, RSTART + 2, RLENGTH - 3)
          rest = substr(line, RSTART + RLENGTH)
          raw_end = ")" delim "\""
          end = index(rest, raw_end)
          if (end == 0) { in_raw = 1; line = substr(line, 1, RSTART - 1) }
          else line = substr(line, 1, RSTART - 1) "\"\"" substr(rest, end + length(raw_end))
        }
        # Block comments (possibly spanning lines), then texts and characters.
        out = ""
        while (line != "") {
          if (in_comment) {
            end = index(line, "*/")
            if (end == 0) { line = ""; break }
            line = substr(line, end + 2); in_comment = 0; continue
          }
          start = index(line, "/*")
          if (start == 0) { out = out line; line = ""; break }
          out = out substr(line, 1, start - 1); line = substr(line, start + 2); in_comment = 1
        }
        line = out
        gsub(/\\\\/, "", line)
        gsub(/\\"/, "", line)
        gsub(/\\'"'"'/, "", line)
        gsub(/"[^"]*"/, "\"\"", line)
        gsub(/'"'"'[^'"'"']*'"'"'/, "0", line)
        sub(/\/\/.*/, "", line)
        if (line ~ /^[ \t]*#/) next
        for (i = 1; i <= length(line); ++i) {
          c = substr(line, i, 1)
          if (c == "{") {
            kind = "block"
            if (depth == 0 || container[depth]) {
              if (header ~ /(^|[^A-Za-z0-9_])(namespace|class|struct|union|enum)([^A-Za-z0-9_]|$)/ ||
                  header ~ /extern/)
                kind = "container"
              else if (header ~ /\(/ && header !~ /=[^=]*$/ && header !~ /operator=/)
                kind = "function"
              else if (header ~ /\(/ && header ~ /operator[^(]*\(/)
                kind = "function"
            }
            ++depth
            container[depth] = (kind == "container")
            if (kind == "function") { fn_depth[depth] = 1; fn_start[depth] = header_line; fn_raw[depth] = raw; fn_name[depth] = header }
            else fn_depth[depth] = 0
            header = ""; header_line = 0
          } else if (c == "}") {
            if (depth > 0 && fn_depth[depth]) {
              n = NR - fn_start[depth] + 1 - (raw - fn_raw[depth])
              if (n > max) {
                name = fn_name[depth]
                sub(/\(.*/, "", name); sub(/^.*(public|private|protected) *: */, "", name); gsub(/^[ \t]+|[ \t]+$/, "", name)
                printf "%s:%d: %s runs %d lines (at most %d)\n", file, fn_start[depth], name, n, max
                bad = 1
              }
              fn_depth[depth] = 0
            }
            if (depth > 0) --depth
            header = ""; header_line = 0
          } else if (c == ";") {
            header = ""; header_line = 0
          } else if (c != " " && c != "\t") {
            if (header_line == 0) header_line = NR
            header = header c
          } else if (header != "") {
            header = header " "
          }
        }
        if (header != "") header = header " "
      }
      END { exit bad }
    ' "$file" || status=1
  done
done
exit $status
