#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "host/db/statement_text.h"
#include "host/db/text.h"
#include "program_run.h"

namespace nv407::testing {
namespace {

using ::testing::HasSubstr;
using Strings = std::vector<std::string>;
using Table = std::vector<Strings>;  // the header's cells, then each row's

constexpr const char* kClock = "2024-03-15T10:30:00";

// The table's columns start where its rule's dashes do; dates as the other formats write them.
Table FromTable(const std::string& text) {
  std::istringstream lines(text);
  Strings all;
  for (std::string line; std::getline(lines, line);) all.push_back(line);
  Table table;
  if (all.size() < 2) return table;
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < all[1].size(); ++i)
    if (all[1][i] == '-' && (i == 0 || all[1][i - 1] == ' ')) starts.push_back(i);
  static const std::regex day(R"((\d\d)/(\d\d)/(\d{4}))");
  for (std::size_t n = 0; n < all.size(); ++n) {
    if (n == 1) continue;
    // Positions count characters: widen the line to one byte a character first.
    std::u32string wide;
    for (std::size_t i = 0; i < all[n].size(); ++i)
      if ((all[n][i] & 0xC0) != 0x80) wide += static_cast<char32_t>(i);
    Strings cells;
    for (std::size_t c = 0; c < starts.size(); ++c) {
      const std::size_t from = starts[c] < wide.size() ? wide[starts[c]] : all[n].size();
      const std::size_t to = c + 1 < starts.size() && starts[c + 1] < wide.size()
                                 ? wide[starts[c + 1]]
                                 : all[n].size();
      std::string cell = all[n].substr(from, to - from);
      cell.erase(0, cell.find_first_not_of(' '));
      cell.erase(cell.find_last_not_of(' ') + 1);
      cells.push_back(std::regex_replace(cell, day, "$3-$2-$1"));
    }
    table.push_back(cells);
  }
  return table;
}

Table FromCsv(const std::string& text) {
  Table table;
  Strings row;
  std::string cell;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted && c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
      cell += '"';
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && (c == ',' || c == '\n')) {
      row.push_back(cell);
      cell.clear();
      if (c == '\n') table.push_back(std::exchange(row, {}));
    } else {
      cell += c;
    }
  }
  return table;
}

// The header is the keys of the first object; numbers as the table writes them.
Table FromJson(const std::string& text, const Strings& header) {
  Table table = {header};
  for (const auto& object : nlohmann::ordered_json::parse(text)) {
    Strings row;
    for (const auto& [key, value] : object.items()) {
      if (value.is_null())
        row.push_back("");
      else if (value.is_string())
        row.push_back(value.get<std::string>());
      else
        row.push_back(value.dump());
    }
    table.push_back(row);
  }
  return table;
}

Strings Column(const Table& table, std::size_t column) {
  Strings cells;
  for (std::size_t i = 1; i < table.size(); ++i) cells.push_back(table[i].at(column));
  return cells;
}

// polizas-report on a demo database dated 2024-03-15, as polizas-db makes it.
class ReportProgram : public DemoDatabaseTest {
 protected:
  ReportProgram() : DemoDatabaseTest({"--clock", kClock}) {}
  ProgramOutput Report(const Strings& args) {
    Strings all = With({"--clock", kClock});
    all.insert(all.end(), args.begin(), args.end());
    return RunProgram(dir_, "polizas-report", all, "");
  }
  // The report in the three formats, which must agree cell for cell.
  Table InEveryFormat(const Strings& report) {
    const auto out = [&](const char* format) {
      Strings args = {"--format", format};
      args.insert(args.end(), report.begin(), report.end());
      const ProgramOutput run = Report(args);
      EXPECT_EQ(run.exit_code, 0) << format << ": " << run.err;
      EXPECT_EQ(run.err, "") << format;
      return run.out;
    };
    const Table table = FromTable(out("table")), csv = FromCsv(out("csv"));
    EXPECT_EQ(table, csv) << "the table and the CSV";
    EXPECT_EQ(FromJson(out("json"), csv.empty() ? Strings{} : csv.front()), csv)
        << "the CSV and the JSON";
    return csv;
  }
};

