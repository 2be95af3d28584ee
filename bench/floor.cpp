#include "bench/floor.h"
#include "suite/sqlite/dialect.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <unordered_map>
#include <vector>

#include "suite/connection.h"
#include "suite/reports.h"

namespace qbx::bench {
namespace {

constexpr size_t kFileBuffer = 1 << 20;

// Closes on every way out, so no path leaks the handle.
struct CloseDatabase {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using DatabaseHandle = std::unique_ptr<sqlite3, CloseDatabase>;

DatabaseHandle Open(const std::string& path) {
  sqlite3* raw = nullptr;
  const int rc =
      sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  DatabaseHandle db(raw);
  if (rc != SQLITE_OK)
    throw std::runtime_error("cannot open " + path + ": " +
                             (raw ? sqlite3_errmsg(raw) : "out of memory"));
  sqlite3_extended_result_codes(raw, 1);
  sqlite3_busy_timeout(raw, suite::kBusyTimeoutMs);
  return db;
}

void ExecOrThrow(sqlite3* db, const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = error ? error : sqlite3_errmsg(db);
    sqlite3_free(error);
    throw std::runtime_error(std::string(sql) + ": " + message);
  }
}

}  // namespace

StatementRecorder::StatementRecorder(const std::string& path) {
  file_ = std::fopen(path.c_str(), "wb");
  if (!file_) throw std::runtime_error("cannot write " + path);
  std::setvbuf(file_, nullptr, _IOFBF, kFileBuffer);
}

StatementRecorder::~StatementRecorder() {
  if (file_) std::fclose(file_);
}

suite::TraceSink StatementRecorder::Sink() {
  return [this](suite::Origin origin, std::string_view sql) {
    std::fprintf(file_, "%c%zu ", origin == suite::Origin::Component ? 'C' : 'S', sql.size());
    std::fwrite(sql.data(), 1, sql.size(), file_);
    std::fputc('\n', file_);
    ++count_;
  };
}

void StatementRecorder::Close() {
  if (!file_) return;
  const bool ok = std::fflush(file_) == 0 && !std::ferror(file_);
  std::fclose(file_);
  file_ = nullptr;
  if (!ok) throw std::runtime_error("writing the recorded statements failed");
}

namespace {

// Reads a recording one statement at a time: fn(origin, text), the text
// reused from one call to the next.
template <class F>
void ForEachRecorded(const std::string& recording, F&& fn) {
  struct CloseFile {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  const std::unique_ptr<std::FILE, CloseFile> file(std::fopen(recording.c_str(), "rb"));
  std::FILE* in = file.get();
  if (!in) throw std::runtime_error("cannot read " + recording);
  std::setvbuf(in, nullptr, _IOFBF, kFileBuffer);
  std::string text;
  for (;;) {
    const int origin = std::fgetc(in);
    if (origin == EOF) break;
    size_t size = 0;
    if (std::fscanf(in, "%zu", &size) != 1 || std::fgetc(in) != ' ')
      throw std::runtime_error("malformed recording " + recording);
    text.resize(size);
    if (size > 0 && std::fread(text.data(), 1, size, in) != size)
      throw std::runtime_error("truncated recording " + recording);
    std::fgetc(in);  // the line break
    fn(static_cast<char>(origin), text);
  }
}

bool IsNameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' || c == '?' ||
         c == ':' || c == '@' || static_cast<unsigned char>(c) >= 0x80;
}

bool IsWord(std::string_view word, std::string_view upper) {
  return word.size() == upper.size() &&
         std::equal(word.begin(), word.end(), upper.begin(),
                    [](char a, char b) { return std::toupper(static_cast<unsigned char>(a)) == b; });
}

}  // namespace

void ReadRecording(const std::string& recording,
                   const std::function<void(char origin, std::string& text)>& fn) {
  ForEachRecorded(recording, fn);
}

Shaped ShapeOf(std::string_view text) {
  Shaped out;
  out.shape.reserve(text.size() + 16);
  bool by_terms = false;  // after ORDER BY or GROUP BY, where 1 means a column
  bool after_by = false;  // the last token was BY
  auto parameter = [&](Shaped::Value value, bool real) {
    const std::string number = std::to_string(out.values.size() + 1);
    out.shape += real ? "CAST(?" + number + " AS REAL)" : "?" + number;
    out.values.push_back(std::move(value));
  };
  auto last_blank_free = [&]() -> char {
    for (auto it = out.shape.rbegin(); it != out.shape.rend(); ++it)
      if (!std::isspace(static_cast<unsigned char>(*it))) return *it;
    return '\0';
  };
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    const char c = text[i];
    const bool was_after_by = after_by;
    if (!std::isspace(static_cast<unsigned char>(c))) after_by = false;
    if (c == '"' || c == '`' || c == '[') {  // a quoted name, copied whole
      const char close = c == '[' ? ']' : c;
      size_t j = i + 1;
      while (j < n && !(text[j] == close && (close == ']' || j + 1 >= n || text[j + 1] != close)))
        j += text[j] == close ? 2 : 1;
      j = std::min(j + 1, n);
      out.shape.append(text.substr(i, j - i));
      i = j;
    } else if (c == '\'') {
      std::string value;
      size_t j = i + 1;
      for (; j < n; ++j) {
        if (text[j] != '\'') {
          value += text[j];
        } else if (j + 1 < n && text[j + 1] == '\'') {
          value += '\'';
          ++j;
        } else {
          break;
        }
      }
      j = std::min(j + 1, n);
      const size_t size = out.shape.size();
      const bool blob = size > 0 && (out.shape[size - 1] == 'x' || out.shape[size - 1] == 'X') &&
                        (size == 1 || !IsNameChar(out.shape[size - 2]));
      if (blob)
        out.shape.append(text.substr(i, j - i));
      else
        parameter(std::move(value), false);
      i = j;
    } else if (std::isdigit(static_cast<unsigned char>(c)) &&
               (out.shape.empty() || (!IsNameChar(out.shape.back()) && out.shape.back() != '.'))) {
      size_t j = i;
      while (j < n && std::isdigit(static_cast<unsigned char>(text[j]))) ++j;
      const size_t whole = j - i;
      bool integer = true;
      if (j < n && text[j] == '.') {
        integer = false;
        ++j;
        while (j < n && std::isdigit(static_cast<unsigned char>(text[j]))) ++j;
      }
      bool plain = true;
      if (j < n && (text[j] == 'e' || text[j] == 'E')) {
        integer = false;
        size_t k = j + 1;
        if (k < n && (text[k] == '+' || text[k] == '-')) ++k;
        const size_t digits = k;
        while (k < n && std::isdigit(static_cast<unsigned char>(text[k]))) ++k;
        plain = k > digits;
        j = k;
      }
      if (j < n && (IsNameChar(text[j]) || text[j] == '.')) plain = false;
      const char before = last_blank_free();
      const bool position = by_terms && integer && (before == ',' || was_after_by);
      if (!plain || position || (integer && whole > 18)) {
        while (j < n && (IsNameChar(text[j]) || text[j] == '.')) ++j;  // the whole token
        out.shape.append(text.substr(i, j - i));
      } else if (integer) {
        int64_t value = 0;
        for (size_t k = i; k < j; ++k) value = value * 10 + (text[k] - '0');
        parameter(value, false);
      } else {
        parameter(std::string(text.substr(i, j - i)), true);
      }
      i = j;
    } else if (IsNameChar(c)) {
      size_t j = i;
      while (j < n && IsNameChar(text[j])) ++j;
      const std::string_view word = text.substr(i, j - i);
      if (IsWord(word, "BY")) {
        by_terms = after_by = true;
      } else {
        for (std::string_view end : {"FROM", "WHERE", "LIMIT", "OFFSET", "HAVING", "UNION",
                                     "EXCEPT", "INTERSECT", "SELECT", "WINDOW", "VALUES", "SET"})
          if (IsWord(word, end)) by_terms = false;
      }
      out.shape.append(word);
      i = j;
    } else {
      out.shape += c;
      ++i;
    }
  }
  return out;
}

