// A commit whose connection is lost while the server still has it in progress: it may yet
// be made, so that nothing may be saved again before it ends.
#include <gmock/gmock.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <filesystem>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "host/headless/headless_host.h"
#include "server_support.h"
#include "support/screen_fixture.h"

namespace nv407::testing {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;

// Carries the connections to the test server through a socket of its own, and can cut the
// clients' ends of them all at once, as a network that fails does: the server's sessions
// go on with what they were doing. New connections go through.
class Relay {
 public:
  explicit Relay(const std::string& server_connection)
      : folder_(std::filesystem::temp_directory_path() /
                ("polizas-relay-progress-" + std::to_string(::getpid()))) {
    RelayedServer relayed = RelayThrough(server_connection, folder_);
    server_socket_ = std::move(relayed.server_socket);
    connection_ = std::move(relayed.connection);
    listener_ = relayed.listener;
    if (::pipe(stop_) != 0) throw Error("the relay cannot make its pipe");
    thread_ = std::thread([this] { Carry(); });
  }
  ~Relay() {
    ::close(stop_[1]);  // wakes the relay's thread to end
    thread_.join();
    for (const auto& [client, server] : carried_) cut_.insert(cut_.end(), {client, server});
    for (const int socket : cut_) ::close(socket);
    ::close(listener_);
    ::close(stop_[0]);
    std::filesystem::remove_all(folder_);
  }
  Relay(const Relay&) = delete;
  Relay& operator=(const Relay&) = delete;

  const std::string& ConnectionString() const { return connection_; }

  void Cut() {
    const std::lock_guard lock(mutex_);
    for (const auto& [client, server] : carried_) {
      ::shutdown(client, SHUT_RDWR);
      // Both closed at the end: the server's session is not told, and no new socket takes
      // their numbers while the relay's thread may still poll them.
      cut_.insert(cut_.end(), {client, server});
    }
    carried_.clear();
  }

