#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "component/error.h"
#include "db_test_support.h"

namespace nv407::host {
namespace {

using namespace std::chrono_literals;
using testing::Count;

class TransactionTest : public testing::DemoDatabaseTest {
 protected:
  // A second, independent session on the same file, as another process would have.
  std::unique_ptr<Database> OtherSession(int busy_timeout_ms = 30000) {
    return OpenSqliteDatabase(path_, {.busy_timeout_ms = busy_timeout_ms});
  }

  // What a save writes: a policy on the screen's connection, a note on the host's.
  static void WritePolicyAndNote(Database& database, const std::string& folio) {
    database.ForScreen().Execute("INSERT INTO Poliza_Servicio (Ps_Folio) VALUES ('" + folio + "')");
    database.ForHost().Execute(
        "INSERT INTO record_log (table_name, record_key, note) VALUES "
        "('Poliza_Servicio', '" +
        folio + "', 'Alta')");
  }
  static std::int64_t RowsOf(Database& database, const std::string& folio) {
    return Count(database.ForHost(), "Poliza_Servicio WHERE Ps_Folio = '" + folio + "'") +
           Count(database.ForHost(), "record_log WHERE record_key = '" + folio + "'");
  }
};

TEST_F(TransactionTest, RollbackUndoesScreenAndHostRecords) {
  Screen().BeginTrans();
  WritePolicyAndNote(*database_, "F1");
  EXPECT_EQ(RowsOf(*database_, "F1"), 2);  // seen inside the transaction
  // A refused statement leaves the transaction open for the caller to roll back.
  EXPECT_THROW(Screen().Execute("INSERT INTO Poliza_Servicio (Ps_Folio) VALUES ('F1')"), Error);
  EXPECT_TRUE(database_->InTransaction());
  Screen().RollbackTrans();
  EXPECT_EQ(RowsOf(*database_, "F1"), 0);

  Screen().BeginTrans();
  WritePolicyAndNote(*database_, "F2");
  Screen().CommitTrans();
  EXPECT_EQ(RowsOf(*OtherSession(), "F2"), 2);

  // The host's own writes are undone unless committed.
  {
    TransactionScope scope(Host());
    WritePolicyAndNote(*database_, "F3");
  }
  EXPECT_FALSE(database_->InTransaction());
  EXPECT_EQ(RowsOf(*database_, "F3"), 0);

  // A session that ends in a transaction, a result still open, leaves nothing behind.
  Screen().BeginTrans();
  WritePolicyAndNote(*database_, "F4");
  auto open_result = Screen().Execute("SELECT Ps_Folio FROM Poliza_Servicio");
  database_.reset();
  open_result.reset();
  EXPECT_EQ(RowsOf(*OtherSession(), "F4"), 0);
}

// A folio series moves on by an upsert that returns the new number; the write has ended
// when Execute returns, so a result left open does not hold up the commit.
TEST_F(TransactionTest, AWriteThatReturnsRowsHasFinishedWhenExecuteReturns) {
  Screen().BeginTrans();
  auto issued = Host().Execute(
      "INSERT INTO folio_series (branch, table_name, last_number) VALUES ('MTY', 'T', 7) "
      "RETURNING last_number AS v");
  Screen().CommitTrans();
  EXPECT_EQ(issued->Fields("V").Value(), Variant(7));
  EXPECT_EQ(Count(OtherSession()->ForHost(), "folio_series"), 1);
}

// Two sessions save at once: the second waits for the first's write lock instead of
// failing, and readers meanwhile see the last committed state without waiting.
TEST_F(TransactionTest, TwoSessionsSavingAtOnceBothSucceed) {
  auto first = OtherSession();
  auto second = OtherSession();
  auto reader = OtherSession(50);
  constexpr auto kHold = 300ms;

  first->ForScreen().BeginTrans();
  WritePolicyAndNote(*first, "F1");
  std::promise<void> started;
  auto saving = std::async(std::launch::async, [&] {
    started.set_value();
    const auto start = std::chrono::steady_clock::now();
    second->ForScreen().BeginTrans();
    const auto waited = std::chrono::steady_clock::now() - start;
    WritePolicyAndNote(*second, "F2");
    second->ForScreen().CommitTrans();
    return waited;
  });
  started.get_future().wait();
  EXPECT_EQ(RowsOf(*reader, "F1"), 0);
  std::this_thread::sleep_for(kHold);
  first->ForScreen().CommitTrans();

  EXPECT_GE(saving.get(), kHold / 2);
  EXPECT_EQ(RowsOf(*reader, "F1"), 2);
  EXPECT_EQ(RowsOf(*reader, "F2"), 2);
}

}  // namespace
}  // namespace nv407::host
