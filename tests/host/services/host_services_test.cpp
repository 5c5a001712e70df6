#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "host/db/database.h"
#include "host/db/statement_text.h"
#include "host/db/text.h"
#include "host/headless/control_factory.h"
#include "host/headless/scripted_dialogs.h"
#include "host/services/folio.h"
#include "host/services/host_records.h"
#include "host/services/reference_host.h"
#include "support/test_backend.h"
#include "support/test_database.h"
#include "support/test_form.h"

namespace nv407::testing {
namespace {

// The reference host's services over one database, for one operator, on the given clock,
// with scripted dialogs and the headless control set.
struct Services {
  Services(host::Database& database, host::Clock clock,
           const std::string& user = kOperatorWithPermissions)
      : factory(database, dialogs),
        host(database, dialogs, factory, {user, std::move(clock)}),
        app(host.CreateAppServices()),
        utility(host.CreateUtilityServices()) {}

  host::ScriptedDialogs dialogs;
  host::HeadlessControlFactory factory;
  host::ReferenceHost host;
  std::unique_ptr<AppServices> app;
  std::unique_ptr<UtilityServices> utility;
};

class HostServicesTest : public ::testing::Test {
 protected:
  HostServicesTest() { db.SetNow(Date::FromYmd(2024, 3, 15, 10, 20, 30)); }

