// screen_bench: the capture screen's commands timed through the headless host, with the
// component in process, on a temp-file SQLite database of many policies.
//
//   POLIZAS_BENCH_POLICIES=100000 screen_bench [--benchmark_filter=...]
//
// The database holds POLIZAS_BENCH_POLICIES policies (1,000,000 when unset) of three
// services each. Every look-up the screen makes is keyed, so a command should cost about
// the same here as on a database of ten thousand policies; LoadPolicyByFolio runs on both.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>

#include "component/component.h"
#include "component/host_services.h"
#include "host/db/database.h"
#include "host/headless/headless_host.h"

namespace {

using namespace nv407;

constexpr std::int64_t kDefaultPolicies = 1'000'000;
constexpr std::int64_t kSmallPolicies = 10'000;
constexpr const char* kOperator = "ADMIN";  // the demo operator holding "INISERV"

// The bulk policies go round the demo branches whose folios carry six digits, so up to
// three million fit. Policy i is branch i % 3, number i / 3 + 1.
constexpr std::array kBranches = {"MTY", "GDL", "QRO"};

std::int64_t PoliciesFromEnvironment() {
  const char* text = std::getenv("POLIZAS_BENCH_POLICIES");
  const std::int64_t count = text ? std::atoll(text) : kDefaultPolicies;
  return count > 0 && count <= 3 * 999'999 ? count : kDefaultPolicies;
}

// On the demo catalogues: `count` live policies of three partly used services each,
// written in one transaction; the folio series go on after the bulk folios.
void FillPolicies(Connection& sql, std::int64_t count) {
  host::TransactionScope transaction(sql);
  sql.Execute(
      "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < " +
      std::to_string(count) +
      ") "
      "INSERT INTO Poliza_Servicio (Ps_Folio, Ps_Fecha, Ps_Fecha_Inicia, Ps_Fecha_Finaliza, "
      "Sc_Cve_Sucursal, Vn_Cve_Vendedor, Cl_Cve_Cliente, Ps_Comentario, Ps_Dia_Corte, "
      "Ps_Referencia, Tps_Cve_Tipo_Poliza_Servicio, Oper_Alta, Fecha_Alta) "
      "SELECT b || '-' || printf('%06d', i / 3 + 1), '2024-01-02', '2024-01-02', '2025-01-01', "
      "b, 'V00' || (i % 3 + 1), 'C0000' || (i % 4 + 1), 'Póliza ' || i, i % 28 + 1, "
      "'OC-' || i, 'SOPANUAL', 'ADMIN', '2024-01-02 09:00:00' "
      "FROM (SELECT i, CASE i % 3 WHEN 0 THEN 'MTY' WHEN 1 THEN 'GDL' ELSE 'QRO' END AS b "
      "FROM n)");
  sql.Execute(
      "INSERT INTO Poliza_Servicio_Tipo_Servicio "
      "SELECT Ps_Folio, s.service, s.included, s.hours, s.events FROM Poliza_Servicio, "
      "(SELECT 'SOPREM' AS service, 120 AS included, 7.5 AS hours, 0 AS events "
      "UNION ALL SELECT 'SOPSITIO', 24, 3, 0 UNION ALL SELECT 'VISITA', 12, 0, 2) AS s "
      "ORDER BY Ps_Folio, s.service");
  sql.Execute(
      "INSERT INTO folio_series (branch, table_name, last_number) "
      "SELECT Sc_Cve_Sucursal, 'Poliza_Servicio', COUNT(*) FROM Poliza_Servicio "
      "GROUP BY Sc_Cve_Sucursal");
  transaction.Commit();
}

// A database file in the temp directory, filled once and removed when the process ends.
class PolicyDatabase {
 public:
  explicit PolicyDatabase(std::int64_t count)
      : path_(
            std::filesystem::temp_directory_path() /
            ("polizas-bench-" + std::to_string(::getpid()) + "-" + std::to_string(count) + ".db")),
        count_(count) {
    const auto start = std::chrono::steady_clock::now();
    database_ = host::OpenSqliteDatabase(path_.string(), {.create = true});
    host::CreateSchema(database_->ForHost(), host::SqlDialect::kSqlite);
    host::LoadDemoData(database_->ForHost());
    FillPolicies(database_->ForHost(), count);
    database_->ForHost().Execute("PRAGMA wal_checkpoint(TRUNCATE)");
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::fprintf(stderr, "%lld policies written to %s in %.1f s (%.0f MB)\n",
                 static_cast<long long>(count), path_.c_str(), took.count(), SizeMb());
  }
  ~PolicyDatabase() {
    database_.reset();
    for (const char* suffix : {"", "-wal", "-shm"}) {
      std::error_code ignored;  // a leftover temp file is no reason to fail at exit
      std::filesystem::remove(path_.string() + suffix, ignored);
    }
  }
  PolicyDatabase(const PolicyDatabase&) = delete;
  PolicyDatabase& operator=(const PolicyDatabase&) = delete;

