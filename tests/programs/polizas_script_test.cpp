#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "component/date.h"
#include "host/db/database.h"
#include "host/db/system_clock.h"
#include "host/services/operator_records.h"
#include "program_run.h"
#include "support/test_backend.h"

namespace nv407::testing {
namespace {

using host::ReadClock;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using Json = nlohmann::ordered_json;  // keeps the order in which the program wrote the keys
using Strings = std::vector<std::string>;

constexpr const char* kClock = "2024-03-15T10:30:00";

// One JSON value a line; a line that is not JSON fails the test with the parser's exception.
std::vector<Json> JsonLines(const std::string& text) {
  std::vector<Json> values;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) values.push_back(Json::parse(line));
  return values;
}

Strings EventKinds(const std::vector<Json>& lines) {
  Strings kinds;
  for (const Json& line : lines) kinds.push_back(line.value("event", "?"));
  return kinds;
}

// The output block the README prints for its worked example.
std::string ReadmeExampleOutput() {
  const std::string readme = FileText(std::string(POLIZAS_EXAMPLES_DIR) + "/../README.md");
  const std::size_t begin = readme.find("```\n", readme.find("Its output, exactly"));
  const std::size_t end = begin == std::string::npos ? begin : readme.find("```\n", begin + 4);
  if (end == std::string::npos) return "<no example output in the README>";
  return readme.substr(begin + 4, end - begin - 4);
}

// What each control of a snapshot shows, whether or not it is enabled.
Json Shown(const Json& screen) {
  Json shown = Json::object();
  for (const auto& [name, control] : screen["controls"].items())
    shown[name] = control.contains("value") ? control["value"] : control["text"];
  return shown;
}

struct ProgramRun : ProgramOutput {
  std::vector<Json> lines;  // standard output of polizas-script, one JSON value a line
};

// polizas-script (and polizas-db) on a demo database.
class ScriptProgram : public DemoDatabaseTest {
 protected:
  // `as_user`: run by that system user instead (only root can, and needs to: root writes
  // write-protected files).
  ProgramRun Run(const Strings& args, const std::string& input = "",
                 const std::string& program = "polizas-script", const std::string& as_user = "") {
    ProgramRun run{RunProgram(dir_, program, args, input, as_user), {}};
    if (program == "polizas-script") run.lines = JsonLines(run.out);
    return run;
  }
  // The README's example with the pinned clock.
  ProgramRun RunExample(const Strings& options = {}) {
    Strings all = With(options);
    all.insert(all.end(),
               {"--clock", kClock, std::string(POLIZAS_EXAMPLES_DIR) + "/new_and_find.jsonl"});
    return Run(all);
  }
  // A password file of the scratch folder, its owner's alone as the programs ask; its path.
  std::string PasswordFile(const std::string& name, const std::string& text) {
    std::ofstream(File(name), std::ios::binary) << text;
    std::filesystem::permissions(
        File(name), std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    return File(name);
  }
};

// The demo's product texts end as the catalogue keeps them, in a line end the screen drops
// when it proposes one: each proposal is the whole text.
TEST_F(ScriptProgram, TheDemosProposedExtendedDescriptionsAreWholeSentences) {
  std::string script = R"({"do": "open"})"
                       "\n";
  for (const char* type : {"MANT90", "GAR12", "SOPMEN", "SOPANUAL"}) {
    script += R"({"do": "toolbar", "command": "Nuevo"})"
              "\n";
    for (const auto& [control, key] :
         {std::pair{"txt_Sc_Cve_Sucursal", "MTY"}, std::pair{"txt_Vn_Cve_Vendedor", "V002"},
          std::pair{"txt_Cl_Cve_Cliente", "C00003"}, std::pair{"txt_Tps_Cve_Tipo_Poliza", type}})
      script += std::string(R"({"do": "type", "control": ")") + control + R"(", "text": ")" + key +
                "\"}\n";
    script += R"({"do": "click", "control": "cmdDescripcion"})"
              "\n";
    script += R"({"do": "answer", "button": "yes"})"
              "\n";
    script += R"({"do": "toolbar", "command": "Cancelar"})"
              "\n";
  }
  const ProgramRun run = Run(With({"--clock", kClock}), script);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  int proposals = 0;
  for (const Json& line : run.lines) {
    if (line["event"] != "editor") continue;
    ++proposals;
    EXPECT_THAT(line["text"].get<std::string>(), EndsWith(".")) << line["concept"];
  }
  EXPECT_EQ(proposals, 4);
}

// The README's example, its statements traced to a file (which leaves its output as printed).
TEST_F(ScriptProgram, ReadmeExampleCapturesANewPolicyFindsItByItsFolioAndTracesItsStatements) {
  const ProgramRun run = RunExample({"--trace-sql", File("trace.jsonl")});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, ReadmeExampleOutput());
  // The first Aceptar is refused for the missing cut-off day; the second one saves quietly.
  ASSERT_EQ(EventKinds(run.lines), (Strings{"editor", "message", "screen", "screen", "screen"}));
  const Json &captured = run.lines[2], &saved = run.lines[3], &found = run.lines[4];
  const std::string folio = saved["state"]["newFolio"];

  // Found by its folio (typed in lower case, without its zeros), the policy shows what was
  // captured; it stores its dates without their time.
  Json expected = Shown(captured);
  expected["txtFolio"] = folio;
  for (const char* date : {"dp_Ps_Fecha", "dp_Ps_Fecha_Inicio", "dp_Ps_Fecha_Fin"})
    expected[date] = expected[date].get<std::string>().substr(0, 10);
  EXPECT_EQ(Shown(found), expected);
  EXPECT_FALSE(found["services"].empty());
  EXPECT_EQ(found["services"], captured["services"]);
  EXPECT_EQ(found["state"]["extendedDescription"], captured["state"]["extendedDescription"]);