std::vector<Scan> FindScans(const std::string& recording, const std::string& db_path,
                            int64_t min_times) {
  struct Seen {
    std::string first;
    int64_t times = 0;
  };
  std::map<std::string, Seen> shapes;
  ForEachRecorded(recording, [&](char, const std::string& text) {
    Seen& seen = shapes[ShapeOf(text).shape];
    if (seen.times++ == 0) seen.first = text;
  });
  std::vector<Scan> scans;
  const DatabaseHandle handle = Open(db_path);
  sqlite3* db = handle.get();
  for (const auto& [shape, seen] : shapes) {
    if (seen.times < min_times) continue;
    sqlite3_stmt* st = nullptr;
    const std::string sql = "EXPLAIN QUERY PLAN " + seen.first;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
      sqlite3_finalize(st);
      continue;  // not a query (BEGIN, PRAGMA, ...)
    }
    while (sqlite3_step(st) == SQLITE_ROW) {
      const auto* detail = reinterpret_cast<const char*>(sqlite3_column_text(st, 3));
      // The schema's own tables are read by name lookups, not by the data.
      const std::string_view step = detail ? detail : "";
      if (step.starts_with("SCAN ") && !step.starts_with("SCAN CONSTANT ROW") &&
          !step.starts_with("SCAN sqlite_master") && !step.starts_with("SCAN pragma_")) {
        scans.push_back({seen.first.substr(0, 120), detail, seen.times});
        break;
      }
    }
    sqlite3_finalize(st);
  }
  return scans;
}