  host::Database& db() { return *database_; }
  double SizeMb() const { return static_cast<double>(std::filesystem::file_size(path_)) / 1e6; }

  // A bulk policy's folio as a user types it: lower case, no leading zeros ("gdl-42").
  std::string RandomTypedFolio(std::mt19937_64& random) const {
    const std::int64_t i = std::uniform_int_distribution<std::int64_t>(0, count_ - 1)(random);
    std::string branch = kBranches[i % 3];
    for (char& c : branch) c = static_cast<char>(c - 'A' + 'a');
    return branch + "-" + std::to_string(i / 3 + 1);
  }

 private:
  std::filesystem::path path_;
  std::int64_t count_;
  std::unique_ptr<host::Database> database_;
};

PolicyDatabase& DatabaseOf(std::int64_t count) {
  static std::map<std::int64_t, std::unique_ptr<PolicyDatabase>> databases;
  auto& database = databases[count];
  if (!database) database = std::make_unique<PolicyDatabase>(count);
  return *database;
}

std::unique_ptr<host::HeadlessHost> OpenScreen(PolicyDatabase& database) {
  auto screen = std::make_unique<host::HeadlessHost>(
      database.db(), host::SessionSettings{kOperator, {}},
      [](HostLibrary& library) { return MakeInProcessPantalla(library); });
  screen->Open();
  return screen;
}

void Report(benchmark::State& state, PolicyDatabase& database) {
  state.SetItemsProcessed(state.iterations());
  state.counters["policies"] = static_cast<double>(state.range(0));
  state.counters["db_MB"] = database.SizeMb();
}

// The operator types a folio; the screen loads the policy and its three services.
void LoadPolicyByFolio(benchmark::State& state) {
  PolicyDatabase& database = DatabaseOf(state.range(0));
  auto screen = OpenScreen(database);
  std::mt19937_64 random(407);
  for (auto _ : state) screen->Type("txtFolio", database.RandomTypedFolio(random));
  if (screen->Snapshot().services.size() != 3 || !screen->dialogs().Messages().empty())
    state.SkipWithError("the last folio typed did not show its policy");
  Report(state, database);
}

// A new policy typed key by key and saved: folio issued, header, services, host records.
void SaveNewPolicy(benchmark::State& state) {
  PolicyDatabase& database = DatabaseOf(state.range(0));
  auto screen = OpenScreen(database);
  for (auto _ : state) {
    screen->Press("Nuevo");
    screen->Type("txt_Sc_Cve_Sucursal", "MTY");
    screen->Type("txt_Vn_Cve_Vendedor", "V002");
    screen->Type("txt_Cl_Cve_Cliente", "C00003");
    screen->Type("txt_Tps_Cve_Tipo_Poliza", "SOPANUAL");
    screen->Choose("cbCorte", "12");
    screen->Press("Aceptar");
  }
  if (screen->Snapshot().state.newFolio.empty() || !screen->dialogs().Messages().empty())
    state.SkipWithError("a save was refused or failed");
  Report(state, database);
}

// "Inicializar servicios" on a policy just loaded (the load is not timed), answered yes.
void ResetCounters(benchmark::State& state) {
  PolicyDatabase& database = DatabaseOf(state.range(0));
  auto screen = OpenScreen(database);
  std::mt19937_64 random(7500015);
  for (auto _ : state) {
    state.PauseTiming();
    screen->Type("txtFolio", database.RandomTypedFolio(random));
    screen->dialogs().QueueAnswer(message_answer::kYes);
    state.ResumeTiming();
    screen->Click("cmdInicializa");
  }
  // One confirmation per reset and no error message.
  if (screen->dialogs().Messages().size() != static_cast<std::size_t>(state.iterations()))
    state.SkipWithError("a counter reset failed");
  Report(state, database);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  const std::int64_t policies = PoliciesFromEnvironment();
  // Wall-clock time, the operator's wait: a save or a reset waits for its commit's sync.
  benchmark::RegisterBenchmark("LoadPolicyByFolio", LoadPolicyByFolio)
      ->Arg(kSmallPolicies)
      ->Arg(policies)
      ->Unit(benchmark::kMicrosecond)
      ->UseRealTime();
  benchmark::RegisterBenchmark("SaveNewPolicy", SaveNewPolicy)
      ->Arg(policies)
      ->Unit(benchmark::kMicrosecond)
      ->UseRealTime();
  benchmark::RegisterBenchmark("ResetCounters", ResetCounters)
      ->Arg(policies)
      ->Unit(benchmark::kMicrosecond)
      ->UseRealTime();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
}
