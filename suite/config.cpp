#include "suite/config.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace qbx::suite {
namespace {

std::mutex g_mutex;
std::string g_db_path_override;
MessageSink g_message_sink;

std::string Environment(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value && *value ? value : fallback;
}

}  // namespace

Config CurrentConfig() {
  Config config;
  {
    std::lock_guard lock(g_mutex);
    config.db_path = g_db_path_override;
  }
  if (config.db_path.empty()) config.db_path = Environment("QUELBARIX_DB", "quelbarix.db");
  config.operator_code = Environment("QUELBARIX_OPERATOR", "ADMIN");
  config.server_id = Environment("QUELBARIX_SERVER_ID", "");
  return config;
}

void SetDatabasePath(std::string path) {
  std::lock_guard lock(g_mutex);
  g_db_path_override = std::move(path);
}

void SetMessageSink(MessageSink sink) {
  std::lock_guard lock(g_mutex);
  g_message_sink = std::move(sink);
}

void WriteMessage(std::string_view text) {
  MessageSink sink;
  {
    std::lock_guard lock(g_mutex);
    sink = g_message_sink;
  }
  if (sink) {
    sink(text);
    return;
  }
  // Unbuffered and never waits for a reader: the message shows on the
  // terminal of whoever runs the tool.
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fputc('\n', stderr);
}

}  // namespace qbx::suite