  // Every statement in order with who ran it.
  const std::vector<Json> statements = JsonLines(FileText(File("trace.jsonl")));
  for (const Json& s : statements)
    EXPECT_TRUE(s.size() == 2 && (s["by"] == "screen" || s["by"] == "host") && s["sql"].is_string())
        << s;

  // Catalogue look-ups belong to the key fields (the host's controls); the save and the folio
  // load are the screen's; the folio comes from the host's series in between.
  const Strings steps[] = {{"host", "select sc_descripcion from Sucursal", ""},
                           {"host", "INSERT INTO folio_series", ""},
                           {"screen", "INSERT INTO Poliza_Servicio(", "'" + folio + "'"},
                           {"screen", "INSERT INTO Poliza_Servicio_Tipo_Servicio ", ""},
                           {"screen", "SELECT Poliza_Servicio.*", "= '" + folio + "'"}};
  std::ptrdiff_t previous = -1;
  for (const Strings& step : steps) {  // by, how the first one starts, what it holds
    const auto first = std::find_if(statements.begin(), statements.end(), [&](const Json& s) {
      return s["by"] == step[0] && s["sql"].get<std::string>().starts_with(step[1]);
    });
    ASSERT_NE(first, statements.end()) << step[0] << ": " << step[1];
    EXPECT_GT(first - statements.begin(), previous) << step[1];
    EXPECT_THAT((*first)["sql"].get<std::string>(), HasSubstr(step[2]));
    previous = first - statements.begin();
  }
}

// A program outside the build, as an installation has it, loads the component installed
// beside it; without one it refuses, naming the file it lacks, rather than load the build's.
TEST_F(ScriptProgram, AnInstalledProgramLoadsOnlyTheComponentInstalledWithIt) {
  namespace fs = std::filesystem;
  const fs::path bin = File("usr/bin");
  fs::create_directories(bin);
  fs::copy_file(BuiltProgram("polizas-script"), bin / "polizas-script");
  Strings args = With({"--clock", kClock});
  args.push_back(std::string(POLIZAS_EXAMPLES_DIR) + "/new_and_find.jsonl");
  const auto run = [&] {
    return RunCommandLine(dir_, "env -u NV407_PLUGIN " + CommandLine(bin / "polizas-script", args),
                          "", File("stdout.txt"));
  };
  const fs::path component = (bin / NV407_PLUGIN_INSTALLED).lexically_normal();

  const ProgramOutput missing = run();
  EXPECT_NE(missing.exit_code, 0);
  EXPECT_EQ(missing.out, "");
  EXPECT_THAT(missing.err, HasSubstr("Cannot load the component " + component.string()));

  fs::create_directories(component.parent_path());
  fs::copy_file(POLIZAS_COMPONENT_FILE, component);
  const ProgramOutput installed = run();
  ASSERT_EQ(installed.exit_code, 0) << installed.err;
  EXPECT_EQ(installed.out, ReadmeExampleOutput());
}

TEST_F(ScriptProgram, ABadScriptLineIsNamedAndNothingAfterItRuns) {
  // One line of each kind the reader refuses, and refusals of the screen's controls; each
  // comes after a screen opened for a new policy, a snapshot and a blank line.
  const std::pair<std::string, std::string> cases[] = {
      {R"({"do": "show")", "not valid JSON"},
      {R"({"do": "open", "x": 1e400})", "not valid JSON: number overflow parsing '1e400'"},
      {R"(["show"])", "not a JSON object"},
      // A NUL byte ends no line: what follows it is refused with the line, not dropped.
      {std::string(R"({"do": "show"})") + '\0' + R"({"do": "toolbar", "command": "Baja"})",
       "not valid JSON: a NUL byte at column 15"},
      {R"({"do": "dance"})", "unknown action \"dance\""},
      {R"({"do": "show", "now": "yes"})", "\"show\" takes no key \"now\""},
      {R"({"do": "type", "control": "txtReferencia", "text": "a", "text": "b"})",
       "the key \"text\" is given twice"},
      // A name with a NUL or a line break is written whole, on one line.
      {R"({"do": "type", "control": "txtReferencia\u0000x\ny", "text": "a"})",
       "The screen has no control named txtReferencia\\u0000x\\ny\n"},
      {R"({"do": "date", "control": "dp_Ps_Fecha", "value": "2024-02-31"})",
       "\"value\" \"2024-02-31\" is no day of the calendar"},
      {R"({"do": "date", "control": "dp_Ps_Fecha", "value": "0099-12-31"})",
       "\"value\" \"0099-12-31\" is outside the years 100 to 9999 that a date may have"},
      {R"({"do": "date", "control": "dp_Ps_Fecha", "value": "15/03/2024"})",
       "\"value\" must be a date"},
      {R"({"do": "date", "control": "dp_Ps_Fecha", "value": "2024-03-15T08:00:00"})",
       "\"value\" must be a date YYYY-MM-DD, not \"2024-03-15T08:00:00\""},
      {R"({"do": "type", "control": "txt_Sc_Descripcion", "text": "x"})",
       "txt_Sc_Descripcion is read-only"},
      {R"({"do": "choose", "control": "cbCorte", "text": "31"})", "cbCorte has no item \"31\""},
      {R"({"do": "find", "filter": "agotadas"})", "no filter \"agotadas\""},
      {R"({"do": "find", "filter": "por-vencer", "days": "-3"})", "\"days\" must be a number"},
      {R"({"do": "find", "filter": "por-vencer", "days": "10000"})",
       "\"days\" must be a number of days from 0 to 9999, not \"10000\""},
      {R"({"do": "find", "text": "mty"})", "txtFolio is disabled"},
      {R"({"do": "renew"})", "Renovar needs a live policy shown"},
      // Input with no line ends (a device, a binary file) is not read whole into memory.
      // A line feed one byte past the limit, after a carriage return, is no way around it.
      {R"({"do": "show"})" + std::string((std::size_t{16} << 20) - 14, ' ') + "\rx",
       "longer than 16 MiB"},
  };
  for (const auto& [line, reason] : cases) {
    SCOPED_TRACE(line.substr(0, 100));
    const ProgramRun run =
        Run(With({}), std::string("{\"do\": \"open\", \"params\": \"NUEVO\"}\n") +
                          "{\"do\": \"show\"}\n\n" + line + "\n{\"do\": \"show\"}\n");
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_THAT(run.err, HasSubstr("line 4: " + reason));
    EXPECT_EQ(EventKinds(run.lines), Strings{"screen"});
  }
  // Once Salir closed the window, the host's finder and Renovar have none to act in either.
  for (const char* line : {R"({"do": "find", "text": "mty"})", R"({"do": "renew"})"}) {
    SCOPED_TRACE(line);
    const ProgramRun run = Run(With({}), std::string(R"({"do": "open"}
{"do": "type", "control": "txtFolio", "text": "MTY-1"}
{"do": "toolbar", "command": "Salir"}
)") + line + "\n{\"do\": \"show\"}\n");
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_THAT(run.err, HasSubstr("line 4: The screen has been closed"));
    EXPECT_EQ(EventKinds(run.lines), Strings{"closed"});
  }
  // A script that cannot be read to its end did not run whole.
  const ProgramRun folder = Run(With({dir_}));
  EXPECT_EQ(folder.exit_code, 2);
  EXPECT_EQ(folder.err, "polizas-script: line 1: cannot read the script: Is a directory\n");
}

// The host's finder lists what it finds as it shows it and enters a picked folio as typed;
// Renovar then starts the new capture the day after the picked policy ends (what else it
// copies: tests/host/headless/renewal_test.cpp).
TEST_F(ScriptProgram, TheFinderPicksAPolicyAndRenovarStartsItsRenewal) {
  const ProgramRun run = Run(With({}), R"({"do": "open"}
{"do": "find", "text": "HOSPITAL san"}
{"do": "find", "filter": "por-vencer", "days": "31", "pick": "MTY-000002"}
{"do": "show"}
{"do": "renew"}
{"do": "show"}
{"do": "find", "text": "MTY-2", "pick": "MTY-000003"}
)");
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_THAT(run.err, HasSubstr("line 7: txtFolio is disabled"));
  ASSERT_EQ(EventKinds(run.lines), (Strings{"found", "found", "screen", "screen"}));
  const Json &by_name = run.lines[0], &expiring = run.lines[1];
  // The client's one policy, as the finder shows it.
  ASSERT_EQ(by_name["rows"].size(), 1u);
  const Json& row = by_name["rows"][0];
  EXPECT_EQ(row[0], "MTY-000002");
  EXPECT_EQ(row[2], "Hospital San José de Monterrey, A.C.");
  EXPECT_THAT(row[6].get<std::string>(), ::testing::MatchesRegex("[0-9]{2}/[0-9]{2}/[0-9]{4}"));
  EXPECT_EQ(row[7], "Vigente");
  EXPECT_EQ(row[8], "67 %");  // VISITA 2 of 3, its most used service
  EXPECT_EQ(by_name["picked"], "");
  // Soonest end first; the picked one is loaded.
  EXPECT_EQ(expiring["filter"], "por-vencer");
  EXPECT_EQ(expiring["picked"], "MTY-000002");
  for (const Json& found : expiring["rows"]) EXPECT_EQ(found[7], "Vigente");
  const Json& shown = run.lines[2];
  EXPECT_EQ(shown["controls"]["txtFolio"]["text"], "MTY-000002");
  EXPECT_TRUE(shown["toolbar"]["activeFlag1"]);

  const Json& renewed = run.lines[3];
  EXPECT_TRUE(renewed["toolbar"]["busy"]);
  const auto end = Date::Parse(shown["controls"]["dp_Ps_Fecha_Fin"]["value"].get<std::string>());
  ASSERT_TRUE(end);
  EXPECT_EQ(renewed["controls"]["dp_Ps_Fecha_Inicio"]["value"], end->AddDays(1).ToIsoDate());
}

// A folio stored in a form the folio field cannot hold would name another policy once
// entered: the finder lists it as stored, and picking it is refused, the policy shown kept.
TEST_F(ScriptProgram, APickedFolioTheFieldWouldAlterIsNotEntered) {
  database_.Open()->ForHost().Execute(
      "INSERT INTO Poliza_Servicio (Ps_Folio, Sc_Cve_Sucursal, Cl_Cve_Cliente) VALUES "
      "('mty-000001', 'MTY', 'C00010'), ('MTY-0000002', 'MTY', 'C00010'), "
      "('MTY-000003 ', 'MTY', 'C00010')");
  std::string script = R"({"do": "open"}
{"do": "type", "control": "txtFolio", "text": "GDL-1"}
)";
  for (const char* stored : {"mty-000001", "MTY-0000002", "MTY-000003 "})
    script += R"({"do": "find", "text": "ruiz", "pick": ")" + std::string(stored) + "\"}\n";
  script += R"({"do": "show"})";
  const ProgramRun run = Run(With({}), script);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  ASSERT_EQ(EventKinds(run.lines),
            (Strings{"found", "message", "found", "message", "found", "message", "screen"}));
  EXPECT_EQ(run.lines[1]["text"],
            "El folio «mty-000001» está guardado en una forma que el campo Folio no admite: lo "
            "tomaría como «MTY-000001», que es otra póliza o ninguna; no se cargó");
  EXPECT_THAT(run.lines[3]["text"].get<std::string>(), HasSubstr("como «MTY-000002»"));
  EXPECT_THAT(run.lines[5]["text"].get<std::string>(), HasSubstr("«MTY-000003 »"));
  const Json& shown = run.lines[6];
  EXPECT_EQ(shown["controls"]["txtFolio"]["text"], "GDL-000001");
  EXPECT_EQ(shown["controls"]["txt_Cl_Cve_Cliente"]["text"], "C00004");
}

