#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/db/database.h"
#include "programs/script_runner.h"
#include "screen/layout.h"

namespace nv407::testing {
namespace {

constexpr const char* kClock = "2024-03-15T10:30:00";

std::string Example(const std::string& name) {
  return std::string(POLIZAS_EXAMPLES_DIR) + "/" + name;
}

// The output block the README prints for its worked example.
std::string ReadmeExampleOutput() {
  std::ifstream file(std::string(POLIZAS_EXAMPLES_DIR) + "/../README.md");
  std::stringstream text;
  text << file.rdbuf();
  const std::string readme = text.str();
  const std::size_t intro = readme.find("Its output, exactly");
  const std::size_t begin = readme.find("```\n", intro);
  const std::size_t end = readme.find("```\n", begin + 4);
  if (intro == std::string::npos || begin == std::string::npos || end == std::string::npos)
    return "<no example output in the README>";
  return readme.substr(begin + 4, end - begin - 4);
}

// Column v of the first row, as text.
std::string Scalar(const std::string& database, const std::string& query) {
  auto db = host::OpenSqliteDatabase(database);
  auto result = db->ForHost().Execute(query);
  if (result->Eof()) return "<no row>";
  const std::string value = result->Fields("v").Value().ToText();
  result->Close();
  return value;
}

class ScriptProgram : public ::testing::Test {
 protected:
  ProgramRun Run(const std::vector<std::string>& args, const std::string& input = "") {
    return RunScript(dir_, args, input);
  }
  ScratchDir dir_;
};

TEST_F(ScriptProgram, ReadmeExampleCapturesANewPolicyAndFindsItByItsFolio) {
  const std::string db = NewDemoDatabase(dir_);
  const ProgramRun run = Run({"--db", db, "--clock", kClock, Example("new_and_find.jsonl")});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  // The editor opens, the first Aceptar is refused for the missing cut-off day, and the
  // second one saves without a message.
  ASSERT_EQ(EventKinds(run.lines),
            (std::vector<std::string>{"editor", "message", "screen", "screen", "screen"}));

  const Json& editor = run.lines[0];
  const std::string product_text =
      Scalar(db,
             "SELECT text AS v FROM product_text WHERE product_code = (SELECT Pr_Cve_Producto FROM "
             "Tipo_Poliza_Servicio WHERE Tps_Cve_Tipo_Poliza_Servicio = 'MANT90')");
  EXPECT_EQ(editor["text"], product_text.substr(0, product_text.size() - 2));
  EXPECT_EQ(editor["width"], 50);

  const Json& refusal = run.lines[1];
  EXPECT_EQ(refusal["text"], "Debe especificar los días de corte");
  EXPECT_EQ(refusal["style"], 16);
  EXPECT_EQ(refusal["title"], "Datos incompletos");
  EXPECT_EQ(refusal["module"], "NV407");
  EXPECT_EQ(refusal["id"], "ERR-ID:7500008");
  EXPECT_EQ(refusal["answer"], "ok");

  const Json& captured = run.lines[2];
  const Json& saved = run.lines[3];
  const Json& found = run.lines[4];
  const std::string folio = saved["state"]["newFolio"];
  EXPECT_EQ(Scalar(db, "SELECT group_concat(Ps_Folio) AS v FROM Poliza_Servicio"), folio);
  EXPECT_EQ(saved["controls"]["txtFolio"]["text"], "");
  EXPECT_EQ(saved["toolbar"]["busy"], false);

  // The example types the folio in lower case and without its zeros.
  EXPECT_EQ(found["controls"]["txtFolio"]["text"], folio);
  for (const char* field : {"txt_Sc_Cve_Sucursal", "txt_Sc_Descripcion", "txt_Vn_Cve_Vendedor",
                            "txt_Cl_Cve_Cliente", "txt_Tps_Cve_Tipo_Poliza", "txtReferencia",
                            "cbCorte", "txtComentario", "txt_Concepto", "txt_ID_Facturacion"}) {
    EXPECT_EQ(found["controls"][field]["text"], captured["controls"][field]["text"]) << field;
  }
  // The policy stores dates without their time.
  for (const char* field : {"dp_Ps_Fecha", "dp_Ps_Fecha_Inicio", "dp_Ps_Fecha_Fin"}) {
    const std::string typed = captured["controls"][field]["value"];
    EXPECT_EQ(found["controls"][field]["value"], typed.substr(0, 10)) << field;
  }
  EXPECT_EQ(found["services"], captured["services"]);
  EXPECT_FALSE(found["services"].empty());
  EXPECT_EQ(found["state"]["extendedDescription"], captured["state"]["extendedDescription"]);
  EXPECT_EQ(found["toolbar"]["loadedFlag"], true);
  EXPECT_EQ(found["toolbar"]["activeFlag1"], true);

  // What the README shows is what the program writes.
  EXPECT_EQ(run.out, ReadmeExampleOutput());
}

TEST_F(ScriptProgram, SnapshotWritesEveryInputControlWithItsState) {
  const ProgramRun run = Run({"--db", NewDemoDatabase(dir_), "--clock", "2024-03-15"},
                             "{\"do\": \"open\"}\n{\"do\": \"show\"}\n");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  ASSERT_EQ(EventKinds(run.lines), std::vector<std::string>{"screen"});
  const Json& screen = run.lines[0];
  const Json& controls = screen["controls"];
  // Every input control of the layout, in its order; labels have no state of their own.
  std::vector<std::string> inputs;
  for (const ControlLayout& row : frmNV407Layout().controls) {
    if (row.kind == ControlKind::kTextBox || row.kind == ControlKind::kDateField ||
        row.kind == ControlKind::kComboBox || row.kind == ControlKind::kFlatButton)
      inputs.push_back(row.name);
  }
  std::vector<std::string> names;
  for (const auto& [name, control] : controls.items()) names.push_back(name);
  EXPECT_EQ(names, inputs);
  for (const auto& [name, control] : controls.items()) {
    EXPECT_EQ(control.size(), 2u) << name;
    EXPECT_TRUE(control["enabled"].is_boolean()) << name;
  }
  // A midnight clock writes dates alone; the combo shows its (empty) text.
  EXPECT_EQ(controls["dp_Ps_Fecha"], (Json{{"value", "2024-03-15"}, {"enabled", false}}));
  EXPECT_EQ(controls["cbCorte"], (Json{{"text", ""}, {"enabled", false}}));
  EXPECT_EQ(controls["txtFolio"], (Json{{"text", ""}, {"enabled", true}}));
  EXPECT_EQ(screen["focus"], "txtFolio");
  EXPECT_EQ(screen["services"], Json::array());
  EXPECT_EQ(screen["toolbar"].size(), 6u);
  EXPECT_EQ(screen["state"]["newFolio"], "");
}

TEST_F(ScriptProgram, OperatorAndClockComeFromTheCommandLine) {
  struct Case {
    std::vector<std::string> options;
    bool permissions;
    std::string date;
  };
  const std::vector<Case> cases = {
      {{}, true, ""},  // ADMIN, the system clock
      {{"--user", "CAPTURA", "--clock", "2023-12-31T23:59:58"}, false, "2023-12-31T23:59:58"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--db", NewDemoDatabase(dir_, "db" + c.date)};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const ProgramRun run = Run(args, "{\"do\": \"open\"}\n{\"do\": \"show\"}\n");
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const Json& state = run.lines.at(0)["state"];
    EXPECT_EQ(state["canChangeDate"], c.permissions);
    EXPECT_EQ(state["canInitServices"], c.permissions);
    if (!c.date.empty()) {
      EXPECT_EQ(run.lines[0]["controls"]["dp_Ps_Fecha"]["value"], c.date);
    }
  }
}

TEST_F(ScriptProgram, PinnedClockMakesRunsRepeatAndStampsTheDatabase) {
  std::vector<std::string> outputs;
  for (const char* name : {"first.db", "second.db"}) {
    const std::string db = NewDemoDatabase(dir_, name);
    const ProgramRun run = Run({"--db", db, "--clock", kClock, Example("new_and_find.jsonl")});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    outputs.push_back(run.out);
    EXPECT_EQ(Scalar(db, "SELECT Fecha_Alta AS v FROM Poliza_Servicio"), "2024-03-15 10:30:00");
  }
  EXPECT_EQ(outputs[0], outputs[1]);
}

TEST_F(ScriptProgram, AnswersEditorResultsViewerAndClosingAreWrittenAsTheyHappen) {
  const std::string db = NewDemoDatabase(dir_);
  ASSERT_EQ(Run({"--db", db, "--clock", kClock, Example("new_and_find.jsonl")}).exit_code, 0);
  const std::string folio = Scalar(db, "SELECT Ps_Folio AS v FROM Poliza_Servicio");

  // No answer queued: the reset question gets its default (No); then Yes as queued.
  const ProgramRun run = Run({"--db", db, "--clock", kClock},
                             "{\"do\": \"open\"}\n"
                             "{\"do\": \"type\", \"control\": \"txtFolio\", \"text\": \"" +
                                 folio +
                                 "\"}\n"
                                 "{\"do\": \"click\", \"control\": \"cmdInicializa\"}\n"
                                 "{\"do\": \"answer\", \"button\": \"yes\"}\n"
                                 "{\"do\": \"click\", \"control\": \"cmdInicializa\"}\n"
                                 "{\"do\": \"toolbar\", \"command\": \"Consultar\"}\n"
                                 "{\"do\": \"toolbar\", \"command\": \"Salir\"}\n");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  ASSERT_EQ(EventKinds(run.lines),
            (std::vector<std::string>{"message", "message", "viewer", "closed"}));
  EXPECT_EQ(run.lines[0]["answer"], "no");
  EXPECT_EQ(run.lines[1]["answer"], "yes");
  EXPECT_EQ(run.lines[1]["style"], 292);
  EXPECT_EQ(Scalar(db, "SELECT COUNT(*) AS v FROM record_log"), "1")
      << "only the answered reset ran";
  EXPECT_EQ(run.lines[2], (Json{{"event", "viewer"},
                                {"table", "POLIZA_SERVICIO"},
                                {"keyColumn", "Ps_Folio"},
                                {"key", folio}}));
}

TEST_F(ScriptProgram, TraceHoldsEveryStatementInOrderWithWhoRanIt) {
  const std::string db = NewDemoDatabase(dir_);
  const std::string trace = dir_.File("trace.jsonl");
  const ProgramRun run =
      Run({"--db", db, "--clock", kClock, "--trace-sql", trace, Example("new_and_find.jsonl")});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const std::string folio = Events(run.lines, "screen").at(1)["state"]["newFolio"];

  const std::vector<Json> statements = ReadJsonLines(trace);
  auto position = [&](const std::string& by, const std::string& start) {
    const auto it = std::find_if(statements.begin(), statements.end(), [&](const Json& s) {
      return s["by"] == by && s["sql"].get<std::string>().starts_with(start);
    });
    EXPECT_NE(it, statements.end()) << by << ": " << start;
    return it - statements.begin();
  };
  for (const Json& statement : statements) {
    EXPECT_EQ(statement.size(), 2u) << statement;
    EXPECT_TRUE(statement["by"] == "screen" || statement["by"] == "host") << statement;
  }
  // Catalogue look-ups belong to the key fields (the host's controls); the save and the
  // folio load are the screen's; the folio comes from the host's series in between.
  const auto branch = position("host", "select sc_descripcion from Sucursal");
  const auto folio_series = position("host", "INSERT INTO folio_series");
  const auto header = position("screen", "INSERT INTO Poliza_Servicio(");
  const auto services = position("screen", "INSERT INTO Poliza_Servicio_Tipo_Servicio ");
  const auto load = position("screen", "SELECT Poliza_Servicio.*");
  EXPECT_LT(branch, folio_series);
  EXPECT_LT(folio_series, header);
  EXPECT_LT(header, services);
  EXPECT_LT(services, load);
  EXPECT_NE(statements[header]["sql"].get<std::string>().find("'" + folio + "'"),
            std::string::npos);
  EXPECT_NE(statements[load]["sql"].get<std::string>().find("= '" + folio + "'"),
            std::string::npos);
}

TEST_F(ScriptProgram, ScriptComesFromStandardInputWithBlankLinesSkipped) {
  const ProgramRun run = Run({"--db", NewDemoDatabase(dir_)},
                             "\n{\"do\": \"open\", \"params\": \"nuevo\"}\r\n   \n"
                             "{\"do\": \"date\", \"control\": \"dp_Ps_Fecha_Inicio\", "
                             "\"value\": \"2024-04-01\"}\n{\"do\": \"show\"}\n");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  ASSERT_EQ(EventKinds(run.lines), std::vector<std::string>{"screen"});
  EXPECT_EQ(run.lines[0]["toolbar"]["busy"], true);  // opened for a new policy
  EXPECT_EQ(run.lines[0]["controls"]["dp_Ps_Fecha_Inicio"]["value"], "2024-04-01");
  EXPECT_EQ(run.lines[0]["focus"], "dp_Ps_Fecha_Inicio");
}

}  // namespace
}  // namespace nv407::testing
