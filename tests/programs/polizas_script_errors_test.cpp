#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "programs/script_runner.h"

namespace nv407::testing {
namespace {

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

struct BadLine {
  std::string name, line, reason;
};

void PrintTo(const BadLine& bad, std::ostream* out) {
  *out << bad.line;
}

// Every bad line comes after a screen opened for a new policy and a snapshot, and before
// another snapshot that must not be written.
class ScriptLineError : public ::testing::TestWithParam<BadLine> {
 protected:
  ScratchDir dir_;
};

TEST_P(ScriptLineError, NamesTheLineAndStopsTheScriptThere) {
  const BadLine& bad = GetParam();
  const std::string script =
      "{\"do\": \"open\", \"params\": \"NUEVO\"}\n"
      "{\"do\": \"show\"}\n"
      "\n" +
      bad.line +
      "\n"
      "{\"do\": \"show\"}\n";
  const ProgramRun run = RunScript(dir_, {"--db", NewDemoDatabase(dir_)}, script);
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_TRUE(Contains(run.err, "line 4: ")) << run.err;
  EXPECT_TRUE(Contains(run.err, bad.reason)) << run.err;
  EXPECT_EQ(EventKinds(run.lines), std::vector<std::string>{"screen"});
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ScriptLineError,
    ::testing::Values(
        BadLine{"NotJson", R"({"do": "show")", "not valid JSON"},
        BadLine{"NotAnObject", R"(["show"])", "not a JSON object"},
        BadLine{"NoAction", R"({"control": "txtFolio"})", "no \"do\""},
        BadLine{"UnknownAction", R"({"do": "dance"})", "unknown action \"dance\""},
        BadLine{"UnknownKey", R"({"do": "show", "now": "yes"})", "takes no key \"now\""},
        BadLine{"KeyOfAnotherAction",
                R"({"do": "click", "control": "cmdDescripcion", "text": "x"})",
                "takes no key \"text\""},
        BadLine{"MissingValue", R"({"do": "type", "control": "txtReferencia"})", "needs \"text\""},
        BadLine{"NumberForText", R"({"do": "choose", "control": "cbCorte", "text": 15})",
                "\"text\" must be a text"},
        BadLine{"BadDate", R"({"do": "date", "control": "dp_Ps_Fecha", "value": "15/03/2024"})",
                "must be a date"},
        BadLine{"BadButton", R"({"do": "answer", "button": "maybe"})", "\"button\" must be"},
        BadLine{"UnknownCommand", R"({"do": "toolbar", "command": "Guardar"})",
                "no toolbar command \"Guardar\""},
        BadLine{"UnknownControl", R"({"do": "type", "control": "txtNada", "text": "x"})",
                "no control named txtNada"},
        BadLine{"ControlOfAnotherKind", R"({"do": "type", "control": "cbCorte", "text": "5"})",
                "not a text box"},
        BadLine{"DisabledTextBox", R"({"do": "type", "control": "txtFolio", "text": "MTY-1"})",
                "txtFolio is disabled"},
        BadLine{"ReadOnlyTextBox",
                R"({"do": "type", "control": "txt_Sc_Descripcion", "text": "x"})", "read-only"},
        BadLine{"DisabledDateField",
                R"({"do": "date", "control": "dp_Ps_Fecha_Fin", "value": "2024-12-31"})",
                "dp_Ps_Fecha_Fin is disabled"},
        BadLine{"DisabledButton", R"({"do": "click", "control": "cmdInicializa"})",
                "cmdInicializa is disabled"},
        BadLine{"CommandNotAvailable", R"({"do": "toolbar", "command": "Nuevo"})",
                "Nuevo is not available"},
        BadLine{"MissingItem", R"({"do": "choose", "control": "cbCorte", "text": "31"})",
                "no item \"31\""},
        BadLine{"OpenTwice", R"({"do": "open"})", "already open"}),
    [](const ::testing::TestParamInfo<BadLine>& info) { return info.param.name; });

class ScriptProgramErrors : public ::testing::Test {
 protected:
  ProgramRun Run(const std::vector<std::string>& args, const std::string& input = "") {
    return RunScript(dir_, args, input);
  }
  ScratchDir dir_;
};

TEST_F(ScriptProgramErrors, ADisabledControlRefusesTheUserUntilTheScreenEnablesIt) {
  const std::string db = NewDemoDatabase(dir_);
  const std::string typing = R"({"do": "type", "control": "txtReferencia", "text": "oc-7"})";

  const ProgramRun waiting = Run({"--db", db}, "{\"do\": \"open\"}\n" + typing + "\n");
  EXPECT_EQ(waiting.exit_code, 2);
  EXPECT_TRUE(Contains(waiting.err, "line 2: txtReferencia is disabled")) << waiting.err;

  const ProgramRun capturing = Run({"--db", db},
                                   "{\"do\": \"open\"}\n"
                                   "{\"do\": \"toolbar\", \"command\": \"Nuevo\"}\n" +
                                       typing + "\n{\"do\": \"show\"}\n");
  ASSERT_EQ(capturing.exit_code, 0) << capturing.err;
  EXPECT_EQ(capturing.lines.at(0)["controls"]["txtReferencia"],
            (Json{{"text", "oc-7"}, {"enabled", true}}));
}

TEST_F(ScriptProgramErrors, ActionsBeforeTheScreenIsOpenAreRefused) {
  const std::string db = NewDemoDatabase(dir_);
  for (const std::string& line :
       {std::string(R"({"do": "show"})"), std::string(R"({"do": "activate"})"),
        std::string(R"({"do": "toolbar", "command": "Nuevo"})")}) {
    const ProgramRun run =
        Run({"--db", db}, "{\"do\": \"answer\", \"button\": \"ok\"}\n" + line + "\n");
    EXPECT_EQ(run.exit_code, 2) << line;
    EXPECT_TRUE(Contains(run.err, "line 2: ")) << run.err;
    EXPECT_TRUE(Contains(run.err, "not been opened")) << run.err;
    EXPECT_EQ(run.out, "");
  }
}

TEST_F(ScriptProgramErrors, BadCommandLinesPrintTheUsageAndRunNothing) {
  const std::string db = NewDemoDatabase(dir_);
  const std::string script = dir_.File("script.jsonl");
  WriteFile(script, "{\"do\": \"open\"}\n");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, "either --db PATH or --odbc"},
      {{script}, "either --db PATH or --odbc"},
      {{"--db", db, "--odbc", "DSN=polizas"}, "either --db PATH or --odbc"},
      {{"--db"}, "--db needs a value"},
      {{"--db", db, "--colour", "blue"}, "unknown option '--colour'"},
      {{"--db", db, "--db", db}, "--db given more than once"},
      {{"--db", db, "--clock", "yesterday"}, "--clock"},
      {{"--db", db, script, script}, "more than one SCRIPT"},
      {{"--db", db, dir_.File("missing.jsonl")}, "cannot read the script"},
      {{"--db", db, "--trace-sql", dir_.File("no/such/dir/trace.jsonl"), script},
       "cannot write the statement trace"},
  };
  for (const auto& [args, problem] : cases) {
    const ProgramRun run = Run(args);
    EXPECT_EQ(run.exit_code, 2) << problem;
    EXPECT_TRUE(Contains(run.err, problem)) << run.err;
    EXPECT_TRUE(Contains(run.err, "usage: polizas-script")) << run.err;
    EXPECT_EQ(run.out, "");
  }
}

TEST_F(ScriptProgramErrors, ADatabaseThatCannotBeOpenedIsNeverCreated) {
  const std::string missing = dir_.File("missing.db");
  const std::string not_a_database = dir_.File("notes.txt");
  WriteFile(not_a_database, "these are not the tables you are looking for\n");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--db", missing}, missing},
      {{"--db", not_a_database}, not_a_database},
      {{"--odbc", "DSN=polizas;UID=sa"}, "ODBC connections are not in this build"},
  };
  for (const auto& [args, problem] : cases) {
    const ProgramRun run = Run(args, "{\"do\": \"open\"}\n{\"do\": \"show\"}\n");
    EXPECT_EQ(run.exit_code, 1) << problem;
    EXPECT_TRUE(Contains(run.err, "cannot open the database")) << run.err;
    EXPECT_TRUE(Contains(run.err, problem)) << run.err;
    EXPECT_EQ(run.out, "");
  }
  for (const char* suffix : {"", "-wal", "-shm", "-journal"})
    EXPECT_FALSE(std::filesystem::exists(missing + suffix)) << suffix;
  EXPECT_EQ(ReadFile(not_a_database), "these are not the tables you are looking for\n");
}

}  // namespace
}  // namespace nv407::testing