// A renewal stopped by a step the screen refused still writes the message the screen showed
// for it, before the refusal: a type a year past its new start cannot be taken.
TEST_F(ScriptProgram, ARenewalStoppedByTheScreenWritesTheScreensMessage) {
  database_.Open()->ForHost().Execute(
      "UPDATE Poliza_Servicio SET Ps_Fecha_Finaliza = '9999-12-30' WHERE Ps_Folio = "
      "'MTY-000003'");
  const ProgramRun run = Run(With({"--clock", kClock}), R"({"do": "open"}
{"do": "type", "control": "txtFolio", "text": "MTY-000003"}
{"do": "renew"}
)");
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_THAT(run.err,
              HasSubstr("line 3: Renovar: Tipo póliza SOPMEN existe, pero no se pudo usar"));
  ASSERT_EQ(EventKinds(run.lines), Strings{"message"});
  EXPECT_THAT(run.lines[0]["text"].get<std::string>(),
              HasSubstr("Fecha fuera del intervalo admitido"));
}

// Eight operators save fifty new policies each, all at once, each program with its own
// session: every save commits, under a folio of the branch's one series that no other save
// got, and the series ends at the last folio issued.
TEST_F(ScriptProgram, EightProgramsSavingAtOnceEachGetFoliosOfTheirOwn) {
  constexpr int kPrograms = 8, kSaves = 50;
  std::string script = "{\"do\": \"open\"}\n";
  for (int i = 0; i < kSaves; ++i) {
    script +=
        "{\"do\": \"toolbar\", \"command\": \"Nuevo\"}\n"
        "{\"do\": \"type\", \"control\": \"txt_Sc_Cve_Sucursal\", \"text\": \"MTY\"}\n"
        "{\"do\": \"type\", \"control\": \"txt_Vn_Cve_Vendedor\", \"text\": \"V001\"}\n"
        "{\"do\": \"type\", \"control\": \"txt_Cl_Cve_Cliente\", \"text\": \"C00001\"}\n"
        "{\"do\": \"type\", \"control\": \"txt_Tps_Cve_Tipo_Poliza\", \"text\": \"SOPMEN\"}\n"
        "{\"do\": \"choose\", \"control\": \"cbCorte\", \"text\": \"5\"}\n"
        "{\"do\": \"toolbar\", \"command\": \"Aceptar\"}\n";
  }
  std::ofstream(File("saves.jsonl")) << script << "{\"do\": \"show\"}\n";

  // The demo's own policies and folios stand before the saves; the saves come after them.
  const auto stored = [this] {
    auto database = database_.Open();
    auto row = database->ForHost().Execute(
        "SELECT (SELECT COUNT(*) FROM Poliza_Servicio) AS policies, (SELECT COUNT(DISTINCT "
        "Ps_Folio) FROM Poliza_Servicio_Tipo_Servicio) AS with_services, (SELECT "
        "COALESCE(MAX(last_number), 0) FROM folio_series WHERE branch = 'MTY') AS series");
    std::vector<std::int64_t> counts;
    for (const char* column : {"policies", "with_services", "series"})
      counts.push_back(row->Fields(column).Value().ToLong());
    return counts;
  };
  const std::vector<std::int64_t> before = stored();

  // Each program in the background, its exit status into a file of its own. Four hundred
  // saves are no case for the statement cache's differential check, which the other runs of
  // this suite make.
  std::string command;
  for (int i = 0; i < kPrograms; ++i) {
    const std::string n = std::to_string(i);
    command += "(env -u POLIZAS_CHECK_LIFTED_STATEMENTS " +
               ProgramCommand("polizas-script", With({File("saves.jsonl")})) + " >" +
               ShellWord(File("out-" + n)) + " 2>" + ShellWord(File("err-" + n)) + "; echo $? >" +
               ShellWord(File("exit-" + n)) + ") & ";
  }
  ASSERT_EQ(std::system((command + "wait").c_str()), 0);
  for (int i = 0; i < kPrograms; ++i) {
    const std::string n = std::to_string(i);
    EXPECT_EQ(FileText(File("exit-" + n)), "0\n");
    // Nothing but the last snapshot: no save showed a message.
    EXPECT_EQ(EventKinds(JsonLines(FileText(File("out-" + n)))), Strings{"screen"});
    EXPECT_EQ(FileText(File("err-" + n)), "");
  }

  // Four hundred policies more, each with its services, under the series' next 400 folios.
  const std::vector<std::int64_t> after = stored();
  EXPECT_EQ(after, (std::vector<std::int64_t>{before[0] + 400, before[1] + 400, before[2] + 400}));
  const auto folio = [](std::int64_t n) {
    const std::string digits = std::to_string(n);
    return "'MTY-" + std::string(6 - digits.size(), '0') + digits + "'";
  };
  EXPECT_EQ(Count(database_.Open()->ForHost(),
                  "Poliza_Servicio WHERE Ps_Folio BETWEEN " + folio(before[2] + 1) + " AND " +
                      folio(before[2] + 400) + " AND Es_Cve_Estado = 'AC'"),
            400);
}

