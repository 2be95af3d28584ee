#include "bench/floor_server.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <map>
#include <memory>
#include <stdexcept>
#include <unordered_map>

#include "suite/connection.h"
#include "suite/postgres/sql_text.h"

namespace qbx::bench::server {
namespace {

// The server backend's writers' lock (suite/postgres/backend.cpp), taken in
// the same round trip as its BEGIN.
constexpr const char* kBeginText = "BEGIN; SELECT pg_advisory_xact_lock(1363299416)";
static_assert(0x51424C58 == 1363299416);

struct Finish {
  void operator()(PGconn* c) const { PQfinish(c); }
};
struct Clear {
  void operator()(PGresult* r) const { PQclear(r); }
};
using Conn = std::unique_ptr<PGconn, Finish>;
using Result = std::unique_ptr<PGresult, Clear>;

bool Ok(const PGresult* r) {
  const ExecStatusType s = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
  return s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK;
}

std::string Trimmed(const char* message) {
  std::string text = message ? message : "";
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  return text;
}

Conn Connect(const std::string& conninfo) {
  Conn c(PQconnectdb(conninfo.c_str()));
  if (PQstatus(c.get()) != CONNECTION_OK)
    throw std::runtime_error("cannot connect to the server: " + Trimmed(PQerrorMessage(c.get())));
  PQsetNoticeProcessor(c.get(), [](void*, const char*) {}, nullptr);
  return c;
}

// The session settings and encoding the suite's connections have, so that
// texts read their dates and numbers alike.
void AsTheSuite(PGconn* c) {
  if (PQsetClientEncoding(c, "UTF8") != 0)
    throw std::runtime_error("cannot set the encoding: " + Trimmed(PQerrorMessage(c)));
  Result r(PQexec(c,
                  "SET DateStyle = 'ISO, YMD'; SET standard_conforming_strings = on; "
                  "SET extra_float_digits = 1"));
  if (!Ok(r.get())) throw std::runtime_error("settings: " + Trimmed(PQerrorMessage(c)));
}

Result Exec(PGconn* c, const std::string& sql) {
  Result r(PQexec(c, sql.c_str()));
  if (!Ok(r.get())) throw std::runtime_error(sql + ": " + Trimmed(PQerrorMessage(c)));
  return r;
}

std::string QuotedName(PGconn* c, const std::string& name) {
  char* quoted = PQescapeIdentifier(c, name.c_str(), name.size());
  if (!quoted) throw std::runtime_error("cannot quote " + name);
  std::string out = quoted;
  PQfreemem(quoted);
  return out;
}

bool StartsWithWord(std::string_view text, std::string_view word) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  if (text.size() - i < word.size()) return false;
  for (size_t k = 0; k < word.size(); ++k)
    if (std::toupper(static_cast<unsigned char>(text[i + k])) != word[k]) return false;
  const size_t end = i + word.size();
  return end == text.size() || !std::isalnum(static_cast<unsigned char>(text[end]));
}

// The values as libpq takes them: texts, NULL never (NULL stays in the shape).
struct Values {
  std::vector<std::string> texts;
  std::vector<const char*> pointers;
  void Set(const std::vector<Shaped::Value>& values) {
    texts.resize(values.size());
    pointers.resize(values.size());
    for (size_t i = 0; i < values.size(); ++i) {
      if (const auto* n = std::get_if<int64_t>(&values[i]))
        texts[i] = std::to_string(*n);
      else
        texts[i] = std::get<std::string>(values[i]);
      pointers[i] = texts[i].c_str();
    }
  }
  int count() const { return static_cast<int>(pointers.size()); }
};

// ShapeOf keeps a number's sign in the shape ("-?6"), which the server
// cannot type ("- unknown"); the suite binds such a number whole. A sign
// that begins a value (after a comma, a bracket, a comparison or SELECT,
// THEN, ELSE, WHEN) goes into the value.
void FoldSigns(Shaped& shaped) {
  std::string out;
  out.reserve(shaped.shape.size());
  const std::string& in = shaped.shape;
  auto starts_value = [&]() {
    size_t end = out.size();
    while (end > 0 && std::isspace(static_cast<unsigned char>(out[end - 1]))) --end;
    if (end == 0) return false;
    if (std::string_view(",(=<>").find(out[end - 1]) != std::string_view::npos) return true;
    size_t begin = end;
    while (begin > 0 && std::isalpha(static_cast<unsigned char>(out[begin - 1]))) --begin;
    std::string word = out.substr(begin, end - begin);
    for (char& ch : word) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return word == "SELECT" || word == "THEN" || word == "ELSE" || word == "WHEN";
  };
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] == '-' && starts_value()) {
      size_t at = i + 1;
      if (in.compare(at, 5, "CAST(") == 0) at += 5;
      if (at < in.size() && in[at] == '?') {
        size_t end = at + 1;
        while (end < in.size() && std::isdigit(static_cast<unsigned char>(in[end]))) ++end;
        const size_t n = end > at + 1 ? std::stoul(in.substr(at + 1, end - at - 1)) : 0;
        if (n >= 1 && n <= shaped.values.size()) {
          Shaped::Value& v = shaped.values[n - 1];
          if (auto* number = std::get_if<int64_t>(&v))
            *number = -*number;
          else
            std::get<std::string>(v) = std::string(1, '-').append(std::get<std::string>(v));
          continue;  // the sign is dropped from the shape
        }
      }
    }
    out += in[i];
  }
  shaped.shape = std::move(out);
}

}  // namespace