TEST_F(ReportProgram, ExpiringListsWhatEndsWithinTheDaysSoonestFirst) {
  const Table report = InEveryFormat({"expiring", "--days", "30"});
  ASSERT_FALSE(report.empty());
  EXPECT_EQ(report.front(),
            (Strings{"Folio", "Cliente", "Nombre", "Sucursal", "Tipo", "Fin", "Días", "Uso %"}));
  EXPECT_EQ(Column(report, 0),
            (Strings{"CDMX-00004", "GDL-000003", "MTY-000002", "MTY-000003", "MTY-000009",
                     "QRO-000002", "QRO-000003", "CDMX-00002", "CDMX-00005", "GDL-000006"}));
  EXPECT_EQ(report[1], (Strings{"CDMX-00004", "C00015", "Autotransportes del Centro, S.A. de C.V.",
                                "CDMX", "SOPMEN", "2024-03-31", "16", "40"}));
  EXPECT_EQ(report.back()[6], "30");
  EXPECT_EQ(Column(InEveryFormat({"expiring", "--days", "15"}), 0), Strings{});
}

// Without a pinned clock the report's day is the server's, as the finder's and the window's
// are, wherever the computer running it stands: of two computers 26 hours apart one
// is on another day than the server.
TEST_F(ReportProgram, TodayIsTheServersDay) {
  if (TestBackend() != Backend::kPostgreSql) GTEST_SKIP() << "a file's day is its computer's";
  database_.Open()->ForHost().Execute(
      "UPDATE Poliza_Servicio SET Ps_Fecha_Inicia = Ps_Fecha, Ps_Fecha_Finaliza = "
      "CAST(GetDate() AS DATE) WHERE Ps_Folio = 'QRO-000001'");
  for (const char* zone : {"Etc/GMT+12", "Etc/GMT-14"}) {
    SCOPED_TRACE(zone);
    const ProgramOutput run = RunCommandLine(
        dir_,
        std::string("TZ=") + zone + " " +
            ProgramCommand("polizas-report", With({"--format", "csv", "expiring", "--days", "0"})),
        "", dir_ + "/stdout.txt");
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const Table report = FromCsv(run.out);
    ASSERT_EQ(report.size(), 2u) << run.out;
    EXPECT_EQ(report[1][0], "QRO-000001");
    EXPECT_EQ(report[1][6], "0");
  }
}

TEST_F(ReportProgram, UsageListsEachServiceUsedToTheShareMostUsedFirst) {
  const Table report = InEveryFormat({"usage"});
  ASSERT_GT(report.size(), 2u);
  EXPECT_EQ(report[1], (Strings{"GDL-000006", "C00012", "Agencia Aduanal del Pacífico, S.C.", "GDL",
                                "2024-04-14", "Vigente", "SOPREM", "HR", "120", "126", "105"}));
  // Exactly 80 % is in; 79 % or a cancelled policy's service never.
  EXPECT_EQ(report.back(),
            (Strings{"GDL-000003", "C00010", "Despacho Contable Ruiz y Asociados, S.C.", "GDL",
                     "2024-03-31", "Vigente", "SOPREM", "HR", "10", "8", "80"}));
  for (const Strings& row : Table(report.begin() + 1, report.end()))
    EXPECT_NE(row[5], "Cancelada") << row[0];
  const Table beyond = InEveryFormat({"usage", "--over", "101"});
  ASSERT_EQ(beyond.size(), 2u);
  EXPECT_EQ(beyond[1][0] + " " + beyond[1][6], "GDL-000006 SOPREM");
}