// Opened for a new policy ("nuevo") from standard input by an operator without either
// permission, the fields take typing; blank lines and Windows line ends are skipped.
TEST_F(ScriptProgram, OpenedForANewPolicyFromStandardInputTheFieldsTakeTyping) {
  const ProgramRun capturing =
      Run(With({"--user", "CAPTURA"}),
          "\n{\"do\": \"open\", \"params\": \"nuevo\"}\r\n   \n"
          R"({"do": "type", "control": "txtReferencia", "text": "oc-7"})"
          "\n{\"do\": \"date\", \"control\": \"dp_Ps_Fecha_Inicio\", \"value\": \"2024-04-01\"}"
          "\n{\"do\": \"show\"}\n");
  ASSERT_EQ(capturing.exit_code, 0) << capturing.err;
  ASSERT_EQ(capturing.lines.size(), 1u) << capturing.out;
  const Json& screen = capturing.lines[0];
  EXPECT_EQ(
      Json::array({screen["state"]["canChangeDate"], screen["state"]["canInitServices"],
                   screen["toolbar"]["busy"], screen["controls"]["dp_Ps_Fecha_Inicio"]["value"],
                   screen["controls"]["txtReferencia"]}),
      Json::array({false, false, true, "2024-04-01", {{"text", "oc-7"}, {"enabled", true}}}));
}

