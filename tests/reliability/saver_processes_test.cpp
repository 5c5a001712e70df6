// Operators' programs saving on one database file at once, some killed with SIGKILL at
// random moments: after each round the file is sound, every rule of the policies holds,
// and every command a program reported as done is in the database.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include "support/database_file.h"
#include "support/operator_actions.h"
#include "support/policy_invariants.h"
#include "support/screen_fixture.h"

namespace nv407::testing {
namespace {

using ::testing::IsEmpty;
using Clock = std::chrono::steady_clock;

// Policies that the savers find: their counters partly used, so that a reset shows. An edit
// types the folio it replaces as the new policy's reference.
constexpr const char* kSeeded = "SEMILLA";
constexpr int kSeededPolicies = 8;
const char* const kTypes[] = {"SOPMEN", "MANT90", "SOPANUAL", "ASESOR", "GAR12"};

// The policies every round starts from, written as an operator would, then used.
void Seed(const DatabaseFile& file) {
  const std::unique_ptr<host::Database> session = file.Open();
  host::HeadlessHost host(*session, {kOperatorWithPermissions, {}}, InProcessComponent());
  host.Open();
  for (int i = 0; i < kSeededPolicies; ++i) {
    TypedPolicy policy;
    policy.type = kTypes[i % std::size(kTypes)];
    policy.reference = kSeeded;
    const Outcome saved = SaveNewPolicy(host, policy);
    ASSERT_TRUE(saved.done) << saved.problem;
  }
  session->ForHost().Execute(
      "UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Tiempo_Utilizado = 2.5, "
      "Pst_Evento_Utilizado = 3");
}

// One operator's program: commands chosen at random, each line of its report one command
// done ("new F", "edit X F", "baja X", "reset X") or stopped ("failed <command> X: why").
class Saver {
 public:
  Saver(const DatabaseFile& file, const std::filesystem::path& report, unsigned seed)
      : session_(file.Open()),
        host_(*session_, {kOperatorWithPermissions, {}}, InProcessComponent()),
        report_(::open(report.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600)),
        random_(seed) {
    host_.Open();
  }
  ~Saver() { ::close(report_); }

  // Until it is killed.
  void Run() {
    for (;;) {
      const int pick = Pick(100);
      const std::string folio = pick < 50 ? "" : Someone();
      if (folio.empty()) {
        TypedPolicy policy;
        policy.type = kTypes[Pick(std::size(kTypes))];
        if (Pick(2) == 0) policy.extended_text = "Texto ampliado";
        Done("new", "", SaveNewPolicy(host_, policy));
      } else if (pick < 70) {
        Done("edit", folio, SaveEdit(host_, folio, folio));
      } else if (pick < 85) {
        Done("baja", folio, CancelPolicy(host_, folio));
      } else {
        Done("reset", folio, ResetCounters(host_, folio));
      }
    }
  }

 private:
  std::size_t Pick(std::size_t count) { return random_() % count; }

  // A live policy to act on; none when there is none.
  std::string Someone() {
    const std::vector<std::string> live =
        Column(session_->ForHost(),
               "SELECT Ps_Folio AS v FROM Poliza_Servicio WHERE Es_Cve_Estado <> 'CA'");
    return live.empty() ? "" : live[Pick(live.size())];
  }