std::string WithDatabase(const std::string& conninfo, const std::string& dbname) {
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &error);
  if (!options) {
    const std::string message = error ? Trimmed(error) : "out of memory";
    PQfreemem(error);
    throw std::runtime_error("not a connection string: " + message);
  }
  std::string out;
  auto quoted = [](const std::string& v) {
    std::string q = "'";
    for (char ch : v) {
      if (ch == '\'' || ch == '\\') q += '\\';
      q += ch;
    }
    return q + "'";
  };
  for (PQconninfoOption* o = options; o->keyword; ++o) {
    if (std::string_view(o->keyword) == "dbname" || !o->val) continue;
    out += std::string(o->keyword) + "=" + quoted(o->val) + " ";
  }
  PQconninfoFree(options);
  return out + "dbname=" + quoted(dbname);
}

std::string Describe(const std::string& conninfo) {
  const Conn c = Connect(conninfo);
  const int v = PQserverVersion(c.get());
  std::string out = "PostgreSQL " + std::to_string(v / 10000) + "." + std::to_string(v % 10000);
  for (const char* name : {"fsync", "synchronous_commit", "shared_buffers"}) {
    const Result r = Exec(c.get(), std::string("SHOW ") + name);
    out += std::string(", ") + name + " " + PQgetvalue(r.get(), 0, 0);
  }
  const char* host = PQhost(c.get());
  return out + (host && *host == '/' ? ", Unix socket" : ", TCP");
}

void CreateDatabase(const std::string& maintenance, const std::string& name,
                    const std::string& from) {
  const Conn c = Connect(maintenance);
  std::string sql = "CREATE DATABASE " + QuotedName(c.get(), name);
  if (!from.empty()) sql += " TEMPLATE " + QuotedName(c.get(), from);
  // A file copy (what servers before 15 only have) writes almost no WAL and
  // checkpoints, so a timed run does not start behind a copy's WAL.
  if (!from.empty() && PQserverVersion(c.get()) >= 150000) sql += " STRATEGY FILE_COPY";
  Exec(c.get(), sql);
}

void DropDatabase(const std::string& maintenance, const std::string& name) {
  const Conn c = Connect(maintenance);
  Exec(c.get(), "DROP DATABASE IF EXISTS " + QuotedName(c.get(), name) + " WITH (FORCE)");
}

void DropDatabases(const std::string& maintenance, const std::string& prefix) {
  std::vector<std::string> names;
  {
    const Conn c = Connect(maintenance);
    const char* values[] = {prefix.c_str()};
    const Result r(PQexecParams(c.get(),
                                "SELECT datname FROM pg_database WHERE left(datname, "
                                "length($1)) = $1",
                                1, nullptr, values, nullptr, nullptr, 0));
    if (!Ok(r.get())) throw std::runtime_error("listing databases: " + Trimmed(PQerrorMessage(c.get())));
    for (int i = 0; i < PQntuples(r.get()); ++i) names.emplace_back(PQgetvalue(r.get(), i, 0));
  }
  for (const std::string& name : names) DropDatabase(maintenance, name);
}

uint64_t ComponentRowsDigest(const std::string& conninfo) {
  const Conn conn = Connect(conninfo);
  PGconn* c = conn.get();
  AsTheSuite(c);
  std::vector<std::string> rows;
  for (const char* table : {"Transferencia", "Traslado", "Pedido"}) {
    const Result r = Exec(c, std::string("SELECT * FROM ") + table);
    for (int i = 0; i < PQntuples(r.get()); ++i) {
      std::string row = table;
      for (int j = 0; j < PQnfields(r.get()); ++j) {
        row += '\x1f';
        row += PQgetisnull(r.get(), i, j) ? std::string("\x1e") : PQgetvalue(r.get(), i, j);
      }
      rows.push_back(std::move(row));
    }
  }
  std::sort(rows.begin(), rows.end());
  uint64_t hash = 1469598103934665603ull;  // FNV-1a
  for (const std::string& row : rows)
    for (const char ch : row + '\n') hash = (hash ^ static_cast<unsigned char>(ch)) * 1099511628211ull;
  return hash;
}

