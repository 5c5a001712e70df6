#include <fcntl.h>
#include <gmock/gmock.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "server_support.h"

namespace nv407::testing {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using Json = nlohmann::json;

// A server of this test's own, which it may stop: made, halted, resumed and removed by the
// same script as the test run's server.
class PrivateServer {
 public:
  PrivateServer() {
    std::filesystem::create_directories(state_);
    std::filesystem::create_symlink(state_.parent_path() / "odbc", state_ / "odbc");
    if (Script("start", " '" + std::string(std::getenv("POLIZAS_BUILD_DIR")) + "/bin' '" +
                            POLIZAS_PG_BIN + "'") != 0)
      throw Error("the private server did not start");
    std::ifstream state(state_ / "state");
    std::string line;
    std::getline(state, line);
    if (!line.starts_with("socket=")) throw Error("the private server did not start: " + line);
    connection_ = "Driver={PostgreSQL Unicode};Servername=" + line.substr(7) +
                  ";Database=polizas_demo;Username=postgres";
  }
  ~PrivateServer() {
    Script("stop", " '" + std::string(POLIZAS_PG_BIN) + "'");
    std::filesystem::remove_all(state_);
  }
  void Halt() { ASSERT_EQ(Script("halt", ""), 0); }
  void Resume() { ASSERT_EQ(Script("resume", ""), 0); }
  const std::string& ConnectionString() const { return connection_; }

 private:
  int Script(const std::string& command, const std::string& arguments) {
    return std::system((std::string(POLIZAS_TEST_SERVER_SCRIPT) + " " + command + " '" +
                        state_.string() + "'" + arguments + " >/dev/null")
                           .c_str());
  }

  // Where the test run's server removes it, should this test not get to.
  std::filesystem::path state_ = std::string(std::getenv("POLIZAS_BUILD_DIR")) +
                                 "/tests/postgresql/private-" + std::to_string(::getpid());
  std::string connection_;
};

// polizas-script as built, fed one line at a time, its events read as they come.
class ScriptSession {
 public:
  explicit ScriptSession(const std::string& connection) {
    // Close-on-exec, so that no other program this test starts (the server) holds them open.
    int input[2], output[2];
    if (::pipe2(input, O_CLOEXEC) != 0 || ::pipe2(output, O_CLOEXEC) != 0) throw Error("no pipe");
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(input[0], 0);
      ::dup2(output[1], 1);
      for (int fd : {input[0], input[1], output[0], output[1]}) ::close(fd);
      const std::string program =
          std::string(std::getenv("POLIZAS_BUILD_DIR")) + "/bin/polizas-script";
      ::execl(program.c_str(), program.c_str(), "--odbc", connection.c_str(), "--clock",
              "2024-03-15T10:30:00", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(input[0]);
    ::close(output[1]);
    to_ = input[1];
    from_ = output[0];
  }
  ~ScriptSession() {
    if (to_ >= 0) ::close(to_);
    ::close(from_);
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  void Send(const std::string& line) {
    const std::string text = line + "\n";
    if (::write(to_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
      throw Error("polizas-script is gone");
  }
  // The next event it writes, waiting up to 20 s.
  Json Next() {
    for (;;) {
      if (const auto end = pending_.find('\n'); end != std::string::npos) {
        const std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        return Json::parse(line);
      }
      pollfd ready{from_, POLLIN, 0};
      if (::poll(&ready, 1, 20000) != 1) throw Error("polizas-script wrote nothing");
      char buffer[4096];
      const ssize_t read = ::read(from_, buffer, sizeof buffer);
      if (read <= 0) throw Error("polizas-script ended");
      pending_.append(buffer, static_cast<std::size_t>(read));
    }
  }
  int Finish() {
    ::close(std::exchange(to_, -1));
    int status = 0;
    ::waitpid(std::exchange(pid_, -1), &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int to_ = -1, from_ = -1;
  std::string pending_;
};

const char* const kNewPolicy[] = {
    R"({"do": "toolbar", "command": "Nuevo"})",
    R"({"do": "type", "control": "txt_Sc_Cve_Sucursal", "text": "MTY"})",
    R"({"do": "type", "control": "txt_Vn_Cve_Vendedor", "text": "V001"})",
    R"({"do": "type", "control": "txt_Cl_Cve_Cliente", "text": "C00001"})",
    R"({"do": "type", "control": "txt_Tps_Cve_Tipo_Poliza", "text": "SOPMEN"})",
    R"({"do": "choose", "control": "cbCorte", "text": "5"})",
    R"({"do": "toolbar", "command": "Aceptar"})",
};

// The server stops while a save waits in the middle of its transaction (the folio issued,
// the header written, the services waiting for a row another session holds). The save's
// trap shows the driver's message; the next command says plainly that the connection is
// lost; once the server is back the one after connects again, finds that nothing of the
// save was kept, and saves under the same first folio.
TEST(ServerStopped, InTheMiddleOfASaveNothingIsKeptAndTheProgramConnectsAgain) {
  PrivateServer server;
  auto holder = host::OpenOdbcDatabase(server.ConnectionString());
  holder->ForHost().BeginTrans();
  holder->ForHost().Execute(
      "SELECT Ts_Descripcion FROM Tipo_Servicio WHERE Ts_Cve_Tipo_Servicio = 'VISITA' FOR "
      "UPDATE");
  ScriptSession script(server.ConnectionString());
  script.Send(R"({"do": "open"})");
  for (const char* line : kNewPolicy) script.Send(line);

  // Activity is read afresh outside a transaction only.
  auto monitor = host::OpenOdbcDatabase(server.ConnectionString());
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (Scalar(monitor->ForHost(),
                "SELECT COUNT(*) AS v FROM pg_stat_activity WHERE wait_event_type = 'Lock'") !=
         "n:1") {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the save never waited";
    std::this_thread::sleep_for(20ms);
  }
  server.Halt();
  const Json trap = script.Next();
  EXPECT_EQ(trap["id"], "ERR-ID:7500012");
  EXPECT_THAT(trap["text"].get<std::string>(),
              StartsWith("57P01: FATAL: terminating connection due to administrator command"));

  script.Send(R"({"do": "toolbar", "command": "Cancelar"})");
  script.Send(R"({"do": "type", "control": "txtFolio", "text": "mty-1"})");
  const Json lost = script.Next();
  EXPECT_EQ(lost["id"], "ERR-ID:7500014");
  EXPECT_THAT(lost["text"].get<std::string>(),
              HasSubstr("the connection to the database is lost and cannot be made again: 08001:"));

  server.Resume();
  script.Send(R"({"do": "type", "control": "txtFolio", "text": ""})");
  script.Send(R"({"do": "type", "control": "txtFolio", "text": "mty-1"})");
  for (const char* line : kNewPolicy) script.Send(line);
  script.Send(R"({"do": "show"})");
  const Json saved = script.Next();
  ASSERT_EQ(saved["event"], "screen") << saved;
  EXPECT_EQ(saved["state"]["newFolio"], "MTY-000001");
  EXPECT_EQ(script.Finish(), 0);

  auto database = host::OpenOdbcDatabase(server.ConnectionString());
  EXPECT_EQ(Rows(database->ForHost(),
                 "SELECT (SELECT COUNT(*) FROM Poliza_Servicio) AS p, (SELECT COUNT(*) FROM "
                 "Poliza_Servicio_Tipo_Servicio) AS s, (SELECT string_agg(branch || ' ' || "
                 "last_number, ',') FROM folio_series) AS f",
                 {"p", "s", "f"}),
            Lines{"n:1|n:2|'MTY 1'"});
}

}  // namespace
}  // namespace nv407::testing