// A quantity near the largest a number can hold is reported at its share: the filter makes
// no product beyond that limit (infinite in SQLite, an error on the server). (JSON writes
// such a number as 1e+307 where the others write 1E+307, hence no InEveryFormat.)
TEST_F(ReportProgram, AHugeQuantityIsReportedAtItsShare) {
  database_.Open()->ForHost().Execute(
      "UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Cantidad_Incluida = 1e307, "
      "Pst_Tiempo_Utilizado = 5e306 WHERE Ps_Folio = 'GDL-000003' AND Ts_Cve_Tipo_Servicio = "
      "'SOPREM'");
  const auto shares = [&](const Strings& report) {
    Strings args = {"--format", "csv"};
    args.insert(args.end(), report.begin(), report.end());
    const ProgramOutput run = Report(args);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    Strings found;
    for (const Strings& row : FromCsv(run.out))
      if (row.at(0) == "GDL-000003" && row.at(6) == "SOPREM")
        found.push_back(row.at(8) + " " + row.at(9) + " " + row.back());
    return found;
  };
  EXPECT_EQ(shares({"usage", "--over", "100"}), Strings{});
  EXPECT_EQ(shares({"usage"}), Strings{});
  EXPECT_EQ(shares({"usage", "--over", "50"}), Strings{"1E+307 5E+306 50"});
  EXPECT_EQ(shares({"usage", "--over", "0"}), Strings{"1E+307 5E+306 50"});
}

// A quantity that is no number (a file edited by hand; a server's column takes none) is
// reported as it is stored, in every format, rather than the report stopping half-written:
// JSON stays JSON, and a CSV cell stays no formula.
TEST_F(ReportProgram, AQuantityThatIsNoNumberIsReportedAsStored) {
  if (TestBackend() != Backend::kSqlite) GTEST_SKIP() << "a server's quantity is a number";
  const auto included = [&](const std::string& service, const std::string& quantity) {
    database_.Open()->ForHost().Execute(
        "UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Cantidad_Incluida = " +
        host::QuotedText(quantity) + " WHERE Ps_Folio = 'GDL-000003' AND Ts_Cve_Tipo_Servicio = '" +
        service + "'");
  };
  included("SOPREM", "mucho");
  database_.Open()->ForHost().Execute(
      "UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Evento_Utilizado = 'xyz' WHERE Ps_Folio = "
      "'MTY-000003' AND Ts_Cve_Tipo_Servicio = 'VISITA'");
  const Table usage = InEveryFormat({"usage", "--over", "0"});
  for (const auto& [folio, service, shown] :
       {std::tuple{"GDL-000003", "SOPREM", Strings{"mucho", "8", ""}},
        std::tuple{"MTY-000003", "VISITA", Strings{"1", "xyz", ""}}}) {
    const auto row = std::find_if(usage.begin(), usage.end(), [&](const Strings& cells) {
      return cells.at(0) == folio && cells.at(6) == service;
    });
    ASSERT_NE(row, usage.end()) << folio;
    EXPECT_EQ(Strings(row->begin() + 8, row->end()), shown) << folio;
  }
  included("VISITA", "=2+2");
  const ProgramOutput csv = Report({"--format", "csv", "usage"});
  EXPECT_EQ(csv.exit_code, 0) << csv.err;
  EXPECT_THAT(csv.out, HasSubstr(",VISITA,EV,'=2+2,"));
}

TEST_F(ReportProgram, HistoryFollowsTheChainBothWaysFromAnyOfItsPolicies) {
  const Strings header = {"Folio", "Estado",  "Tipo",        "Inicio",
                          "Fin",   "Cliente", "Sustituye a", "Sustituida por"};
  const Table chain = {
      header,
      {"MTY-000005", "Cancelada", "SOPMEN", "2024-02-19", "2024-03-18", "C00004", "", "MTY-000006"},
      {"MTY-000006", "Vigente", "SOPANUAL", "2024-03-05", "2025-03-04", "C00004", "MTY-000005",
       ""}};
  EXPECT_EQ(InEveryFormat({"history", "mty-5"}), chain);
  EXPECT_EQ(InEveryFormat({"history", "MTY-000006"}), chain);
  EXPECT_EQ(Column(InEveryFormat({"history", "gdl-1"}), 0), Strings{"GDL-000001"});

  const ProgramOutput missing = Report({"history", "mty-99"});
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_EQ(missing.err, "polizas-report: there is no policy MTY-000099\n");
}

