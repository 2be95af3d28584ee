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
    ExecOrThrow(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;");
    std::string text;  // one statement at a time
    using Clock = std::chrono::steady_clock;
    Clock::duration spent{};
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

      char* error = nullptr;
      const Clock::time_point start = Clock::now();
      const int rc = sqlite3_exec(db, text.c_str(), nullptr, nullptr, &error);
      spent += Clock::now() - start;
      ++result.statements;
      if (rc != SQLITE_OK) {
        if (result.failed++ == 0)
          result.first_error = text.substr(0, 200) + ": " + (error ? error : sqlite3_errmsg(db));
      }
      sqlite3_free(error);
    }
    result.seconds = std::chrono::duration<double>(spent).count();
  } catch (...) {
    std::fclose(in);
    sqlite3_close_v2(db);
    throw;
  }
  std::fclose(in);
  sqlite3_close_v2(db);
  return result;
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