// A database the operator cannot write (a write-protected file, a server database that
// refuses writes) opens for looking only: it says so at start, and offers no command that
// writes.
TEST_F(ScriptProgram, AWriteProtectedDatabaseIsOpenForLookingOnly) {
  std::filesystem::permissions(dir_, std::filesystem::perms::all);
  database_.RefuseWrites();
  // Root writes write-protected files.
  const std::string as = TestBackend() == Backend::kSqlite && ::geteuid() == 0 ? "nobody" : "";
  const ProgramRun looking =
      Run(With({}), "{\"do\": \"open\"}\n{\"do\": \"show\"}\n", "polizas-script", as);
  ASSERT_EQ(looking.exit_code, 0) << looking.err;
  EXPECT_THAT(looking.err, HasSubstr(" cannot be written: the screen is open for looking only"));
  EXPECT_EQ(looking.lines.at(0)["state"]["canInitServices"], false);
  const ProgramRun capturing = Run(With({}),
                                   "{\"do\": \"open\"}\n{\"do\": \"toolbar\", "
                                   "\"command\": \"Nuevo\"}\n",
                                   "polizas-script", as);
  EXPECT_EQ(capturing.exit_code, 2);
  EXPECT_THAT(capturing.err, HasSubstr("line 2: Nuevo is not available"));
}

// A file made before operators had passwords gains them when first opened for writing; one
// that cannot be written here (a backup on a disc) is read as it was made: nobody signs in,
// and administering its operators says why it cannot.
TEST_F(ScriptProgram, AFileFromBeforePasswordsOpensForLookingWithoutSignIn) {
  if (TestBackend() == Backend::kPostgreSql) GTEST_SKIP() << "a server's operators are its logins";
  {
    auto made_before = database_.Open();
    // This session's guard of locked operators names the column dropped below: it goes first.
    for (const char* statement : {"DROP TRIGGER temp.Poliza_Servicio_operador_bloqueado",
                                  "DROP TRIGGER temp.Poliza_Servicio_operador_bloqueado_cambio",
                                  "DROP TRIGGER operator_permission_last_administrator",
                                  "DROP TRIGGER operator_permission_last_administrator_moved",
                                  "ALTER TABLE operator DROP COLUMN password_hash",
                                  "ALTER TABLE operator DROP COLUMN failed_attempts",
                                  "ALTER TABLE operator DROP COLUMN locked_until",
                                  "ALTER TABLE operator DROP COLUMN locked",
                                  "DELETE FROM host_parameter WHERE name = 'INICIO_SESION'"})
      made_before->ForHost().Execute(statement);
  }
  std::filesystem::permissions(dir_, std::filesystem::perms::all);
  database_.RefuseWrites();
  const std::string as = ::geteuid() == 0 ? "nobody" : "";  // root writes write-protected files
  const ProgramRun looking = Run(With({}),
                                 "{\"do\": \"open\"}\n{\"do\": \"type\", \"control\": "
                                 "\"txtFolio\", \"text\": \"mty-7\"}\n{\"do\": \"show\"}\n",
                                 "polizas-script", as);
  ASSERT_EQ(looking.exit_code, 0) << looking.err;
  EXPECT_EQ(looking.lines.at(0)["controls"]["txtFolio"]["text"], "MTY-000007");
  const ProgramRun listing =
      Run({"operator", "list", database_.InitArguments().at(0)}, "", "polizas-db", as);
  EXPECT_EQ(listing.exit_code, 1);
  EXPECT_THAT(listing.err, HasSubstr("were kept before they had passwords, and the file cannot be "
                                     "written here"));
}

// A command line, an operator or a database the program cannot work with: it says why on
// standard error, a usage error with the usage and exit 2, anything else in one line and
// exit 1; it runs nothing and makes nothing. The databases: on SQLite a missing file or one
// that is no database; on a server a missing database, an unknown driver and a refused login.
// Output sent where it cannot all go (a full disk: /dev/full) fails the program, saying so,
// rather than ending as if a cut report or listing were whole; the script stops at the
// first line whose output is lost.
TEST_F(ScriptProgram, OutputThatCannotBeWrittenWholeFailsTheProgram) {
  const std::string full = "No space left on device";
  const auto to_full = [&](const std::string& program, const Strings& args) {
    return RunCommandLine(dir_, ProgramCommand(program, args), "", "/dev/full");
  };
  const ProgramOutput script =
      to_full("polizas-script",
              With({"--clock", kClock, std::string(POLIZAS_EXAMPLES_DIR) + "/new_and_find.jsonl"}));
  EXPECT_EQ(script.exit_code, 2);
  EXPECT_EQ(script.err, "polizas-script: line 9: cannot write the output: " + full + "\n");
  for (const char* format : {"table", "csv", "json"}) {
    const ProgramOutput report =
        to_full("polizas-report", With({"--clock", kClock, "--format", format, "policies"}));
    EXPECT_EQ(report.exit_code, 1) << format;
    EXPECT_EQ(report.err, "polizas-report: cannot write the report: " + full + "\n") << format;
  }
  if (database_.InitArguments().size() == 1) {  // operators are listed from a database file
    const ProgramOutput listed =
        to_full("polizas-db", {"operator", "list", database_.InitArguments().front()});
    EXPECT_EQ(listed.exit_code, 1);
    EXPECT_EQ(listed.err, "polizas-db: cannot write the output: " + full + "\n");
  }
  // Every program alike, down to its version line and usage.
  for (const auto& [program, status] : {std::pair{"polizas-db", 1}, std::pair{"polizas-report", 1},
                                        std::pair{"polizas-script", 2}}) {
    for (const char* option : {"--version", "--help"}) {
      const ProgramOutput told = to_full(program, {option});
      EXPECT_EQ(told.exit_code, status) << program << " " << option;
      EXPECT_EQ(told.err, std::string(program) + ": cannot write the output: " + full + "\n")
          << option;
    }
  }
}