// A chain note proves nothing alone (any program that writes the record log can write one):
// a link needs the old policy cancelled and each of the two notes naming the other.
TEST_F(ReportProgram, HistoryLinksOnlyPoliciesWhoseNotesAgree) {
  const auto note = [&](const std::string& folio, const std::string& text) {
    database_.Open()->ForHost().Execute(
        "INSERT INTO record_log (table_name, record_key, note, user_code) VALUES "
        "('Poliza_Servicio', " +
        host::QuotedText(folio) + ", " + host::QuotedText(text) + ", 'ADMIN')");
  };
  // The folio, state and links of each policy of a history.
  const auto history = [&](const std::string& folio) {
    Strings rows;
    const Table report = InEveryFormat({"history", folio});
    for (std::size_t i = 1; i < report.size(); ++i)
      rows.push_back(report[i][0] + " " + report[i][1] + " <" + report[i][6] + "|" + report[i][7] +
                     ">");
    return rows;
  };
  note("MTY-000002", "Sustituida por MTY-000003");  // two live policies that name each other
  note("MTY-000003", "Sustituye a MTY-000002");
  note("MTY-000005", "Sustituida por MTY-000009");  // later than the true chain's notes
  note("MTY-000006", "Sustituye a GDL-000004");
  note("GDL-000004", "Sustituida por GDL-000005");  // cancelled, its successor silent
  EXPECT_EQ(history("mty-2"), Strings{"MTY-000002 Vigente <|>"});
  EXPECT_EQ(history("mty-3"), Strings{"MTY-000003 Vigente <|>"});
  const Strings chain = {"MTY-000005 Cancelada <|MTY-000006>", "MTY-000006 Vigente <MTY-000005|>"};
  EXPECT_EQ(history("mty-5"), chain);
  EXPECT_EQ(history("mty-6"), chain);
  EXPECT_EQ(history("mty-9"), Strings{"MTY-000009 Vigente <|>"});
  EXPECT_EQ(history("gdl-4"), Strings{"GDL-000004 Cancelada <|>"});

  note("GDL-000005", "Sustituye a GDL-000004");  // now both sides agree
  EXPECT_EQ(history("gdl-4"),
            (Strings{"GDL-000004 Cancelada <|GDL-000005>", "GDL-000005 Vencida <GDL-000004|>"}));
}

TEST_F(ReportProgram, PoliciesByStateAndClient) {
  EXPECT_EQ(InEveryFormat({"policies"}).size(), 27u) << "the header and the demo's 26";
  EXPECT_EQ(Column(InEveryFormat({"policies", "--state", "cancelled"}), 0),
            (Strings{"GDL-000004", "MTY-000005"}));
  const Table expired = InEveryFormat({"policies", "--state", "expired"});
  for (const std::string& state : Column(expired, 7)) EXPECT_EQ(state, "Vencida");
  EXPECT_EQ(Column(InEveryFormat({"policies", "--client", "C00004", "--state", "live"}), 0),
            (Strings{"GDL-000001", "MTY-000006"}));
  const Table client = InEveryFormat({"policies", "--client", " c00004"});  // as typed
  EXPECT_EQ(Column(client, 0), (Strings{"GDL-000001", "MTY-000005", "MTY-000006"}));
  EXPECT_EQ(Column(client, 8), (Strings{"17", "15", "8"}));
  const ProgramOutput unknown = Report({"policies", "--client", "C99999"});
  EXPECT_EQ(unknown.exit_code, 1);
  EXPECT_EQ(unknown.err, "polizas-report: there is no client C99999\n");
  // Accented letters are raised as the client box raises them.
  database_.Open()->ForHost().Execute("INSERT INTO Cliente (Cl_Cve_Cliente) VALUES ('ÑANDÚ1')");
  const ProgramOutput accented = Report({"policies", "--client", "ñandú1"});
  EXPECT_EQ(accented.exit_code, 0) << accented.err;
}