 private:
  void Carry() {
    for (;;) {
      std::vector<pollfd> ready{{stop_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
      {
        const std::lock_guard lock(mutex_);
        for (const auto& [client, server] : carried_)
          ready.insert(ready.end(), {{client, POLLIN, 0}, {server, POLLIN, 0}});
      }
      if (::poll(ready.data(), ready.size(), -1) < 0) continue;
      if (ready[0].revents != 0) return;
      if (ready[1].revents != 0) Accept();
      for (std::size_t i = 2; i < ready.size(); ++i)
        if (ready[i].revents != 0) Forward(ready[i].fd);
    }
  }

  void Accept() {
    const int client = ::accept(listener_, nullptr, nullptr);
    if (client < 0) return;
    const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const sockaddr_un address = UnixAddress(server_socket_);
    if (::connect(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      ::close(client);
      ::close(server);
      return;
    }
    const std::lock_guard lock(mutex_);
    carried_.emplace_back(client, server);
  }

  // What `from` has, to the other end of its connection; a connection that ended is closed.
  void Forward(int from) {
    const std::lock_guard lock(mutex_);
    const auto carried = std::find_if(carried_.begin(), carried_.end(), [&](const auto& pair) {
      return pair.first == from || pair.second == from;
    });
    if (carried == carried_.end()) return;  // cut meanwhile
    const int to = carried->first == from ? carried->second : carried->first;
    char buffer[65536];
    ssize_t got = ::read(from, buffer, sizeof buffer);
    for (ssize_t sent = 0; got > 0 && sent < got;) {
      const ssize_t more =
          ::send(to, buffer + sent, static_cast<std::size_t>(got - sent), MSG_NOSIGNAL);
      if (more <= 0) got = 0;
      sent += more;
    }
    if (got > 0) return;
    ::close(carried->first);
    ::close(carried->second);
    carried_.erase(carried);
  }

  std::filesystem::path folder_;
  std::string server_socket_;
  std::string connection_;
  int listener_ = -1;
  int stop_[2] = {-1, -1};
  std::mutex mutex_;
  std::vector<std::pair<int, int>> carried_;  // client, server
  std::vector<int> cut_;
  std::thread thread_;
};

// A login whose commits wait for the standby the test server names and never has, reached
// through a relay; a commit is lost by cutting the relay while it waits, its session left
// waiting on the server.
class CommitInProgressTest : public ServerTest {
 protected:
  CommitInProgressTest() {
    admin_.Execute("CREATE ROLE " + login_ + " LOGIN SUPERUSER");
    admin_.Execute("ALTER ROLE " + login_ + " SET synchronous_commit = on");
    admin_.Execute("CREATE TABLE saved (x INTEGER)");
  }
  void TearDown() override {
    EndWaits();
    admin_.Execute("DROP ROLE " + login_);
  }

  std::string AsLogin() const { return testing::AsLogin(database_.ConnectionString(), login_); }
  // Runs `command`, the commit in it lost while it waits.
  void WithCommitLost(const std::function<void()>& command) {
    auto cut = std::async(std::launch::async, [this] {
      const bool waited = Waiting(400);
      relay_.Cut();
      return waited;
    });
    command();
    EXPECT_TRUE(cut.get()) << "the commit never waited";
    EXPECT_TRUE(Waiting(1)) << "the commit ended with its connection";
  }
  // Saves `row` in a transaction that saves `policy`, its commit lost while it waits: what
  // the commit said.
  std::string SavedWithCommitLost(host::Database& database, const std::string& row,
                                  const std::string& policy) {
    Connection& sql = database.ForHost();
    std::string said;
    WithCommitLost([&] {
      sql.BeginTrans();
      sql.Execute("INSERT INTO saved VALUES (" + row + ")");
      database.TransactionSaves(policy);
      said = Refusal([&] { sql.CommitTrans(); });
    });
    sql.RollbackTrans();
    return said;
  }
  // Whether a commit of the login waits on the server, asked `times` 25 ms apart.
  bool Waiting(int times) {
    auto watcher = Open();
    for (int i = 0; i < times; ++i) {
      if (Scalar(watcher->ForHost(),
                 "SELECT COUNT(*) AS v FROM pg_stat_activity WHERE usename = '" + login_ +
                     "' AND wait_event = 'SyncRep'") != "n:0")
        return true;
      std::this_thread::sleep_for(25ms);
    }
    return false;
  }
  // Ends the sessions of the login that wait: their commits are made as they end.
  void EndWaits() {
    admin_.Execute(
        "SELECT COUNT(pg_terminate_backend(pid, 5000)) AS v FROM pg_stat_activity WHERE "
        "usename = '" +
        login_ + "' AND wait_event = 'SyncRep'");
  }
  std::string Saved() {
    return Scalar(admin_, "SELECT string_agg(x::text, ',' ORDER BY x) AS v FROM saved");
  }
  static std::string InProgress(const std::string& folio) {
    return "la confirmación de la operación anterior (póliza " + folio +
           ") aún está en curso en el servidor; no se sabe todavía si se guardó: intente de "
           "nuevo en un momento; no se hizo nada ahora";
  }

  std::unique_ptr<host::Database> administrator_ = Open();
  Connection& admin_ = administrator_->ForHost();
  const std::string login_ = "waits_progress_" + std::to_string(::getpid());
  Relay relay_{AsLogin()};
};

// Still in progress when the next transaction begins, the commit refuses it, naming the
// policy, and every transaction after it for as long as it is; once made, it refuses them
// as a commit found made does. A capture left while its commit is in progress drops the
// question, as it drops one that could not be asked: the operator was told to look at the
// database before saving it again, and no capture is left on the screen to save twice.
TEST_F(CommitInProgressTest, ACommitStillInProgressRefusesTheNextTransactionUntilItEnds) {
  auto database = host::OpenOdbcDatabase(relay_.ConnectionString(), {.login_timeout_seconds = 1});
  Connection& sql = database->ForHost();
  EXPECT_THAT(SavedWithCommitLost(*database, "1", "MTY-000001"),
              HasSubstr("(se perdió la conexión durante la confirmación y no se sabe si se "
                        "guardó: revise la base de datos antes de repetirlo)"));
  for (int again = 0; again < 2; ++again) {
    SCOPED_TRACE(again);
    EXPECT_EQ(Refusal([&] { sql.BeginTrans(); }), InProgress("MTY-000001"));
    EXPECT_FALSE(database->InTransaction());
  }
  EXPECT_EQ(Saved(), "Null");

  EndWaits();
  EXPECT_EQ(Saved(), "'1'");
  EXPECT_EQ(Refusal([&] { sql.BeginTrans(); }),
            "la operación anterior, cuyo resultado no se sabía, sí se guardó (póliza "
            "MTY-000001): cárguela antes de repetirla; no se hizo nada ahora");
  database->CaptureLeft();

  EXPECT_THAT(SavedWithCommitLost(*database, "2", "MTY-000002"),
              HasSubstr("no se sabe si se guardó"));
  EXPECT_EQ(Refusal([&] { sql.BeginTrans(); }), InProgress("MTY-000002"));
  database->CaptureLeft();
  sql.BeginTrans();
  sql.Execute("INSERT INTO saved VALUES (3)");
  sql.Execute("SET LOCAL synchronous_commit = off");
  sql.CommitTrans();
  EXPECT_EQ(Saved(), "'1,3'");
  EndWaits();
  EXPECT_EQ(Saved(), "'1,2,3'");
}

// On the screen: a new policy's Aceptar, its commit lost while the server still has it in
// progress, then Aceptar again and again: nothing is saved while that commit is in
// progress, and once it is made the policy it saved is named. One policy for one capture.
TEST_F(CommitInProgressTest, AceptarAgainWhileTheCommitIsInProgressSavesNothing) {
  const host::Clock clock = [] { return Date::FromYmd(2024, 3, 15, 10, 30, 7); };
  auto database = host::OpenOdbcDatabase(relay_.ConnectionString(),
                                         {.clock = clock, .login_timeout_seconds = 1});
  host::HeadlessHost screen{*database, {kOperatorWithPermissions, clock}, InProcessComponent()};
  screen.Open();
  screen.Press("Nuevo");
  for (const auto& [control, text] :
       {std::pair{"txt_Sc_Cve_Sucursal", "MTY"}, std::pair{"txt_Vn_Cve_Vendedor", "V001"},
        std::pair{"txt_Cl_Cve_Cliente", "C00001"}, std::pair{"txt_Tps_Cve_Tipo_Poliza", "SOPMEN"}})
    screen.Type(control, text);
  screen.Choose("cbCorte", "5");
  // The last message Aceptar showed, "" when none. Commits that wait meanwhile (as they
  // would were it not refused: the earlier one holds the folio series' row) have their
  // waits ended after a while, which makes them.
  const auto aceptar = [&] {
    const std::size_t before = screen.dialogs().Messages().size();
    std::atomic<bool> done = false;
    auto unstick = std::async(std::launch::async, [&] {
      for (int i = 0; !done; ++i) {
        std::this_thread::sleep_for(25ms);
        if (i >= 200 && !done) EndWaits();
      }
    });
    std::string thrown;
    try {
      screen.Press("Aceptar");
    } catch (const std::exception& failure) {
      thrown = failure.what();
    }
    done = true;
    unstick.get();
    EXPECT_EQ(thrown, "");
    const auto messages = screen.dialogs().Messages();
    return messages.size() > before ? messages.back().request.text : std::string();
  };
  const std::string policies =
      "SELECT string_agg(Ps_Folio, ',') AS v FROM Poliza_Servicio WHERE Fecha_Alta = "
      "'2024-03-15 10:30:07'";

  std::string said;
  WithCommitLost([&] { said = aceptar(); });
  EXPECT_THAT(said, HasSubstr("no se sabe si se guardó"));
  std::vector<std::string> again;
  for (int i = 0; i < 2; ++i) again.push_back(aceptar());
  EXPECT_EQ(screen.toolbar().Mode(), host::ToolbarMode::kNew);
  EXPECT_EQ(Scalar(admin_, policies), "Null");

  EndWaits();
  const std::string saved = Scalar(admin_, policies);
  ASSERT_THAT(saved, MatchesRegex("'MTY-[0-9]+'")) << "one policy, made as its wait ended";
  const std::string folio = saved.substr(1, saved.size() - 2);
  EXPECT_EQ(again, std::vector<std::string>(2, InProgress(folio)));
  EXPECT_EQ(aceptar(), "la operación anterior, cuyo resultado no se sabía, sí se guardó (póliza " +
                           folio + "): cárguela antes de repetirla; no se hizo nada ahora");
  EXPECT_EQ(Scalar(admin_, policies), saved);
}

}  // namespace
}  // namespace nv407::testing