TEST_F(ScriptProgram, RefusedCommandLinesSayWhyAndRunNothing) {
  const std::string script = File("script.jsonl"),
                    show = "{\"do\": \"open\"}\n{\"do\": \"show\"}\n";
  const std::string missing = File("missing.db"), notes = File("notes.txt");
  const std::string text = "these are not the tables you are looking for\n";
  std::ofstream(script) << show;
  std::ofstream(notes) << text;
  const auto refused = [&](const Strings& args, int exit_code, const Strings& says) {
    SCOPED_TRACE(says.back());
    const ProgramRun run = Run(args, show);
    EXPECT_EQ(run.exit_code, exit_code);
    for (const std::string& part : says) EXPECT_THAT(run.err, HasSubstr(part));
    if (exit_code == 2)
      EXPECT_THAT(run.err, HasSubstr("usage: polizas-script"));
    else
      EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.out, "");
  };
  refused({script}, 2, {"either --db PATH or --odbc"});
  refused(With({"--colour", "blue"}), 2, {"unknown option '--colour'"});
  // An empty clock is no clock, not the computer's.
  refused(With({"--clock", ""}), 2, {"--clock: Invalid date and time for the clock: \"\""});
  // Nor is a fraction of a second dropped without a word.
  refused(With({"--clock", "2024-03-15T10:30:00.5"}), 2,
          {"--clock: Invalid date and time for the clock: \"2024-03-15T10:30:00.5\""});
  refused(With({File("missing.jsonl")}), 2, {"cannot read the script"});
  refused(With({"--trace-sql", File("no/such/dir/trace.jsonl"), script}), 2,
          {"cannot write the statement trace"});
  refused(With({"--user", ""}), 1, {"no operator given"});
  refused(With({"--user", "NADIE"}), 1, {"unknown operator \"NADIE\""});
  refused(With({"--user", "admin"}), 1, {"unknown operator \"admin\""});
  refused(With({"--user", std::string(100000, 'X')}), 1,
          {"unknown operator \"" + std::string(40, 'X') + "...\""});
  const std::string cannot_open = "cannot open the database";
  if (TestBackend() == Backend::kPostgreSql) {
    std::string login = ServerConnectionString("polizas_demo");
    login.replace(login.find("Username=postgres"), 17, "Username=nadie");
    refused({"--odbc", ServerConnectionString("no_existe")}, 1,
            {cannot_open, "\"no_existe\" does not exist"});
    refused({"--odbc", "Driver={Sin Controlador};Database=x"}, 1, {cannot_open, "Sin Controlador"});
    refused({"--odbc", login}, 1, {cannot_open, "role \"nadie\" does not exist"});
  } else {
    refused({"--db", missing}, 1, {cannot_open, missing});
    refused({"--db", notes}, 1, {cannot_open, notes});
  }
  for (const char* suffix : {"", "-wal", "-shm", "-journal"})
    EXPECT_FALSE(std::filesystem::exists(missing + suffix)) << suffix;
  EXPECT_EQ(FileText(notes), text);
  EXPECT_EQ(Run(With({"--user", "CAPTURA"}), show).exit_code, 0);

  // A password on the command line, where other users can read it, is said to be there.
  EXPECT_THAT(Run({"--odbc", "Driver={Sin Controlador};UID=laura;pwd=secreto"}, show).err,
              HasSubstr("polizas-script: the connection string holds a password, which other "
                        "users of this machine can read on the command line"));
}

