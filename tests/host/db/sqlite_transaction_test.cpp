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
using testing::DemoDatabaseTest;
using testing::FirstValue;

class TransactionTest : public DemoDatabaseTest {
 protected:
  // A second, independent session on the same file, as another process would have.
  std::unique_ptr<Database> OtherSession(int busy_timeout_ms = 30000) {
    SqliteOptions options;
    options.busy_timeout_ms = busy_timeout_ms;
    return OpenSqliteDatabase(path_, options);
  }

  // What a save writes: a policy on the screen's connection and a note on the host's.
  static void WritePolicyAndNote(Database& database, const std::string& folio) {
    database.ForScreen().Execute("INSERT INTO Poliza_Servicio (Ps_Folio) VALUES ('" + folio + "')");
    database.ForHost().Execute(
        "INSERT INTO record_log (table_name, record_key, note) VALUES ('Poliza_Servicio', '" +
        folio + "', 'Alta')");
    database.ForHost().Execute(
        "INSERT INTO extended_text (table_name, record_key, entry_code, text) VALUES "
        "('Poliza_Servicio', '" +
        folio + "', '0001', 'Descripción')");
  }

  static std::int64_t RowsOf(Database& database, const std::string& folio) {
    Connection& c = database.ForHost();
    return Count(c, "Poliza_Servicio WHERE Ps_Folio = '" + folio + "'") +
           Count(c, "record_log WHERE record_key = '" + folio + "'") +
           Count(c, "extended_text WHERE record_key = '" + folio + "'");
  }
};

TEST_F(TransactionTest, TransactionCommandsOutOfOrderAreErrors) {
  EXPECT_FALSE(database_->InTransaction());
  EXPECT_THROW(Screen().CommitTrans(), Error);
  EXPECT_THROW(Screen().RollbackTrans(), Error);

  Screen().BeginTrans();
  EXPECT_TRUE(database_->InTransaction());
  // One session: the host's connection sees the screen's transaction.
  EXPECT_THROW(Screen().BeginTrans(), Error);
  EXPECT_THROW(Host().BeginTrans(), Error);
  Host().CommitTrans();
  EXPECT_FALSE(database_->InTransaction());
  EXPECT_THROW(Screen().CommitTrans(), Error);
}

TEST_F(TransactionTest, RollbackUndoesScreenAndHostRecords) {
  Screen().BeginTrans();
  WritePolicyAndNote(*database_, "F1");
  EXPECT_EQ(RowsOf(*database_, "F1"), 3);  // seen inside the transaction
  // A refused statement leaves the transaction open for the caller to roll back.
  EXPECT_THROW(Screen().Execute("INSERT INTO Poliza_Servicio (Ps_Folio) VALUES ('F1')"), Error);
  EXPECT_TRUE(database_->InTransaction());
  Screen().RollbackTrans();
  EXPECT_EQ(RowsOf(*database_, "F1"), 0);

  Screen().BeginTrans();
  WritePolicyAndNote(*database_, "F2");
  Screen().CommitTrans();
  EXPECT_EQ(RowsOf(*OtherSession(), "F2"), 3);
}

TEST_F(TransactionTest, UncommittedWorkIsUndoneWhenTheSessionEnds) {
  Screen().BeginTrans();
  WritePolicyAndNote(*database_, "F1");
  auto open_result = Screen().Execute("SELECT Ps_Folio FROM Poliza_Servicio");
  database_.reset();
  open_result.reset();
  EXPECT_EQ(RowsOf(*OtherSession(), "F1"), 0);
}

// A folio series moves on by an upsert that returns the new number; the write has ended
// when Execute returns, so a result left open does not hold up the commit.
TEST_F(TransactionTest, AWriteThatReturnsRowsHasFinishedWhenExecuteReturns) {
  const auto advance = [&](const std::string& table) {
    return Host().Execute(
        "INSERT INTO folio_series (branch, table_name, last_number) VALUES ('MTY', '" + table +
        "', 1) ON CONFLICT (branch, table_name) DO UPDATE SET last_number = last_number + 1 "
        "RETURNING last_number AS v, table_name");
  };
  Screen().BeginTrans();
  auto first = advance("Poliza_Servicio");
  auto second = advance("POLIZA_SERVICIO");  // table names match without regard to case
  Screen().CommitTrans();

  EXPECT_EQ(first->Fields("v").Value(), Variant(1));
  EXPECT_EQ(second->Fields("V").Value(), Variant(2));
  EXPECT_EQ(second->Fields("table_name").Value(), Variant("Poliza_Servicio"));
  second->MoveNext();
  EXPECT_TRUE(second->Eof());
  EXPECT_EQ(Count(OtherSession()->ForHost(), "folio_series"), 1);
}

TEST_F(TransactionTest, TransactionScopeRollsBackUnlessCommitted) {
  {
    TransactionScope scope(Host());
    WritePolicyAndNote(*database_, "F1");
  }
  EXPECT_FALSE(database_->InTransaction());
  EXPECT_EQ(RowsOf(*database_, "F1"), 0);
  {
    TransactionScope scope(Host());
    WritePolicyAndNote(*database_, "F2");
    scope.Commit();
  }
  EXPECT_EQ(RowsOf(*database_, "F2"), 3);
}

TEST_F(TransactionTest, ReadersDoNotWaitForAWriter) {
  auto other = OtherSession(50);
  Screen().BeginTrans();
  WritePolicyAndNote(*database_, "F1");
  // The other session reads the last committed state at once.
  EXPECT_EQ(RowsOf(*other, "F1"), 0);
  EXPECT_EQ(Count(other->ForHost(), "Sucursal"), Count(Host(), "Sucursal"));
  Screen().CommitTrans();
  EXPECT_EQ(RowsOf(*other, "F1"), 3);
}

// Two sessions save at once: the second waits for the first's write lock instead of failing.
TEST_F(TransactionTest, TwoSessionsSavingAtOnceBothSucceed) {
  auto first = OtherSession();
  auto second = OtherSession();
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
  std::this_thread::sleep_for(kHold);
  first->ForScreen().CommitTrans();

  EXPECT_GE(saving.get(), kHold / 2);
  EXPECT_EQ(RowsOf(*database_, "F1"), 3);
  EXPECT_EQ(RowsOf(*database_, "F2"), 3);
}

}  // namespace
}  // namespace nv407::host