Sent ToSend(char origin, const std::string& text) {
  Sent s;
  for (std::string_view word : {"BEGIN", "COMMIT", "ROLLBACK", "SAVEPOINT", "RELEASE"}) {
    if (StartsWithWord(text, word)) {
      s.kind = Sent::Kind::kTransaction;
      s.text = word == "BEGIN" ? kBeginText : text;
      return s;
    }
  }
  const std::string given = origin == 'C' ? suite::RewriteTop(text) : text;
  Shaped shaped = ShapeOf(given);
  FoldSigns(shaped);
  suite::pg::Rewritten rewritten = suite::pg::Rewrite(shaped.shape);
  if (rewritten.several) {
    s.kind = Sent::Kind::kText;
    s.text = suite::pg::Rewrite(given).text;
    return s;
  }
  s.text = std::move(rewritten.text);
  s.values = std::move(shaped.values);
  return s;
}

ReplayResult Replay(const std::string& recording, const std::string& conninfo) {
  const Conn conn = Connect(conninfo);
  PGconn* c = conn.get();
  AsTheSuite(c);
  ReplayResult result;
  using Clock = std::chrono::steady_clock;
  Clock::duration inside{};
  // Each shape's prepared statement; "" for one the server refused.
  std::unordered_map<std::string, std::string> names;
  ReadRecording(recording, [&](char origin, std::string& text) {
    Sent s = ToSend(origin, text);
    if (s.kind == Sent::Kind::kShape) names.emplace(std::move(s.text), std::string());
  });
  // A new connection to a new database reads the catalogue as it first
  // meets each table; the suite's connection has done so when it opened
  // (its schema checks), before the case's time starts. So does the floor's,
  // untimed, by preparing each shape once as the unnamed statement.
  for (const auto& [shape, name] : names) Result(PQprepare(c, "", shape.c_str(), 0, nullptr));
  for (auto& [shape, name] : names) {
    std::string candidate = "f";
    candidate += std::to_string(result.shapes + 1);
    const Clock::time_point t0 = Clock::now();
    const Result r(PQprepare(c, candidate.c_str(), shape.c_str(), 0, nullptr));
    inside += Clock::now() - t0;
    if (Ok(r.get())) {
      name = candidate;
      ++result.shapes;
    }
  }
  // Everything sent is made ready before the first statement, so that
  // between two round trips the floor does no more than the suite does.
  struct Item {
    const std::string* name = nullptr;  // a prepared shape; nullptr: `text` as it is
    std::string text;
    std::vector<std::string> values;
    bool commit = false;
  };
  std::vector<Item> items;
  ReadRecording(recording, [&](char origin, std::string& text) {
    Sent s = ToSend(origin, text);
    Item item;
    if (s.kind == Sent::Kind::kShape) {
      const auto it = names.find(s.text);
      if (!it->second.empty()) {
        item.name = &it->second;
        item.text = it->first.substr(0, 200);
        for (const Shaped::Value& v : s.values) {
          const auto* n = std::get_if<int64_t>(&v);
          item.values.push_back(n ? std::to_string(*n) : std::get<std::string>(v));
        }
      } else {
        // Refused as a shape: the text itself, its literals written in.
        item.text = suite::pg::Rewrite(origin == 'C' ? suite::RewriteTop(text) : text).text;
        ++result.unshaped;
      }
    } else {
      if (s.kind == Sent::Kind::kText) ++result.unshaped;
      item.commit = s.kind == Sent::Kind::kTransaction && StartsWithWord(s.text, "COMMIT");
      item.text = std::move(s.text);
    }
    items.push_back(std::move(item));
  });
  std::vector<const char*> pointers;
  for (const Item& item : items) {
    Result r;
    if (item.name) {
      pointers.clear();
      for (const std::string& v : item.values) pointers.push_back(v.c_str());
      const Clock::time_point t0 = Clock::now();
      r.reset(PQexecPrepared(c, item.name->c_str(), static_cast<int>(pointers.size()),
                             pointers.data(), nullptr, nullptr, 0));
      inside += Clock::now() - t0;
    } else {
      const Clock::time_point t0 = Clock::now();
      r.reset(PQexec(c, item.text.c_str()));
      inside += Clock::now() - t0;
    }
    ++result.statements;
    // A COMMIT of an aborted transaction answers ROLLBACK: the work is lost.
    const bool lost =
        Ok(r.get()) && item.commit && std::string_view(PQcmdStatus(r.get())) == "ROLLBACK";
    if ((!Ok(r.get()) || lost) && result.failed++ == 0)
      result.first_error =
          item.text.substr(0, 200) + ": " + (lost ? "rolled back" : Trimmed(PQerrorMessage(c)));
  }
  result.seconds = std::chrono::duration<double>(inside).count();
  return result;
}