// The trace is opened for writing, which would empty a file the run reads: it may name
// neither the database (by any name, nor a file SQLite keeps beside it, there yet or not),
// nor the script, nor the password file. Each is refused as a usage error before anything
// is written.
TEST_F(ScriptProgram, ATraceThatWouldWriteOverWhatTheRunReadsIsRefused) {
  const std::string script = File("script.jsonl"), passwords = PasswordFile("clave.txt", "clave\n");
  const std::string show = "{\"do\": \"open\"}\n{\"do\": \"show\"}\n";
  std::ofstream(script) << show;
  std::vector<std::pair<std::string, std::string>> cases = {
      {script, "the script " + script},
      {dir_ + "/./script.jsonl", "the script " + script},
      {passwords, "the password file " + passwords},
  };
  std::string database;  // a file's path; none on a server
  if (TestBackend() == Backend::kSqlite) {
    database = database_.InitArguments().at(0);
    std::filesystem::create_symlink(database, File("enlace.db"));
    std::filesystem::create_symlink(database + "-journal", File("enlace.db-journal"));
    cases.insert(cases.end(),
                 {{database, "the database " + database},
                  {File("enlace.db"), "the database " + database},
                  {database + "-wal", database + "-wal, which SQLite keeps beside the database"},
                  {File("enlace.db-journal"),
                   database + "-journal, which SQLite keeps beside the database"}});
  }
  const std::string before = database.empty() ? "" : FileText(database);
  for (const auto& [trace, over] : cases) {
    SCOPED_TRACE(trace);
    const std::string kept = FileText(trace);
    const ProgramRun run =
        Run(With({"--trace-sql", trace, "--password-file", passwords, script}), show);
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_THAT(run.err, HasSubstr("polizas-script: --trace-sql " + trace + " would write over " +
                                   over + "\nusage: polizas-script"));
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(FileText(trace), kept);
  }
  EXPECT_EQ(FileText(script), show);
  if (database.empty()) return;
  EXPECT_TRUE(FileText(database) == before) << "the database was written";
  for (const char* suffix : {"-wal", "-journal"})
    EXPECT_FALSE(std::filesystem::exists(database + suffix)) << suffix;
  // A second name of the file is refused likewise, before the database refuses it.
  std::filesystem::create_hard_link(database, File("otro nombre.db"));
  const ProgramRun linked = Run(With({"--trace-sql", File("otro nombre.db"), script}), show);
  std::filesystem::remove(File("otro nombre.db"));
  EXPECT_EQ(linked.exit_code, 2);
  EXPECT_THAT(linked.err, HasSubstr("would write over the database " + database));
  EXPECT_TRUE(FileText(database) == before) << "the database was written";
}

// A database made without the demo asks its operators to sign in: polizas-db administers
// them with passwords read from standard input, and polizas-script takes the operator's
// from a file or the environment. (A server's operators are its logins: tests/server.)
// A lock for failed sign-ins lasts its quarter of an hour whatever time zone a program
// runs in: a program started with another TZ neither ends it nor makes it last a day.
TEST_F(ScriptProgram, ALockLastsAQuarterOfAnHourInEveryTimeZone) {
  if (TestBackend() == Backend::kPostgreSql) GTEST_SKIP() << "a server's operators are its logins";
  std::string db;
  PasswordFile("wrong.txt", "otra clave\n");
  PasswordFile("right.txt", "clave del administrador\n");
  const auto in_zone = [&](int hours_ahead, const std::string& password_file) {
    // POSIX writes the zones east of Greenwich with a minus sign.
    const std::string zone = "Etc/GMT" + std::string(hours_ahead > 0 ? "-" : "+") +
                             std::to_string(std::abs(hours_ahead));
    ::setenv("TZ", zone.c_str(), 1);
    const ProgramRun run = Run({"--db", db, "--password-file", password_file}, "");
    ::unsetenv("TZ");
    return run;
  };
  // Until when the refusal says, against that zone's time now.
  const auto minutes_locked = [](const ProgramRun& refused, int hours_ahead) {
    const std::size_t at = refused.err.find("bloqueado hasta ");
    if (at == std::string::npos) return -1;
    const auto until = Date::Parse(refused.err.substr(at + 16, 19));
    const Date zone_now = ReadClock().utc.AddMinutes(60 * hours_ahead);
    for (int minutes = 0; minutes <= 15; ++minutes)
      if (until && *until <= zone_now.AddMinutes(minutes)) return minutes;
    return 1000;
  };
  for (const auto& [failing, trying] : {std::pair{-12, 14}, std::pair{14, -12}}) {
    SCOPED_TRACE(std::to_string(failing) + " then " + std::to_string(trying));
    db = File("zones" + std::to_string(failing) + ".db");
    ASSERT_EQ(Run({"init", db}, "clave del administrador\n", "polizas-db").exit_code, 0);
    for (int attempt = 0; attempt < 5; ++attempt) in_zone(failing, File("wrong.txt"));
    const ProgramRun refused = in_zone(trying, File("right.txt"));
    EXPECT_EQ(refused.exit_code, 1);
    const int minutes = minutes_locked(refused, trying);
    EXPECT_GE(minutes, 14) << refused.err;
    EXPECT_LE(minutes, 15) << refused.err;
  }
}

