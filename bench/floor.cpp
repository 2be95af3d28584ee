#include "bench/floor.h"

#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "suite/connection.h"

namespace qbx::bench {
namespace {

constexpr size_t kFileBuffer = 1 << 20;

sqlite3* Open(const std::string& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
      SQLITE_OK) {
    std::string message = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close_v2(db);
    throw std::runtime_error("cannot open " + path + ": " + message);
  }
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, suite::kBusyTimeoutMs);
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

ReplayResult Replay(const std::string& recording, const std::string& db_path) {
  std::FILE* in = std::fopen(recording.c_str(), "rb");
  if (!in) throw std::runtime_error("cannot read " + recording);
  std::setvbuf(in, nullptr, _IOFBF, kFileBuffer);
  sqlite3* db = Open(db_path);
  ReplayResult result;
  try {
    ExecOrThrow(db, std::string(suite::kConnectionSettings).c_str());
    if (const char* tmp = std::getenv("QBX_AUTOCKPT")) ExecOrThrow(db, (std::string("PRAGMA wal_autocheckpoint=") + tmp).c_str());
    std::string text;  // one statement at a time
    using Clock = std::chrono::steady_clock;
    Clock::duration compiling{};
    Clock::duration running{};
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
      if (origin == 'C') text = suite::RewriteTop(text);

      // Compiled and stepped to the end, one statement of the text at a time.
      const char* sql = text.c_str();
      bool ok = true;
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
    }
    result.run_seconds = std::chrono::duration<double>(running).count();
    result.seconds = result.run_seconds + std::chrono::duration<double>(compiling).count();
  } catch (...) {
    std::fclose(in);
    sqlite3_close_v2(db);
    throw;
  }
  std::fclose(in);
  sqlite3_close_v2(db);
  return result;
}

uint64_t ComponentRowsDigest(const std::string& db_path) {
  sqlite3* db = Open(db_path);
  uint64_t hash = 1469598103934665603ull;  // FNV-1a
  auto mix = [&](const void* data, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
  };
  for (const char* table : {"Transferencia", "Traslado", "Pedido"}) {
    sqlite3_stmt* st = nullptr;
    const std::string sql = std::string("SELECT * FROM ") + table + " ORDER BY rowid";
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
      sqlite3_close_v2(db);
      throw std::runtime_error(sql + ": cannot read");
    }
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
  sqlite3_close_v2(db);
  return hash;
}

void RemoveDatabase(const std::string& path) {
  std::error_code ignored;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"})
    std::filesystem::remove(path + suffix, ignored);
}

void CopyDatabase(const std::string& src, const std::string& dst) {
  sqlite3* db = Open(src);
  try {
    ExecOrThrow(db, "PRAGMA wal_checkpoint(TRUNCATE);");
  } catch (...) {
    sqlite3_close_v2(db);
    throw;
  }
  sqlite3_close_v2(db);
  RemoveDatabase(dst);
  std::filesystem::copy_file(src, dst);
}

}  // namespace qbx::bench