std::string WholeTableRead(const std::vector<std::string>& plan,
                           const std::vector<std::pair<std::string, int64_t>>& rows,
                           int64_t min_rows) {
  bool limited = false;  // under a Limit an ordered index read stops early
  for (size_t i = 0; i < plan.size(); ++i) {
    const std::string& line = plan[i];
    const size_t cost = line.find("  (cost=");
    if (cost == std::string::npos) continue;  // a node's detail
    std::string node = line.substr(0, cost);
    node.erase(0, node.find_first_not_of(' '));
    if (node.rfind("->", 0) == 0) node.erase(0, node.find_first_not_of(' ', 2));
    if (node.rfind("Limit", 0) == 0) limited = true;
    bool whole = false;
    if (node.rfind("Seq Scan on ", 0) == 0) {
      whole = true;
    } else if (node.rfind("Index Scan", 0) == 0 || node.rfind("Index Only Scan", 0) == 0) {
      bool condition = false;
      for (size_t j = i + 1; j < plan.size() && plan[j].find("  (cost=") == std::string::npos; ++j)
        condition = condition || plan[j].find("Index Cond:") != std::string::npos;
      whole = !condition && !limited;
    }
    if (!whole) continue;
    const size_t on = node.find(" on ");
    if (on == std::string::npos) continue;
    std::string table = node.substr(on + 4);
    table = table.substr(0, table.find(' '));
    table.erase(std::remove(table.begin(), table.end(), '"'), table.end());
    std::transform(table.begin(), table.end(), table.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    for (const auto& [name, count] : rows)
      if (name == table && count > min_rows) return node + " (" + std::to_string(count) + " rows)";
  }
  return "";
}

std::vector<Scan> FindScans(const std::string& recording, const std::string& conninfo,
                            int64_t min_times, int64_t min_rows) {
  struct Seen {
    std::string first;
    std::vector<Shaped::Value> values;
    int64_t times = 0;
  };
  std::map<std::string, Seen> shapes;
  ReadRecording(recording, [&](char origin, std::string& text) {
    Sent s = ToSend(origin, text);
    if (s.kind != Sent::Kind::kShape) return;
    Seen& seen = shapes[s.text];
    if (seen.times++ == 0) {
      seen.first = text.substr(0, 120);
      seen.values = std::move(s.values);
    }
  });
  const Conn conn = Connect(conninfo);
  PGconn* c = conn.get();
  AsTheSuite(c);
  Exec(c, "ANALYZE");  // the planner sees the rows the run left
  std::vector<std::pair<std::string, int64_t>> rows;
  {
    const Result r = Exec(c,
                          "SELECT lower(c.relname), CAST(c.reltuples AS bigint) FROM pg_class c "
                          "JOIN pg_namespace n ON n.oid = c.relnamespace "
                          "WHERE c.relkind = 'r' AND n.nspname = current_schema()");
    for (int i = 0; i < PQntuples(r.get()); ++i)
      rows.emplace_back(PQgetvalue(r.get(), i, 0), std::atoll(PQgetvalue(r.get(), i, 1)));
  }
  std::vector<Scan> scans;
  Values values;
  for (const auto& [shape, seen] : shapes) {
    if (seen.times < min_times) continue;
    values.Set(seen.values);
    const std::string sql = "EXPLAIN " + shape;
    const Result r(
        PQexecParams(c, sql.c_str(), values.count(), nullptr, values.pointers.data(), nullptr,
                     nullptr, 0));
    if (!Ok(r.get())) continue;  // not a statement EXPLAIN takes
    std::vector<std::string> plan;
    for (int i = 0; i < PQntuples(r.get()); ++i) plan.emplace_back(PQgetvalue(r.get(), i, 0));
    const std::string step = WholeTableRead(plan, rows, min_rows);
    if (!step.empty()) scans.push_back({seen.first, step, seen.times});
  }
  return scans;
}

}  // namespace qbx::bench::server