  TestDatabase db;
  Services services{db.db(), db.clock(), "CAPTURA"};
  UtilityServices& utility = *services.utility;
};

// The screen's save tests hold the texts and notes of a policy and their rollback; here,
// the keys they are filed under: the table in either spelling is one, each entry its own.
TEST_F(HostServicesTest, TextsNotesParametersAndTransactionsAreFoundByTheirKeys) {
  const std::string text = "L\xc3\xadnea 1 con 'comillas'\r\nL\xc3\xadnea 2; DROP TABLE x; --";
  EXPECT_TRUE(utility.SaveExtendedText("Poliza_Servicio", "MTY-000001", "0001", "first") &&
              utility.SaveExtendedText("POLIZA_SERVICIO", "MTY-000001", "0001", text) &&
              utility.SaveExtendedText("Poliza_Servicio", "MTY-000001", "0002", "other entry"));
  EXPECT_EQ(utility.ReadExtendedText("Poliza_Servicio", "MTY-000001", "0001") + "|" +
                utility.ReadExtendedText("Poliza_Servicio", "MTY-000001", "0002") + "|" +
                utility.ReadExtendedText("Poliza_Servicio", "MTY-000002", "0001"),
            text + "|other entry|");

  PolicyRow policy;  // MTY-000001: a policy's notes are of a stored policy
  db.AddPolicy((policy.date = "2024-03-15", policy));
  utility.LogRecordEvent("POLIZA_SERVICIO", "MTY-000001", "Baja");
  utility.LogRecordEvent("Poliza_Servicio", "MTY-000001", "Servicio 'A'\r\n 2 HR");
  EXPECT_EQ(db.Joined("SELECT table_name || '|' || record_key || '|' || note || '|' || "
                      "user_code || '|' || logged_at AS v FROM record_log ORDER BY id",
                      "#"),
            "Poliza_Servicio|MTY-000001|Baja|CAPTURA|2024-03-15 10:20:30#"
            "Poliza_Servicio|MTY-000001|Servicio 'A'\r\n 2 HR|CAPTURA|2024-03-15 10:20:30");

  // Parameters, product texts and transactions fall back when missing.
  db.Execute(
      "INSERT INTO host_parameter (name, value) VALUES ('FTO_PRUEBA', '00'), "
      "('O''NAME', 'it''s'), ('FTO_NULO', NULL), ('FTO_NUMERO', 8)");
  std::string values;  // texts, or Empty
  for (const char* name : {"FTO_PRUEBA", "O'NAME", "FTO_NUMERO", "FTO_NULO", "FTO_DESCONOCIDO"}) {
    const Variant value = services.app->GetParameter(name, 0, "", "");
    values += (value.IsEmpty() ? "<empty>" : value.ToText()) + "|";
  }
  EXPECT_EQ(values, "00|it's|8|<empty>|<empty>|");

  db.Execute("INSERT INTO product_text (product_code, text) VALUES ('P''01', 'Soporte ''24x7''')");
  // The demo resolves NV407 of Zembrel.
  EXPECT_EQ(utility.GetProductText("P'01") + "|" + utility.GetProductText("NO-EXISTE") + "|" +
                utility.ResolveTransaction("NV407", "Zembrel") + " " +
                utility.ResolveTransaction("NV407", "Otra") + " " +
                utility.ResolveTransaction("NV999", "Zembrel"),
            "Soporte '24x7'||SERV0407 NV407 NV999");
}

// The demo operators: ADMIN holds both keys of NV407, CAPTURA holds CHFECHA of NV410 only.
TEST_F(HostServicesTest, PermissionsArePerOperatorAndModule) {
  std::string held;
  for (const char* user : {"ADMIN", "CAPTURA", "NADIE", ""}) {
    Services as(db.db(), db.clock(), user);
    held += std::string(user) + ":";
    for (const auto& [module, key] : {std::pair{"NV407", "CHFECHA"}, std::pair{"NV407", "INISERV"},
                                      std::pair{"NV410", "CHFECHA"}, std::pair{"NV410", "INISERV"}})
      if (as.app->HasPermission(module, key, "No disponible"))
        held += std::string(" ") + module + "/" + key;
    held += "; ";
  }
  EXPECT_EQ(held, "ADMIN: NV407/CHFECHA NV407/INISERV; CAPTURA: NV410/CHFECHA; NADIE:; :; ");
}

// What clearing and enabling do to the screen's fields is held by the screen's tests;
// here, which controls a group is: the tag as written, so "01", " 1" and "10" are not group 1.
TEST_F(HostServicesTest, AGroupOfFieldsIsTheTagAsWritten) {
  std::vector<ControlLayout> rows;
  for (const char* tag : {"1", "01", " 1", "10", "2", ""}) {
    rows.push_back(Row(ControlKind::kTextBox, std::string("t[") + tag + "]", -1, {}, false));
    rows.back().tag = tag;
  }
  rows.push_back(Row(ControlKind::kComboBox, "dias", -1, {}, false));
  rows.back().tag = "1";
  TestForm form(services.factory, rows);
  for (Control* control : form.Controls())
    if (auto* text = dynamic_cast<TextBox*>(control)) text->SetText("x");
  auto& days = form.Get<ComboBox>("dias");
  days.AddItem("1", 1);
  days.SetSelectedValue(1);

  utility.ClearFields(form, 1);
  utility.EnableFields(form, 2);

  std::string shown;
  for (Control* control : form.Controls())
    if (auto* text = dynamic_cast<TextBox*>(control))
      shown += control->Name() + "=" + text->Text() + (control->Enabled() ? "+ " : " ");
  // The combo box is emptied, but keeps its items.
  EXPECT_EQ(shown + days.Text() + "/" + std::to_string(days.ItemCount()),
            "t[1]= t[01]=x t[ 1]=x t[10]=x t[2]=x+ t[]=x /1");
}

// Beyond the ways of typing an issued folio (below): blanks anywhere around the dash,
// surplus zeros, a number too long for its digits (kept whole, never cut to another folio),
// and texts that are no folio (trimmed and upper-cased only).
TEST(FormatFolio, BringsWhatUsersTypeToStoredFormAndRoundTripsIssuedFolios) {
  std::string stored;
  for (const char* typed : {" \t01-0000012\r\n", "01 - 12", "01-000000012", "01-0", "01-123456789",
                            "01-0123456789", "   ", "abc", "-12", "01-", "01-12a", "01-1 2"})
    stored += host::FormatFolio(typed) + "|";
  EXPECT_EQ(stored,
            "01-0000012|01-0000012|01-0000012|01-0000000|01-123456789|01-123456789||ABC|-12|01-|"
            "01-12A|01-1 2|");
  // Every issued folio is its own stored form, and each way of typing it comes back to it.
  for (const char* branch : {"01", "mty", "A", "SUC-2", "ABCDEFG"}) {
    for (std::int64_t number : {1, 12, 99}) {
      const auto folio = host::MakeFolio(host::FolioBranch(branch), number, host::kFolioWidth);
      ASSERT_TRUE(folio) << branch << " " << number;
      const std::string bare = std::string(branch) + "-" + std::to_string(number);
      for (const std::string& text :
           {*folio, bare, "  " + bare + " ", host::AsciiUpper(bare) + "\t"})
        EXPECT_EQ(host::FormatFolio(text), *folio) << "typed \"" << text << "\"";
    }
  }
  // A branch as its key field takes it (ñ upper-cased), its width in characters.
  EXPECT_EQ(host::FolioBranch("pe\xc3\xb1"), "PE\xc3\x91");
  EXPECT_EQ(host::MakeFolio("PE\xc3\x91", 1, host::kFolioWidth), "PE\xc3\x91-000001");
  EXPECT_EQ(host::FormatFolio(" pe\xc3\xb1-1"), "PE\xc3\x91-000001");
}

// Each branch and table has its own series: the table matched in any case, a blank branch or
// table gets none; the width sets the digits (0: the host's), at least one, so an
// eight-character branch has nine folios, then none. Folios that another tool wrote to the
// policy table are passed by.
// Each dialect's statement takes exactly the values it is given, with the new folio checked
// where the dialect can tell it in the same statement and without. (Only SQLite and
// PostgreSQL run here; SQL Server's statement is checked by its text alone.)
TEST(FolioSeries, EachDialectsStatementTakesTheValuesItIsGiven) {
  const host::FolioCheck check{host::FindKnownTable("Poliza_Servicio"), "MTY-", 6};
  for (const host::SqlDialect dialect :
       {host::SqlDialect::kSqlite, host::SqlDialect::kPostgreSql, host::SqlDialect::kSqlServer}) {
    for (const host::FolioCheck& checked : {host::FolioCheck{}, check}) {
      const host::FolioSeriesStatement statement =
          host::AdvanceFolioSeriesStatement(dialect, "MTY", "Poliza_Servicio", 999999, checked);
      EXPECT_NO_THROW(host::WithValuesInPlace(statement.sql, statement.values)) << statement.sql;
      EXPECT_EQ(statement.checked,
                checked.table != nullptr && dialect != host::SqlDialect::kSqlServer);
      EXPECT_EQ(statement.sql.find("taken") != std::string::npos, statement.checked);
    }
  }
}

TEST(FolioSeries, EachBranchAndTableHasItsOwnSeriesUntilItIsExhausted) {
  TestDatabase db;
  Services services{db.db(), db.clock()};
  PolicyRow policy;
  for (const char* folio : {"QRO-000001", "QRO-000002", "QRO-000004"})
    db.AddPolicy((policy.folio = folio, policy));
  std::string issued;
  const auto issue = [&](const std::string& branch, const std::string& table = "Poliza_Servicio",
                         int width = 10) {
    const Variant folio = services.utility->NextFolio(branch, table, width, -1);
    issued += (folio.IsEmpty() ? "<empty>" : folio.ToText()) + " ";
  };
  for (const char* branch : {"MTY", "MTY", "GDL", " mty ", "CDMX", "A", "A-1", "A-1", "", " \t",
                             "QRO", "QRO", "SUCURSAL10"})
    issue(branch);
  issue("MTY", "POLIZA_SERVICIO");
  issue("MTY", "Otra_Tabla");
  issue("MTY", " ");
  for (int width : {6, 12, 0}) issue("01", "Poliza_Servicio", width);
  for (int n = 1; n <= 11; ++n) issue("SUCURSAL");
  EXPECT_EQ(issued,
            "MTY-000001 MTY-000002 GDL-000001 MTY-000003 CDMX-00001 A-00000001 A-1-000001 "
            "A-1-000002 <empty> <empty> QRO-000003 QRO-000005 SUCURSAL10-1 MTY-000004 MTY-000001 "
            "<empty> 01-001 01-000000002 01-0000003 SUCURSAL-1 SUCURSAL-2 SUCURSAL-3 SUCURSAL-4 "
            "SUCURSAL-5 SUCURSAL-6 SUCURSAL-7 SUCURSAL-8 SUCURSAL-9 <empty> <empty> ");
  // Nothing is stored for a blank branch or table; an exhausted series stays at its last.
  EXPECT_EQ(db.Joined("SELECT branch || '/' || table_name || '/' || last_number AS v "
                      "FROM folio_series ORDER BY v",
                      " "),
            "01/Poliza_Servicio/3 A-1/Poliza_Servicio/2 A/Poliza_Servicio/1 "
            "CDMX/Poliza_Servicio/1 GDL/Poliza_Servicio/1 MTY/Otra_Tabla/1 MTY/Poliza_Servicio/4 "
            "QRO/Poliza_Servicio/5 SUCURSAL/Poliza_Servicio/9 SUCURSAL10/Poliza_Servicio/1");
}

// Several processes saving at once, each through its own session on one database, outside
// any transaction (saves inside transactions: the programs' tests, eight polizas-script
// saving at once).
class FolioProcesses : public ::testing::Test {
 protected:
  // Opens its own session, says it is ready, waits for the start signal, then saves: a
  // folio and a text under it. A folio issued twice replaces its text, which the parent
  // counts.
  [[noreturn]] void SaveInChild(int ready_fd, int start_fd) {
    try {
      auto database = scratch_.Open();
      Services services(*database, {});
      char signal = 'r';
      if (::write(ready_fd, &signal, 1) != 1 || ::read(start_fd, &signal, 1) != 1) ::_exit(2);
      for (int i = 0; i < 200; ++i) {
        const std::string folio =
            services.utility->NextFolio("01", "Poliza_Servicio", 10, -1).ToText();
        if (!services.utility->SaveExtendedText("Poliza_Servicio", folio, "0001", "x")) ::_exit(3);
        ::usleep(300);  // a user's pause between saves, in which the other process gets in
      }
    } catch (const std::exception& e) {
      std::fprintf(stderr, "child: %s\n", e.what());
      ::_exit(1);
    }
    ::_exit(0);
  }