ReplayResult Replay(const std::string& recording, const std::string& db_path, int64_t lines) {
  const DatabaseHandle handle = Open(db_path);
  sqlite3* db = handle.get();
  ReplayResult result;
  // Work of each shape: first and last execution.
  struct Work {
    std::string first_text;
    int64_t times = 0, first = 0, last = 0, most = 0;
  };
  std::map<std::string, Work> work;
  // Prepared shapes; nullptr for a shape that did not compile.
  struct Finalize {
    void operator()(sqlite3_stmt* st) const { sqlite3_finalize(st); }
  };
  std::unordered_map<std::string, std::unique_ptr<sqlite3_stmt, Finalize>> kept;
  ExecOrThrow(db, std::string(suite::kSqliteConnectionSettings).c_str());
  using Clock = std::chrono::steady_clock;
  Clock::duration inside{};
  ForEachRecorded(recording, [&](char origin, std::string& text) {
    if (origin == 'C') text = suite::RewriteTop(text);
    Shaped shaped = ShapeOf(text);
    auto it = kept.find(shaped.shape);
    if (it == kept.end()) {
      sqlite3_stmt* stmt = nullptr;
      const char* tail = nullptr;
      const Clock::time_point t0 = Clock::now();
      const int rc = sqlite3_prepare_v3(db, shaped.shape.c_str(), -1, SQLITE_PREPARE_PERSISTENT,
                                        &stmt, &tail);
      inside += Clock::now() - t0;
      bool single = rc == SQLITE_OK && stmt;
      for (const char* p = tail; single && p && *p; ++p)
        single = std::isspace(static_cast<unsigned char>(*p)) || *p == ';';
      if (!single) {
        sqlite3_finalize(stmt);
        stmt = nullptr;
      } else {
        ++result.shapes;
      }
      it = kept.emplace(shaped.shape, std::unique_ptr<sqlite3_stmt, Finalize>(stmt)).first;
    }
    bool ok = true;
    int64_t steps = 0;
    std::string error;
    if (sqlite3_stmt* stmt = it->second.get()) {
      const Clock::time_point t0 = Clock::now();
      for (size_t i = 0; i < shaped.values.size(); ++i) {
        const int at = static_cast<int>(i) + 1;
        if (const auto* number = std::get_if<int64_t>(&shaped.values[i])) {
          sqlite3_bind_int64(stmt, at, *number);
        } else {
          const std::string& value = std::get<std::string>(shaped.values[i]);
          sqlite3_bind_text(stmt, at, value.data(), static_cast<int>(value.size()), SQLITE_STATIC);
        }
      }
      int rc;
      while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      }
      ok = rc == SQLITE_DONE;
      if (!ok) error = sqlite3_errmsg(db);
      sqlite3_reset(stmt);
      sqlite3_clear_bindings(stmt);  // before the values it points into go
      inside += Clock::now() - t0;
      steps = sqlite3_stmt_status(stmt, SQLITE_STMTSTATUS_VM_STEP, 1);
    } else {
      // Compiled and stepped to the end, one statement of the text at a time.
      ++result.unshaped;
      const char* sql = text.c_str();
      const Clock::time_point t0 = Clock::now();
      while (ok && *sql) {
        sqlite3_stmt* stmt = nullptr;
        const char* tail = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &stmt, &tail) != SQLITE_OK) {
          ok = false;
          error = sqlite3_errmsg(db);
          break;
        }
        if (!stmt) break;  // nothing but blanks left
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        }
        steps += sqlite3_stmt_status(stmt, SQLITE_STMTSTATUS_VM_STEP, 0);
        ok = rc == SQLITE_DONE;
        if (!ok) error = sqlite3_errmsg(db);
        sqlite3_finalize(stmt);
        sql = tail;
      }
      inside += Clock::now() - t0;
    }
    ++result.statements;
    if (!ok && result.failed++ == 0) result.first_error = text.substr(0, 200) + ": " + error;
    Work& w = work[shaped.shape];
    if (w.times++ == 0) {
      w.first_text = text.substr(0, 120);
      w.first = steps;
    }
    w.last = steps;
    w.most = std::max(w.most, steps);
  });
  kept.clear();
  for (const auto& [shape, w] : work) {
    const bool per_line = w.times >= std::max<int64_t>(lines / 2, 1);
    if (per_line &&
        (w.last > 10 * std::max<int64_t>(w.first, 50) || w.most >= std::max<int64_t>(lines, 2000)))
      result.growing.push_back({w.first_text,
                                "work " + std::to_string(w.first) + " -> " +
                                    std::to_string(w.last) + " steps (at most " +
                                    std::to_string(w.most) + ")",
                                w.times});
  }
  const Clock::time_point t0 = Clock::now();
  ExecOrThrow(db, "PRAGMA wal_checkpoint;");
  inside += Clock::now() - t0;
  result.seconds = std::chrono::duration<double>(inside).count();
  return result;
}