// Names drawn in fewer or more columns than they have characters keep the table's columns in
// line: accents written apart from their letters (as some imports store them), CJK, a flag.
TEST_F(ReportProgram, NamesOfAnyWidthKeepTheTablesColumnsInLine) {
  // Each name, and ASCII drawn in as many columns.
  const std::pair<std::string, std::string> names[] = {
      {"Jose\u0301 Pe\u0301rez", "Jose Perez"},
      {"Caf\u00E9 \u6771\u4EAC \U0001F1F2\U0001F1FD", "Cafe TOKY MX"}};
  const char* const clients[] = {"C00004", "C00007"};
  for (int i = 0; i < 2; ++i)
    database_.Open()->ForHost().Execute(
        "UPDATE Cliente SET Cl_Razon_Social_1 = " + host::QuotedText(names[i].first) +
        " WHERE Cl_Cve_Cliente = '" + clients[i] + "'");
  const auto drawn = [&](std::string text) {
    for (const auto& [name, ascii] : names)
      for (std::size_t at; (at = text.find(name)) != std::string::npos;)
        text.replace(at, name.size(), ascii);
    return text;
  };
  const ProgramOutput table = Report({"policies"});
  const ProgramOutput csv = Report({"--format", "csv", "policies"});
  ASSERT_EQ(table.exit_code, 0) << table.err;
  ASSERT_NE(csv.out.find(names[1].first), std::string::npos);
  EXPECT_EQ(FromTable(drawn(table.out)), FromCsv(drawn(csv.out)));
}

// A name as another program may have stored it: opened in a spreadsheet, the CSV runs no
// formula; printed, the table keeps each row on one line and sends the terminal nothing;
// JSON keeps it as it is.
TEST_F(ReportProgram, ANameRunsNothingWhereTheReportIsOpened) {
  const std::string formula = "=HYPERLINK(\"http://x\",\"clic\")";
  const std::string control = "Colegio\nAmericano\x1b[2J";
  for (const auto& [client, name] : {std::pair{"C00004", formula}, std::pair{"C00007", control}})
    database_.Open()->ForHost().Execute(
        "UPDATE Cliente SET Cl_Razon_Social_1 = " + host::QuotedText(name) +
        " WHERE Cl_Cve_Cliente = '" + client + "'");
  const auto names = [&](const char* format, const char* client) {
    const ProgramOutput run = Report({"--format", format, "policies", "--client", client});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    return run.out;
  };
  EXPECT_THAT(names("csv", "C00004"),
              HasSubstr(",\"'=HYPERLINK(\"\"http://x\"\",\"\"clic\"\")\","));
  EXPECT_THAT(names("json", "C00004"), HasSubstr("\"=HYPERLINK(\\\"http://x\\\",\\\"clic\\\")\""));
  const std::string table = names("table", "C00007");
  EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 3) << table;  // header, rule, row
  EXPECT_THAT(table, HasSubstr("Colegio Americano [2J"));
}

TEST_F(ReportProgram, ABrokenByteInANameIsWrittenAsTheReplacementCharacter) {
  if (TestBackend() != Backend::kSqlite) GTEST_SKIP() << "a server stores UTF-8 only";
  database_.Open()->ForHost().Execute(
      "UPDATE Cliente SET Cl_Razon_Social_1 = 'Bad ' || CAST(X'C328' AS TEXT) WHERE "
      "Cl_Cve_Cliente = 'C00004'");
  for (const char* format : {"csv", "json"}) {
    const ProgramOutput run = Report({"--format", format, "policies", "--client", "C00004"});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_TRUE(host::IsUtf8(run.out)) << format;
    EXPECT_THAT(run.out, HasSubstr("Bad \xEF\xBF\xBD(")) << format;
  }
}

