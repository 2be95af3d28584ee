#include "bench/floor.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <vector>

#include "suite/connection.h"

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

// The text with every literal (quoted text or number) replaced by "?".
std::string WithoutLiterals(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (c == '\'') {
      ++i;
      while (i < text.size()) {
        if (text[i] == '\'' && (i + 1 >= text.size() || text[i + 1] != '\'')) break;
        i += text[i] == '\'' ? 2 : 1;
      }
      ++i;
      out += '?';
    } else if ((c >= '0' && c <= '9') &&
               (out.empty() ||
                !(std::isalnum(static_cast<unsigned char>(out.back())) || out.back() == '_'))) {
      while (i < text.size() && (std::isalnum(static_cast<unsigned char>(text[i])) ||
                                 text[i] == '.' || text[i] == '_'))
        ++i;
      out += '?';
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

}  // namespace

std::vector<Scan> FindScans(const std::string& recording, const std::string& db_path,
                            int64_t min_times) {
  struct Seen {
    std::string first;
    int64_t times = 0;
  };
  std::map<std::string, Seen> shapes;
  ForEachRecorded(recording, [&](char, const std::string& text) {
    Seen& seen = shapes[WithoutLiterals(text)];
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
  // Work of each text (literals aside): first and last execution.
  struct Work {
    std::string first_text;
    int64_t times = 0, first = 0, last = 0, most = 0;
  };
  std::map<std::string, Work> work;
  ExecOrThrow(db, std::string(suite::kConnectionSettings).c_str());
  using Clock = std::chrono::steady_clock;
  Clock::duration compiling{};
  Clock::duration running{};
  ForEachRecorded(recording, [&](char origin, std::string& text) {
    if (origin == 'C') text = suite::RewriteTop(text);
    // Compiled and stepped to the end, one statement of the text at a time.
    const char* sql = text.c_str();
    bool ok = true;
    int64_t steps = 0;
    while (ok && *sql) {
      sqlite3_stmt* stmt = nullptr;
      const char* tail = nullptr;
      const Clock::time_point t0 = Clock::now();
      int rc = sqlite3_prepare_v2(db, sql, -1, &stmt, &tail);
      const Clock::time_point t1 = Clock::now();
      compiling += t1 - t0;
      if (rc != SQLITE_OK) {
        ok = false;
        break;
      }
      if (!stmt) break;  // nothing but blanks left
      while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      }
      const Clock::time_point t2 = Clock::now();
      steps += sqlite3_stmt_status(stmt, SQLITE_STMTSTATUS_VM_STEP, 0);
      sqlite3_finalize(stmt);
      const Clock::time_point t3 = Clock::now();
      running += t2 - t1;
      compiling += t3 - t2;
      ok = rc == SQLITE_DONE;
      sql = tail;
    }
    ++result.statements;
    if (!ok && result.failed++ == 0)
      result.first_error = text.substr(0, 200) + ": " + sqlite3_errmsg(db);
    Work& w = work[WithoutLiterals(text)];
    if (w.times++ == 0) {
      w.first_text = text.substr(0, 120);
      w.first = steps;
    }
    w.last = steps;
    w.most = std::max(w.most, steps);
  });
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
  running += Clock::now() - t0;
  result.run_seconds = std::chrono::duration<double>(running).count();
  result.seconds = result.run_seconds + std::chrono::duration<double>(compiling).count();
  return result;
}

void Checkpoint(const std::string& db_path) {
  ExecOrThrow(Open(db_path).get(), "PRAGMA wal_checkpoint;");
}

uint64_t ComponentRowsDigest(const std::string& db_path) {
  const DatabaseHandle handle = Open(db_path);
  sqlite3* db = handle.get();
  uint64_t hash = 1469598103934665603ull;  // FNV-1a
  auto mix = [&](const void* data, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
  };
  for (const char* table : {"Transferencia", "Traslado", "Pedido"}) {
    sqlite3_stmt* st = nullptr;
    const std::string sql = std::string("SELECT * FROM ") + table + " ORDER BY rowid";
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
      throw std::runtime_error(sql + ": cannot read");
    while (sqlite3_step(st) == SQLITE_ROW) {
      for (int i = 0; i < sqlite3_column_count(st); ++i) {
        const int type = sqlite3_column_type(st, i);
        mix(&type, sizeof type);
        if (type == SQLITE_INTEGER) {
          const sqlite3_int64 v = sqlite3_column_int64(st, i);
          mix(&v, sizeof v);
        } else if (type == SQLITE_FLOAT) {
          const double v = sqlite3_column_double(st, i);
          mix(&v, sizeof v);
        } else if (type != SQLITE_NULL) {
          mix(sqlite3_column_blob(st, i), static_cast<size_t>(sqlite3_column_bytes(st, i)));
        }
      }
    }
    sqlite3_finalize(st);
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