void Checkpoint(const std::string& db_path) {
  ExecOrThrow(Open(db_path).get(), "PRAGMA wal_checkpoint;");
}

uint64_t ComponentRowsDigest(const std::string& db_path) {
  suite::Database db(db_path, false, true);
  uint64_t hash = 1469598103934665603ull;  // FNV-1a
  auto mix = [&](const void* data, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
  };
  for (const char* table : {"Transferencia", "Traslado", "Pedido"}) {
    for (const auto& row : suite::DocumentRows(db, table).rows) {
      for (const Variant& v : row) {
        const Variant::Type type = v.type();
        mix(&type, sizeof type);
        // Numbers and dates by their bits: a text would round them.
        if (type == Variant::Type::Double || type == Variant::Type::Date) {
          const double d = type == Variant::Type::Date ? v.ToDate().serial() : v.ToDouble();
          mix(&d, sizeof d);
        } else if (type == Variant::Type::Integer || type == Variant::Type::Long) {
          const int64_t n = v.ToLong();
          mix(&n, sizeof n);
        } else {
          const std::string text = v.ToStringOrEmpty();
          mix(text.data(), text.size());
        }
      }
    }
  }
  return hash;
}

void RemoveDatabase(const std::string& path) {
  std::error_code ignored;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"})
    std::filesystem::remove(path + suffix, ignored);
}

void CopyDatabase(const std::string& src, const std::string& dst) {
  ExecOrThrow(Open(src).get(), "PRAGMA wal_checkpoint(TRUNCATE);");
  RemoveDatabase(dst);
  std::filesystem::copy_file(src, dst);
}

}  // namespace qbx::bench
