#pragma once

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/db/database.h"
#include "support/result_text.h"
#include "support/test_backend.h"
#include "support/test_database.h"

namespace nv407::testing {

// polizas-db as built, run with `arguments`: "EXIT OUTPUT".
inline std::string PolizasDb(const std::string& arguments) {
  const std::string output = "polizas-db-output-" + std::to_string(::getpid()) + ".txt";
  const std::string said = RunCommand(
      std::string(std::getenv("POLIZAS_BUILD_DIR")) + "/bin/polizas-db " + arguments, output);
  std::remove(output.c_str());
  return said;
}

// The connection string `connection` (the owner's) for `login` instead.
inline std::string AsLogin(std::string connection, const std::string& login) {
  connection.replace(connection.find("Username=postgres"), std::string::npos, "Username=" + login);
  return connection;
}

inline constexpr const char* kUpToDate = "0 The database is up to date; nothing was changed\n";

inline sockaddr_un UnixAddress(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  return address;
}
// A socket listening on `path`, for connections the driver makes to a server's folder.
inline int ListenOn(const std::string& path) {
  const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
  const sockaddr_un address = UnixAddress(path);
  if (::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener, 8) != 0)
    throw Error("cannot listen on " + path);
  return listener;
}

// The test server's connections carried through a socket in `folder` (made here): the
// server's own socket, the connection string that reaches it through the folder instead,
// and the socket listening there.
struct RelayedServer {
  std::string server_socket;
  std::string connection;
  int listener = -1;
};
inline RelayedServer RelayThrough(const std::string& server_connection,
                                  const std::filesystem::path& folder) {
  const std::string key = "Servername=";
  const std::size_t start = server_connection.find(key) + key.size();
  const std::size_t end = server_connection.find(';', start);
  RelayedServer relayed;
  relayed.server_socket = server_connection.substr(start, end - start) + "/.s.PGSQL.5432";
  relayed.connection = server_connection;
  relayed.connection.replace(start, end - start, folder.string());
  std::filesystem::create_directories(folder);
  relayed.listener = ListenOn((folder / ".s.PGSQL.5432").string());
  return relayed;
}

// A copy of the demo database on the test server, and sessions on it.
class ServerTest : public ::testing::Test {
 protected:
  ~ServerTest() override {
    if (logins_.empty()) return;
    auto owner = Open();
    for (const std::string& login : logins_) {
      try {
        owner->ForHost().Execute("DROP OWNED BY " + login);  // its rights of connection
        owner->ForHost().Execute("DROP ROLE IF EXISTS " + login);
      } catch (const std::exception&) {
        // Left for the server's removal at the end of the run.
      }
    }
  }

  std::unique_ptr<host::Database> Open(host::OdbcOptions options = {}) {
    return host::OpenOdbcDatabase(database_.ConnectionString(), std::move(options));
  }
  // A login of its own (roles belong to the whole server) in `group`, if any, that may
  // connect to the test's database; dropped at the end.
  std::string MakeLogin(const std::string& name, std::string_view group) {
    static std::atomic<int> made = 0;
    const std::string login =
        name + "_" + std::to_string(::getpid()) + "_" + std::to_string(++made);
    auto owner = Open();
    owner->ForHost().Execute("CREATE ROLE " + login + " LOGIN" +
                             (group.empty() ? "" : " IN ROLE " + std::string(group)));
    owner->ForHost().Execute("GRANT CONNECT ON DATABASE " + database_.Name() + " TO " + login);
    logins_.push_back(login);
    return login;
  }
  // polizas-db upgrade of the test's database, run by `login` (its owner when empty).
  std::string Upgrade(const std::string& login = "") const {
    const std::string& owner = database_.ConnectionString();
    return PolizasDb("upgrade --odbc '" + (login.empty() ? owner : AsLogin(owner, login)) + "'");
  }
  // The owner's upgrade says it added `added`; a second one finds nothing to do.
  void ExpectUpgradeAdds(const std::string& added) const {
    EXPECT_EQ(Upgrade(), "0 Added to the database: " + added + "\n");
    EXPECT_EQ(Upgrade(), kUpToDate);
  }

  ServerDatabase database_{ServerDatabase::Contents::kDemo};

 private:
  std::vector<std::string> logins_;
};

}  // namespace nv407::testing