  ScratchDatabase scratch_{ScratchDatabase::Contents::kSchema};
};

TEST_F(FolioProcesses, NeverIssueTheSameFolioTwice) {
  constexpr int kChildren = 2;
  int ready[2], start[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(start), 0);
  for (int child = 0; child < kChildren; ++child) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) SaveInChild(ready[1], start[0]);
  }
  // Both sessions are open before either issues a folio.
  for (char signal, child = 0; child < kChildren; ++child)
    ASSERT_EQ(::read(ready[0], &signal, 1), 1);
  ASSERT_EQ(::write(start[1], "gogo", kChildren), kChildren);
  for (int fd : {ready[0], ready[1], start[0], start[1]}) ::close(fd);
  int exited = 0;
  for (int status = 0; ::wait(&status) > 0; ++exited)
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  ASSERT_EQ(exited, kChildren);
  // 400 different folios: together they used the series without a gap.
  auto database = scratch_.Open();
  auto saved = database->ForHost().Execute(
      "SELECT COUNT(*) || ' ' || MIN(record_key) || ' ' || MAX(record_key) AS v FROM "
      "extended_text");
  EXPECT_EQ(saved->Fields("v").Value(), Variant("400 01-0000001 01-0000400"));
}

}  // namespace
}  // namespace nv407::testing