  void Done(const std::string& command, const std::string& folio, const Outcome& outcome) {
    std::string line = outcome.done ? command : "failed " + command;
    if (!folio.empty()) line += " " + folio;
    if (!outcome.folio.empty()) line += " " + outcome.folio;
    if (!outcome.done) line += ": " + outcome.problem;
    std::replace_if(
        line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    line += "\n";
    // One write per line: a kill comes before it or after it.
    if (::write(report_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) _exit(3);
  }

  std::unique_ptr<host::Database> session_;
  host::HeadlessHost host_;
  int report_;
  std::mt19937 random_;
};

// A saver in a child process.
pid_t StartSaver(const DatabaseFile& file, const std::filesystem::path& report, unsigned seed) {
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  try {
    Saver(file, report, seed).Run();
  } catch (const std::exception& failure) {
    std::ofstream(report, std::ios::app) << "error " << failure.what() << "\n";
    _exit(1);
  }
  _exit(0);
}

std::vector<std::vector<std::string>> ReportLines(const std::filesystem::path& report) {
  std::vector<std::vector<std::string>> lines;
  std::ifstream in(report);
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line.substr(0, line.find(':')));
    lines.emplace_back(std::istream_iterator<std::string>(words),
                       std::istream_iterator<std::string>());
  }
  return lines;
}

// What the database must show of each command a saver reported, beside the rules of every
// database the screen writes and those of these savers' own marks.
std::vector<std::string> Problems(Connection& sql,
                                  const std::vector<std::filesystem::path>& reports) {
  std::vector<std::string> problems = SqliteFileProblems(sql);
  for (const std::string& broken : BrokenPolicyRules(sql)) problems.push_back(broken);
  const auto offenders = [&](const std::string& rule, const std::string& query) {
    for (const std::string& row : Column(sql, query)) problems.push_back(rule + ": " + row);
  };
  offenders("a cancelled policy has one cause, a Baja note or its edited successor",
            "SELECT p.Ps_Folio AS v FROM Poliza_Servicio p WHERE p.Es_Cve_Estado = 'CA' AND "
            "(SELECT COUNT(*) FROM record_log l WHERE l.note = 'Baja' AND l.record_key = "
            "p.Ps_Folio) + (SELECT COUNT(*) FROM Poliza_Servicio e WHERE e.Ps_Referencia = "
            "p.Ps_Folio) <> 1");
  offenders("an edited policy is cancelled",
            "SELECT e.Ps_Folio AS v FROM Poliza_Servicio e JOIN Poliza_Servicio p ON "
            "e.Ps_Referencia = p.Ps_Folio WHERE p.Es_Cve_Estado <> 'CA'");
  offenders("a seeded policy's counters are zero exactly when a reset was logged for it",
            "SELECT p.Ps_Folio AS v FROM Poliza_Servicio p WHERE p.Ps_Referencia = '" +
                std::string(kSeeded) +
                "' AND (SELECT CASE WHEN COUNT(*) > 0 THEN 1 ELSE 0 END FROM record_log l WHERE "
                "l.record_key = p.Ps_Folio AND l.note LIKE '%INICIALIZACION%') <> (SELECT CASE "
                "WHEN SUM(Pst_Tiempo_Utilizado + Pst_Evento_Utilizado) = 0 THEN 1 ELSE 0 END "
                "FROM Poliza_Servicio_Tipo_Servicio s WHERE s.Ps_Folio = p.Ps_Folio)");

  const auto state = [&](const std::string& folio) {
    const std::vector<std::string> found = Column(
        sql, "SELECT Es_Cve_Estado AS v FROM Poliza_Servicio WHERE Ps_Folio = '" + folio + "'");
    return found.empty() ? std::string("missing") : found.front();
  };
  for (const std::filesystem::path& report : reports) {
    for (const std::vector<std::string>& w : ReportLines(report)) {
      const std::string line = report.filename().string() + ": " + ::testing::PrintToString(w);
      if (w.empty() || w[0] == "error") {
        problems.push_back(line);
      } else if (w[0] == "failed") {
        // Only a policy that another program cancelled may stop a command.
        if (w.size() < 3 || state(w[2]) != "CA") problems.push_back(line);
      } else if (w[0] == "new" || w[0] == "edit") {
        if (state(w.back()) == "missing") problems.push_back("not stored: " + line);
        if (w[0] == "edit" && state(w[1]) != "CA") problems.push_back("not cancelled: " + line);
      } else if (state(w[1]) == "missing") {
        problems.push_back("no such policy: " + line);
      }
    }
  }
  return problems;
}

class SaverProcesses : public ::testing::Test {
 protected:
  void SetUp() override {
    Seed(file_);
    seed_ = std::random_device()();
    RecordProperty("seed", std::to_string(seed_));
  }
  std::filesystem::path Report(int n) const {
    return file_.Folder() / ("saver-" + std::to_string(n) + ".txt");
  }
  std::vector<std::string> Check(const std::vector<std::filesystem::path>& reports) {
    const std::unique_ptr<host::Database> session = file_.Open();
    return Problems(session->ForHost(), reports);
  }

  DatabaseFile file_;
  unsigned seed_ = 0;
};

TEST_F(SaverProcesses, KilledAtRandomMomentsLeaveTheDatabaseWhole) {
  constexpr auto kFor = std::chrono::seconds(20);
  std::mt19937 random(seed_);
  std::vector<std::filesystem::path> reports;
  int rounds = 0;
  for (const auto end = Clock::now() + kFor; Clock::now() < end; ++rounds) {
    const pid_t savers[] = {StartSaver(file_, Report(2 * rounds), seed_ + 2 * rounds),
                            StartSaver(file_, Report(2 * rounds + 1), seed_ + 2 * rounds + 1)};
    reports.push_back(Report(2 * rounds));
    reports.push_back(Report(2 * rounds + 1));
    for (const pid_t saver : savers) {
      std::this_thread::sleep_for(std::chrono::milliseconds(random() % 300));
      ::kill(saver, SIGKILL);
    }
    for (const pid_t saver : savers) {
      int status = 0;
      ASSERT_EQ(::waitpid(saver, &status, 0), saver);
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
          << "a saver stopped on its own, status " << status;
    }
    const std::vector<std::string> problems = Check(reports);
    ASSERT_THAT(problems, IsEmpty()) << "after round " << rounds << ", seed " << seed_;
  }
  // Enough rounds, and enough done in them, for the kills to have hit every step.
  std::map<std::string, int> reported;
  for (const auto& report : reports)
    for (const std::vector<std::string>& w : ReportLines(report)) ++reported[w.at(0)];
  EXPECT_GE(rounds, 20);
  EXPECT_GE(reported["new"] + reported["edit"] + reported["baja"] + reported["reset"], 200);
  std::printf("%d rounds; done: %d new, %d edit, %d baja, %d reset; %d stopped by another's\n",
              rounds, reported["new"], reported["edit"], reported["baja"], reported["reset"],
              reported["failed"]);
}

}  // namespace
}  // namespace nv407::testing
