#include "suite/postgres/sql_text.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "suite/schema.h"

namespace qbx::suite::pg {
namespace {

enum class Kind { Space, String, Quoted, Word, Number, Param, Punct };

struct Token {
  Kind kind;
  std::string_view text;
};

bool IsWordStart(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}
bool IsWordChar(char c) {
  return IsWordStart(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '$';
}

// Blanks and comments are one Space token each; an unterminated quote or
// comment runs to the end of the text (the server reports it).
std::vector<Token> Lex(std::string_view s) {
  std::vector<Token> out;
  size_t i = 0;
  while (i < s.size()) {
    const size_t start = i;
    const char c = s[i];
    Kind kind;
    if (std::isspace(static_cast<unsigned char>(c))) {
      while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
      kind = Kind::Space;
    } else if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
      const size_t end = s.find('\n', i);
      i = end == std::string_view::npos ? s.size() : end;
      kind = Kind::Space;
    } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
      const size_t end = s.find("*/", i + 2);
      i = end == std::string_view::npos ? s.size() : end + 2;
      kind = Kind::Space;
    } else if (c == '\'' || c == '"') {
      ++i;
      for (;;) {  // a doubled quote stands for one
        const size_t q = s.find(c, i);
        if (q == std::string_view::npos) {
          i = s.size();
          break;
        }
        i = q + 1;
        if (i < s.size() && s[i] == c) {
          ++i;
          continue;
        }
        break;
      }
      kind = c == '\'' ? Kind::String : Kind::Quoted;
    } else if (IsWordStart(c)) {
      while (i < s.size() && IsWordChar(s[i])) ++i;
      kind = Kind::Word;
    } else if (std::isdigit(static_cast<unsigned char>(c))) {
      while (i < s.size() && (IsWordChar(s[i]) || s[i] == '.')) ++i;
      kind = Kind::Number;
    } else if (c == '?') {
      ++i;
      while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
      kind = Kind::Param;
    } else {
      ++i;
      kind = Kind::Punct;
    }
    out.push_back({kind, s.substr(start, i - start)});
  }
  return out;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool Is(const Token& t, std::string_view word) {
  return t.kind == Kind::Word && t.text.size() == word.size() &&
         std::equal(t.text.begin(), t.text.end(), word.begin(),
                    [](char a, char b) { return std::toupper(static_cast<unsigned char>(a)) == b; });
}
bool IsPunct(const Token& t, char c) {
  return t.kind == Kind::Punct && t.text[0] == c;
}

// Index of the next token after i that is not blank (tokens.size() if none).
size_t Next(const std::vector<Token>& t, size_t i) {
  ++i;
  while (i < t.size() && t[i].kind == Kind::Space) ++i;
  return i;
}

// The expression rewrites schema and statements share, so that an indexed
// expression reads the same in both. At t[i]: how many tokens it consumes
// (0: none applies) and what it writes instead.
size_t RewriteExpression(const std::vector<Token>& t, size_t i, std::string& out) {
  if (Is(t[i], "COLLATE")) {
    const size_t n = Next(t, i);
    if (n < t.size() && (Is(t[n], "NOCASE") || Is(t[n], "BINARY"))) {
      while (!out.empty() && std::isspace(static_cast<unsigned char>(out.back()))) out.pop_back();
      return n + 1 - i;
    }
  }
  if (Is(t[i], "AS")) {
    const size_t type = Next(t, i);
    const size_t close = type < t.size() ? Next(t, type) : t.size();
    if (close < t.size() && IsPunct(t[close], ')')) {
      if (Is(t[type], "INTEGER")) {
        out += "AS bigint";
        return type + 1 - i;
      }
      if (Is(t[type], "REAL")) {
        out += "AS double precision";
        return type + 1 - i;
      }
    }
  }
  return 0;
}

// Statements of a script, split at top-level semicolons (without them).
std::vector<std::vector<Token>> Statements(std::string_view sql) {
  std::vector<std::vector<Token>> out(1);
  for (const Token& token : Lex(sql)) {
    if (IsPunct(token, ';'))
      out.emplace_back();
    else
      out.back().push_back(token);
  }
  return out;
}

bool Blank(const std::vector<Token>& t) {
  return std::all_of(t.begin(), t.end(), [](const Token& x) { return x.kind == Kind::Space; });
}

// For CREATE TABLE [IF NOT EXISTS] name ( ... ): the index of the name and
// of the opening parenthesis; false for any other statement.
bool TableParts(const std::vector<Token>& t, size_t& name, size_t& open) {
  size_t i = Next(t, static_cast<size_t>(-1));
  if (i >= t.size() || !Is(t[i], "CREATE")) return false;
  i = Next(t, i);
  if (i >= t.size() || !Is(t[i], "TABLE")) return false;
  i = Next(t, i);
  if (i < t.size() && Is(t[i], "IF")) i = Next(t, Next(t, Next(t, i)));
  if (i >= t.size()) return false;
  name = i;
  open = Next(t, i);
  return open < t.size() && IsPunct(t[open], '(');
}

// The elements of a table body: [begin, end) token ranges between the
// top-level commas after t[open]; close is set to the closing parenthesis.
std::vector<std::pair<size_t, size_t>> Elements(const std::vector<Token>& t, size_t open,
                                                size_t& close) {
  std::vector<std::pair<size_t, size_t>> out;
  int depth = 0;
  size_t begin = open + 1;
  close = t.size();
  for (size_t i = open + 1; i < t.size(); ++i) {
    if (IsPunct(t[i], '(')) ++depth;
    if (IsPunct(t[i], ')') && depth-- == 0) {
      out.emplace_back(begin, i);
      close = i;
      break;
    }
    if (depth == 0 && IsPunct(t[i], ',')) {
      out.emplace_back(begin, i);
      begin = i + 1;
    }
  }
  return out;
}

bool IsConstraint(const Token& t) {
  return Is(t, "PRIMARY") || Is(t, "UNIQUE") || Is(t, "CHECK") || Is(t, "CONSTRAINT") ||
         Is(t, "FOREIGN");
}

void CopyRewritten(const std::vector<Token>& t, size_t from, size_t to, std::string& out) {
  for (size_t i = from; i < to;) {
    if (size_t used = RewriteExpression(t, i, out)) {
      i += used;
      continue;
    }
    out += t[i++].text;
  }
}

bool Contains(const std::vector<Token>& t, size_t from, size_t to, std::string_view word) {
  for (size_t i = from; i < to; ++i)
    if (Is(t[i], word)) return true;
  return false;
}

std::string ColumnType(const std::vector<Token>& t, size_t type, size_t end) {
  const Token& word = t[type];
  if (Is(word, "TEXT")) return Contains(t, type, end, "NOCASE") ? "citext" : "text";
  if (Is(word, "REAL")) return "double precision";
  if (Is(word, "INTEGER"))
    return Contains(t, type, end, "PRIMARY") ? "bigint GENERATED BY DEFAULT AS IDENTITY" : "bigint";
  if (Is(word, "DATE")) return "date";
  if (Is(word, "DATETIME")) return "timestamp(0)";
  return std::string(word.text);
}

}  // namespace

std::string PostgresSchema(std::string_view sqlite_ddl) {
  std::string out;
  for (const std::vector<Token>& t : Statements(sqlite_ddl)) {
    if (Blank(t)) {
      for (const Token& x : t) out += x.text;
      continue;
    }
    size_t name, open, close;
    if (!TableParts(t, name, open)) {
      CopyRewritten(t, 0, t.size(), out);
      out += ';';
      continue;
    }
    CopyRewritten(t, 0, open + 1, out);
    for (auto [begin, end] : Elements(t, open, close)) {
      if (begin != open + 1) out += ',';
      const size_t first = Next(t, begin - 1);
      if (first >= end || IsConstraint(t[first])) {
        CopyRewritten(t, begin, end, out);
        continue;
      }
      const size_t type = Next(t, first);
      CopyRewritten(t, begin, first + 1, out);
      if (type >= end) continue;
      CopyRewritten(t, first + 1, type, out);
      out += ColumnType(t, type, end);
      CopyRewritten(t, type + 1, end, out);
    }
    CopyRewritten(t, close, t.size(), out);
    out += ';';
  }
  return out;
}

void AddSpellings(std::string_view sqlite_ddl, Spellings& out) {
  for (const std::vector<Token>& t : Statements(sqlite_ddl)) {
    size_t name, open, close;
    if (!TableParts(t, name, open)) continue;
    out.emplace(Lower(t[name].text), std::string(t[name].text));
    for (auto [begin, end] : Elements(t, open, close)) {
      const size_t first = Next(t, begin - 1);
      if (first < end && t[first].kind == Kind::Word && !IsConstraint(t[first]))
        out.emplace(Lower(t[first].text), std::string(t[first].text));
    }
  }
}

const Spellings& SchemaSpellings() {
  static const Spellings spellings = [] {
    Spellings s;
    AddSpellings(CoreSchemaSql(), s);
    AddSpellings(InventorySchemaSql(), s);
    return s;
  }();
  return spellings;
}

std::string Spelled(std::string_view name) {
  const Spellings& s = SchemaSpellings();
  auto it = s.find(Lower(name));
  return it == s.end() ? std::string(name) : it->second;
}

namespace {

// The written table: INSERT [OR x] INTO t, UPDATE [OR x] t, DELETE FROM t
// (the statement's first word at first), as r.table.
void WrittenTable(const std::vector<Token>& t, size_t first, Rewritten& r) {
  size_t at = t.size();
  if (first < t.size() && (Is(t[first], "INSERT") || Is(t[first], "UPDATE"))) {
    at = Next(t, first);
    if (at < t.size() && Is(t[at], "OR")) at = Next(t, Next(t, at));
    if (Is(t[first], "INSERT")) at = at < t.size() && Is(t[at], "INTO") ? Next(t, at) : t.size();
  } else if (first < t.size() && Is(t[first], "DELETE")) {
    at = Next(t, first);
    at = at < t.size() && Is(t[at], "FROM") ? Next(t, at) : t.size();
  }
  if (at < t.size() && Is(t[at], "ONLY")) at = Next(t, at);
  if (at < t.size()) {
    std::string_view name = t[at].text;
    const size_t after = Next(t, at);
    const bool qualified = after < t.size() && IsPunct(t[after], '.');
    if (t[at].kind == Kind::Quoted && name.size() > 2) name = name.substr(1, name.size() - 2);
    if (!qualified && (t[at].kind == Kind::Word || t[at].kind == Kind::Quoted))
      r.table = Spelled(name);
  }
}

}  // namespace

Rewritten Rewrite(std::string_view sql) {
  Rewritten r;
  std::vector<Token> t = Lex(sql);
  // Trailing semicolons and blanks end the one statement; anything after an
  // earlier semicolon is a second one.
  while (!t.empty() && (t.back().kind == Kind::Space || IsPunct(t.back(), ';'))) t.pop_back();
  r.several = std::any_of(t.begin(), t.end(), [](const Token& x) { return IsPunct(x, ';'); });

  const size_t first = Next(t, static_cast<size_t>(-1));
  bool or_ignore = false;
  size_t skip_from = t.size(), skip_to = t.size();  // "OR IGNORE" after INSERT
  if (first < t.size() && Is(t[first], "INSERT")) {
    const size_t o = Next(t, first);
    const size_t what = o < t.size() ? Next(t, o) : t.size();
    if (what < t.size() && Is(t[o], "OR") && Is(t[what], "IGNORE")) {
      or_ignore = true;
      skip_from = first + 1;
      skip_to = what + 1;
    }
  }

  // Writing keywords anywhere make a text that starts as a query writable
  // (a data-modifying WITH, SELECT ... INTO, FOR UPDATE locks).
  bool writes = false;
  const Spellings& schema = SchemaSpellings();
  for (size_t i = 0; i < t.size();) {
    if (i == skip_from) {
      i = skip_to;
      continue;
    }
    const Token& x = t[i];
    if (size_t used = RewriteExpression(t, i, r.text)) {
      i += used;
      continue;
    }
    if (x.kind == Kind::Param) {
      int number = r.parameters + 1;
      if (x.text.size() > 1) std::from_chars(x.text.data() + 1, x.text.data() + x.text.size(), number);
      r.parameters = std::max(r.parameters, number);
      std::string piece = "$";  // appended: GCC 12 misreads "$" + text as overlapping
      piece += std::to_string(number);
      r.marks.push_back({r.text.size(), piece.size(), number});
      r.text += piece;
    } else if (x.kind == Kind::Quoted && x.text.size() > 2 &&
               x.text.find('"', 1) == x.text.size() - 1 &&
               schema.count(Lower(x.text.substr(1, x.text.size() - 2)))) {
      r.text += Lower(x.text.substr(1, x.text.size() - 2));
    } else {
      if (x.kind == Kind::Word) {
        if (Is(x, "INSERT") || Is(x, "UPDATE") || Is(x, "DELETE") || Is(x, "MERGE") ||
            Is(x, "INTO") || Is(x, "NEXTVAL") || Is(x, "SETVAL"))
          writes = true;
        if (Is(x, "AS")) {
          const size_t n = Next(t, i);
          if (n < t.size() && t[n].kind == Kind::Word)
            r.aliases.emplace(Lower(t[n].text), std::string(t[n].text));
        }
      }
      r.text += x.text;
    }
    ++i;
  }
  if (or_ignore) r.text += " ON CONFLICT DO NOTHING";

  if (first < t.size())
    r.read_only = (Is(t[first], "SELECT") || Is(t[first], "VALUES") || Is(t[first], "WITH")) &&
                  !writes;
  WrittenTable(t, first, r);
  return r;
}

}  // namespace qbx::suite::pg
