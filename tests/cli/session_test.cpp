#include "cli/session.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "suite/database.h"
#include "suite/sample.h"
#include "tests/cli/spawn.h"

namespace qbx::cli {
namespace {

// The read-only session's database is the one the suite's services get, and
// it refuses to write whichever way the file was opened: as immutable, or
// through the -wal a writer still holds open.
TEST(CliSession, ReadOnlySessionIsTheThreadsDatabaseAndCannotWrite) {
  const qbx::test::TempFolder dir{"quelbarix-cli"};
  const std::string path = (dir.path / "t.db").string();
  suite::CreateDatabase(path, false);
  for (const bool writer_open : {false, true}) {
    SCOPED_TRACE(writer_open ? "with a writer open" : "alone");
    std::optional<suite::Database> writer;
    if (writer_open) writer.emplace(path, false);
    ASSERT_EQ(std::filesystem::exists(path + "-wal"), writer_open);
    Session session(path, {}, Access::ReadOnly);
    EXPECT_EQ(suite::Database::ForThread().get(), &session.db());
    try {
      session.db().Exec("CREATE TABLE Otra (a)");
      ADD_FAILURE() << "wrote";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), suite::kErrDatabase);
      EXPECT_EQ(e.description(), "attempt to write a readonly database");
    }
  }
}

}  // namespace
}  // namespace qbx::cli
