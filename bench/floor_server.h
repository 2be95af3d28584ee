// The floor on a server: a case's recorded statements replayed with libpq on
// one connection, each distinct shape prepared once, in the recorded
// transactions and with one round trip per statement, as the suite sends
// them. Also the server's side of the benchmark's database copies and its
// plan check.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bench/floor.h"

namespace qbx::bench::server {

// The connection string with its database replaced (a key=value string or a
// postgresql:// address).
std::string WithDatabase(const std::string& conninfo, const std::string& dbname);
// The server's version and durability settings, for the table's header;
// raises std::runtime_error when it cannot connect.
std::string Describe(const std::string& conninfo);

// Creates a database beside the maintenance one, empty or as a copy of
// `from` (CREATE DATABASE .. TEMPLATE: nobody may be connected to `from`).
void CreateDatabase(const std::string& maintenance, const std::string& name,
                    const std::string& from = "");
// Drops it, ending any connection left to it; a missing one is no error.
void DropDatabase(const std::string& maintenance, const std::string& name);
// Drops every database whose name starts with prefix.
void DropDatabases(const std::string& maintenance, const std::string& prefix);

// A digest of every row of the tables only the component's own statements
// write (Transferencia, Traslado, Pedido), each row as the server prints it,
// in an order of their own (the server keeps no order of insertion). Equal
// digests mean the case and its replay stored the same.
uint64_t ComponentRowsDigest(const std::string& conninfo);

// What the floor sends for one recorded text.
struct Sent {
  enum class Kind {
    kTransaction,  // BEGIN, COMMIT, SAVEPOINT ..: a simple query, as the suite runs them
    kShape,        // `text` prepared once, run with `values`
    kText,         // several statements: the text as it is
  };
  Kind kind = Kind::kShape;
  std::string text;
  std::vector<Shaped::Value> values;
};
// origin 'C' (component) or 'S' (suite). The component's texts get the
// connection's TOP rewrite and the server's text rewrite first, as the suite
// gives them; every text's literals become $n parameters (ShapeOf). A
// recorded BEGIN also takes the writers' advisory lock, in the same round
// trip, as the server backend's BEGIN does.
Sent ToSend(char origin, const std::string& text);

// Replays a recording into the database the connection string names. The
// shapes are prepared before the first statement, outside any transaction,
// so that one the server refuses runs as its text instead of spoiling an
// open transaction; their preparing is timed too.
ReplayResult Replay(const std::string& recording, const std::string& conninfo);

// The statements of a recording sent at least min_times times whose plan on
// the database (ANALYZEd first) reads a whole table of more than min_rows
// rows: a Seq Scan, or an index scan without an index condition. Each
// distinct shape is explained once, with its first values bound as the
// suite binds them (types inferred by the server).
std::vector<Scan> FindScans(const std::string& recording, const std::string& conninfo,
                            int64_t min_times, int64_t min_rows = 500);

// From EXPLAIN's text output: the first node that reads a whole table of
// more than min_rows rows (rows: lower-case table name -> rows), or "".
std::string WholeTableRead(const std::vector<std::string>& plan,
                           const std::vector<std::pair<std::string, int64_t>>& rows,
                           int64_t min_rows);

}  // namespace qbx::bench::server