TEST_F(ScriptProgram, WhereOperatorsSignInTheScriptGivesThePasswordAndAdministratorsAreAsked) {
  if (TestBackend() == Backend::kPostgreSql) GTEST_SKIP() << "a server's operators are its logins";
  const std::string db = File("signin.db");
  const std::string show = "{\"do\": \"open\"}\n{\"do\": \"show\"}\n";
  const auto run_db = [&](Strings args, const std::string& input = "") {
    args.insert(args.begin() + 2, db);
    return Run(args, input, "polizas-db");
  };
  ASSERT_EQ(Run({"init", db}, "clave del administrador\n", "polizas-db").exit_code, 0);
  const ProgramRun added = run_db({"operator", "add", "LAURA", "--name", "Laura Gutiérrez"},
                                  "\xEF\xBB\xBF"
                                  "clave del administrador\nclave de Laura\n");
  ASSERT_EQ(added.exit_code, 0) << added.err;
  PasswordFile("laura.txt",
               "\xEF\xBB\xBF"
               "clave de Laura\r\n");  // as Notepad saves it

  const Strings laura = {"--db", db, "--user", "LAURA"};
  // A clock of the operator's choosing would end a lock and date policies as it likes.
  PasswordFile("admin.txt", "clave del administrador\n");
  const ProgramRun pinned = Run(
      {"--db", db, "--clock", "2099-01-01T00:00:00", "--password-file", File("admin.txt")}, show);
  EXPECT_EQ(pinned.exit_code, 1);
  EXPECT_EQ(pinned.err,
            "polizas-script: --clock is for databases whose operators do not sign in: this one "
            "goes by the computer's clock\n");
  const ProgramRun unsigned_run = Run(laura, show);
  EXPECT_EQ(unsigned_run.exit_code, 1);
  EXPECT_THAT(unsigned_run.err, HasSubstr("the operators of this database sign in: give the "
                                          "password of \"LAURA\" in the environment variable "
                                          "POLIZAS_PASSWORD or with --password-file FILE"));
  ::setenv("POLIZAS_PASSWORD", "clave de laura", 1);
  const ProgramRun wrong = Run(laura, show);
  ::unsetenv("POLIZAS_PASSWORD");
  EXPECT_EQ(wrong.exit_code, 1);
  EXPECT_EQ(wrong.err, "polizas-script: sign-in refused: Operador o contraseña incorrectos\n");
  // No password at all (an emptied file, a folder, an empty variable) is refused before
  // signing in, so that a scheduled script's runs lock nobody out; so is a file others may
  // read, as it was made (0644), though it holds the right password.
  PasswordFile("vacio.txt", "\n");
  std::ofstream(File("compartida.txt")) << "clave de Laura\n";
  std::filesystem::permissions(File("compartida.txt"), std::filesystem::perms::others_read,
                               std::filesystem::perm_options::add);
  const std::pair<Strings, std::string> no_password[] = {
      {{"--password-file", File("vacio.txt")},
       "the password file " + File("vacio.txt") + " holds no password: its first line is empty"},
      {{"--password-file", File("compartida.txt")},
       "the password file " + File("compartida.txt") +
           " may be used by others than its owner: make it readable by its owner alone (chmod "
           "600 " +
           File("compartida.txt") + ")"},
      {{"--password-file", dir_}, "cannot read the password file " + dir_ + ": Is a directory"},
      {{}, "the environment variable POLIZAS_PASSWORD is empty"},
  };
  ::setenv("POLIZAS_PASSWORD", "", 1);
  for (int round = 0; round < 2; ++round) {
    for (const auto& [options, why] : no_password) {
      Strings args = laura;
      args.insert(args.end(), options.begin(), options.end());
      const ProgramRun refused = Run(args, show);
      EXPECT_EQ(refused.exit_code, 1) << why;
      EXPECT_EQ(refused.err, "polizas-script: " + why + "\n");
    }
  }
  ::unsetenv("POLIZAS_PASSWORD");

  Strings with_file = laura;
  with_file.insert(with_file.end(), {"--password-file", File("laura.txt")});
  const ProgramRun before = Run(with_file, show);
  ASSERT_EQ(before.exit_code, 0) << before.err;
  EXPECT_FALSE(before.lines.at(0)["state"]["canInitServices"].get<bool>());

  // An operator may change its own password; only an administrator anything else.
  EXPECT_THAT(run_db({"operator", "grant", "LAURA", "INISERV", "--as", "LAURA", "--password-file",
                      File("laura.txt")})
                  .err,
              HasSubstr("LAURA may not administer operators: it does not hold SISTEMA/OPERADORES"));
  // A line end is no part of the password (a value read from a file a Windows editor saved).
  ::setenv("POLIZAS_PASSWORD", "clave del administrador\r\n", 1);
  // Permissions are held in upper case, however the key is typed.
  const ProgramRun granted = run_db({"operator", "grant", "LAURA", "IniServ"});
  const ProgramRun listed = run_db({"operator", "list"});
  // A lock for failed sign-ins is listed while it lasts, not once the operator may sign in.
  const auto listed_locked_for = [&](int minutes) {
    host::OperatorRecords(*host::OpenSqliteDatabase(db))
        .SetFailures("LAURA", 5, ReadClock().utc.AddMinutes(minutes));
    return run_db({"operator", "list"}).out;
  };
  const std::string lasting = listed_locked_for(10);
  const std::string over = listed_locked_for(-1);
  ::unsetenv("POLIZAS_PASSWORD");
  EXPECT_EQ(granted.out, "Granted NV407/INISERV to LAURA\n");
  EXPECT_EQ(listed.out,
            "ADMIN (Administrador): SISTEMA/OPERADORES\nLAURA (Laura Gutiérrez): NV407/INISERV\n");
  EXPECT_THAT(lasting, HasSubstr("LAURA (Laura Gutiérrez): NV407/INISERV; locked until "));
  EXPECT_EQ(over, listed.out);
  const ProgramRun after = Run(with_file, show);
  EXPECT_TRUE(after.lines.at(0)["state"]["canInitServices"].get<bool>());
  // The code signed in with is the one checked: blanks pasted at its ends are no part of it.
  EXPECT_EQ(run_db({"operator", "passwd", "LAURA", "--as", "LAURA\u00A0"},
                   "clave de Laura\nla nueva de Laura\n")
                .out,
            "Changed the password of LAURA\n");
  EXPECT_EQ(Run(with_file, show).exit_code, 1);

  const std::pair<Strings, std::string> usage[] = {
      {{"operator", "frob", db}, "unknown operator command 'frob'"},
      {{"operator", "add", db}, "operator add takes 2 words besides its options"},
      {{"operator", "grant", db, "LAURA", "NV407/"}, "a permission is KEY or MODULE/KEY"},
      {{"operator", "grant", db, "LAURA", "A/B/C"}, "a permission is KEY or MODULE/KEY"},
      {{"operator", "revoke", db, "LAURA", "/INISERV"}, "a permission is KEY or MODULE/KEY"},
      {{"operator", "grant", db, "LAURA", "INI SERV"}, "a permission is KEY or MODULE/KEY"},
      {{"operator", "list", db, "--name", "x"}, "--name goes with add only"},
      {{"operator", "list", "--odbc", "DSN=x"},
       "on a server database the operators are its logins"},
  };
  for (const auto& [args, problem] : usage) {
    const ProgramRun run = Run(args, "", "polizas-db");
    EXPECT_EQ(run.exit_code, 2) << problem;
    EXPECT_THAT(run.err, HasSubstr(problem));
  }
}

}  // namespace
}  // namespace nv407::testing