// A program that only reads leaves the file as it is, byte for byte: a report and a backup
// of a file made before the finder's kept orders, in the rollback journal, neither put it
// in WAL mode nor add the orders (the report computes them as it reads).
TEST_F(ReportProgram, AReportAndABackupLeaveTheFileAsItIs) {
  if (TestBackend() != Backend::kSqlite)
    GTEST_SKIP() << "a server database is backed up by its tools";
  const std::string path = database_.ProgramArguments().at(1);
  {
    const auto old = database_.Open();
    Strings triggers;
    auto found = old->ForHost().Execute(
        "SELECT name FROM sqlite_master WHERE type = 'trigger' AND sql LIKE '%policy_order%'");
    for (; !found->Eof(); found->MoveNext())
      triggers.push_back(found->Fields("name").Value().ToText());
    found->Close();
    for (const std::string& trigger : triggers) old->ForHost().Execute("DROP TRIGGER " + trigger);
    old->ForHost().Execute("DROP TABLE policy_order");
    old->ForHost().Execute("PRAGMA journal_mode=DELETE");
  }
  const std::string before = FileText(path);
  const ProgramOutput report = Report({"--format", "csv", "policies", "--client", "C00012"});
  EXPECT_EQ(report.exit_code, 0) << report.err;
  EXPECT_THAT(report.out, HasSubstr("GDL-000006"));
  const ProgramOutput backup =
      RunProgram(dir_, "polizas-db", {"backup", path, File("copia.db")}, "");
  EXPECT_EQ(backup.exit_code, 0) << backup.err;
  EXPECT_TRUE(FileText(path) == before) << "the file changed";
  EXPECT_FALSE(std::filesystem::exists(path + "-wal"));
}

// A server database nobody has made the tables in is refused saying so, as the other
// programs refuse it.
TEST_F(ReportProgram, ADatabaseWithoutTheTablesIsRefusedSayingWhoMakesThem) {
  if (TestBackend() != Backend::kPostgreSql) GTEST_SKIP() << "a file without them does not open";
  const ServerDatabase empty(ServerDatabase::Contents::kEmpty);
  const ProgramOutput run =
      RunProgram(dir_, "polizas-report", {"--odbc", empty.ConnectionString(), "policies"}, "");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err,
            "polizas-report: the database holds no service policies: its owner makes the tables "
            "with polizas-db init --odbc\n");
}

TEST_F(ReportProgram, BadCommandLinesPrintTheUsageAndRunNothing) {
  const std::pair<Strings, std::string> cases[] = {
      {{}, "no report given"},
      {{"weekly"}, "unknown report 'weekly'"},
      {{"history"}, "history needs a FOLIO"},
      {{"history", " "}, "history needs a FOLIO"},
      {{"expiring", "--over", "80"}, "unknown option '--over'"},
      {{"expiring", "--days", "soon"}, "--days must be a whole number"},
      {{"policies", "--state", "asleep"}, "--state must be live, expired or cancelled"},
      {{"policies", "--client", " "}, "--client needs a KEY"},
      {{"--format", "xml", "usage"}, "--format must be table, csv or json"},
      {{"usage", "extra"}, "unexpected 'extra'"},
  };
  for (const auto& [args, problem] : cases) {
    const ProgramOutput run = Report(args);
    EXPECT_EQ(run.exit_code, 2) << problem;
    EXPECT_THAT(run.err, HasSubstr("polizas-report: " + problem)) << problem;
    EXPECT_THAT(run.err, HasSubstr("usage: polizas-report")) << problem;
    EXPECT_EQ(run.out, "") << problem;
  }
  const ProgramOutput no_database = RunProgram(dir_, "polizas-report", {"usage"}, "");
  EXPECT_EQ(no_database.exit_code, 2);
  const ProgramOutput version = RunProgram(dir_, "polizas-report", {"--version"}, "");
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_THAT(version.out, ::testing::StartsWith("polizas-report "));
}

}  // namespace
}  // namespace nv407::testing
