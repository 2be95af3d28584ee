// Text work of the PostgreSQL backend that needs no server: the schema
// translated from the embedded backend's DDL (the one source of truth), and
// suite statement texts made ready to prepare.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qbx::suite::pg {

// The DDL script in PostgreSQL's dialect: NOCASE text is citext, REAL double
// precision, INTEGER bigint (an INTEGER PRIMARY KEY hands out its own
// numbers, as a row id does), DATE date, DATETIME timestamp(0); expressions
// as Rewrite below leaves them, so that queries match the indexes.
std::string PostgresSchema(std::string_view sqlite_ddl);

// Lower-case name -> spelling of every table and column the scripts create.
using Spellings = std::unordered_map<std::string, std::string>;
void AddSpellings(std::string_view sqlite_ddl, Spellings& out);
// The suite's tables (both schema scripts), built once.
const Spellings& SchemaSpellings();
// The schema's spelling of a name, or the name itself when it is none of them.
std::string Spelled(std::string_view name);

// A suite statement text made ready for the server.
struct Rewritten {
  std::string text;
  int parameters = 0;  // the highest $N
  // Where each $N stands in text, for writing values in (traces).
  struct Mark {
    size_t at, length;
    int number;
  };
  std::vector<Mark> marks;
  bool read_only = false;
  bool several = false;  // more than one statement
  // The table an INSERT, UPDATE or DELETE writes; empty when unsure.
  std::string table;
  // Aliases (AS name) as the text spells them, by lower case.
  Spellings aliases;
};
// ? and ?N become $N (a bare ? is one more than the largest so far), outside
// quotes and comments; quoted schema names become plain (the server folds
// plain names); COLLATE NOCASE/BINARY go (text columns are citext already);
// CAST(.. AS INTEGER/REAL) names bigint / double precision; INSERT OR IGNORE
// becomes ON CONFLICT DO NOTHING.
Rewritten Rewrite(std::string_view sql);

}  // namespace qbx::suite::pg
