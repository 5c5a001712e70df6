#include "policy_database.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>

#include "component/database.h"
#include "component/error.h"
#include "host/db/database.h"

namespace polizas_bench {
namespace {

namespace fs = std::filesystem;
using nv407::Connection;

// Bumped whenever what the generator writes or the schema it writes into changes: it names
// the file, so that a file of another generation is never opened (which would bring it up
// to date first), and is stored in it.
constexpr const char* kGeneration = "bench-fill-6";
constexpr std::array kBranches = {"MTY", "GDL", "QRO"};
constexpr std::int64_t kChunk = 50'000;

fs::path BenchFolder() {
  const char* configured = std::getenv("POLIZAS_BENCH_DIR");
  fs::path folder = configured && *configured ? fs::path(configured)
                                              : fs::temp_directory_path() / "polizas-bench";
  fs::create_directories(folder);
  return folder;
}

bool MadeByThisGeneration(const fs::path& path) {
  if (!fs::exists(path)) return false;
  try {
    auto database = nv407::host::OpenSqliteDatabase(path.string());
    auto result = database->ForHost().Execute(
        "SELECT value AS v FROM host_parameter WHERE name = 'BENCH_GENERATION'");
    return !result->Eof() && result->Fields("v").Value().ToText() == kGeneration;
  } catch (const nv407::Error&) {
    return false;
  }
}

// The policies [from, to) counted out, as a statement's opening.
std::string Counting(std::int64_t from, std::int64_t to) {
  return "WITH RECURSIVE n(i) AS (SELECT " + std::to_string(from) +
         " UNION ALL SELECT i + 1 FROM n WHERE i + 1 < " + std::to_string(to) + ") ";
}
// Policy i's folio: its branch's, then its number among the branch's in six digits.
constexpr const char* kFolioOfI =
    "CASE i % 3 WHEN 0 THEN 'MTY' WHEN 1 THEN 'GDL' ELSE 'QRO' END || '-' || "
    "printf('%06d', i / 3 + 1)";

// Policies [from, to), then their services: each an INSERT ... SELECT over a counting CTE.
// Policy i starts (i * 37) % 1095 days before BenchToday and lasts a year; its client is
// (i * 7919) % clients; one in ten has used 80 % of its remote support or more.
void FillPolicies(Connection& sql, std::int64_t from, std::int64_t to, std::int64_t clients) {
  sql.Execute(
      Counting(from, to) +
      "INSERT INTO Poliza_Servicio (Ps_Folio, Ps_Fecha, Ps_Fecha_Inicia, Ps_Fecha_Finaliza, "
      "Sc_Cve_Sucursal, Vn_Cve_Vendedor, Cl_Cve_Cliente, Ps_Comentario, Ps_Dia_Corte, "
      "Ps_Referencia, Tps_Cve_Tipo_Poliza_Servicio, Es_Cve_Estado, Oper_Alta, Fecha_Alta) "
      "SELECT f, s, s, date(s, '+1 year', '-1 day'), substr(f, 1, 3), "
      "'V00' || (i % 3 + 1), printf('K%07d', (i * 7919) % " +
      std::to_string(clients) +
      "), 'Póliza ' || i, i % 28 + 1, 'OC-' || i, 'SOPANUAL', "
      "CASE WHEN i % 20 = 19 THEN 'CA' ELSE 'AC' END, 'ADMIN', s || ' 09:00:00' "
      "FROM (SELECT i, " +
      kFolioOfI + " AS f, date('" + BenchToday().ToIsoDate() +
      "', '-' || (i * 37 % 1095) || ' days') AS s FROM n)");
  // r numbers the policies from 1, as they were written.
  sql.Execute(Counting(from, to) +
              "INSERT INTO Poliza_Servicio_Tipo_Servicio "
              "SELECT f, s.service, s.included, CASE s.service WHEN 'SOPREM' THEN CASE WHEN "
              "r % 10 = 3 THEN 96 + r % 30 ELSE r * 13 % 90 END WHEN 'SOPSITIO' THEN "
              "r % 19 ELSE 0 END, CASE WHEN s.service = 'VISITA' THEN r % 9 ELSE 0 END "
              "FROM (SELECT " +
              kFolioOfI +
              " AS f, i + 1 AS r FROM n) AS p, (SELECT 'SOPREM' AS service, 120 AS included "
              "UNION ALL SELECT 'SOPSITIO', 24 UNION ALL SELECT 'VISITA', 12) AS s "
              "ORDER BY f, s.service");
}

void Generate(const fs::path& path, std::int64_t count) {
  const fs::path partial = path.string() + ".partial";
  for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(partial.string() + suffix);
  const auto start = std::chrono::steady_clock::now();
  {
    auto database = nv407::host::OpenSqliteDatabase(partial.string(), {.create = true});
    Connection& sql = database->ForHost();
    nv407::host::CreateSchema(sql, nv407::host::SqlDialect::kSqlite);
    nv407::host::LoadDemoData(sql);
    // The bulk policies take the folios from 1 on: whatever policies the demo has go.
    for (const char* table : {"Poliza_Servicio_Tipo_Servicio", "Poliza_Servicio", "folio_series",
                              "extended_text", "record_log", "additional_field_value"})
      sql.Execute(std::string("DELETE FROM ") + table);
    const std::int64_t clients = std::max<std::int64_t>(count / 20, 1);  // as IsOpenToEveryCommand
    {
      nv407::host::TransactionScope transaction(sql);
      AddClients(sql, clients);
      transaction.Commit();
    }
    for (std::int64_t from = 0; from < count; from += kChunk) {
      nv407::host::TransactionScope chunk(sql);
      FillPolicies(sql, from, std::min(count, from + kChunk), clients);
      chunk.Commit();
      std::fprintf(stderr, "\rbench: writing %lld policies to %s: %3lld %%",
                   static_cast<long long>(count), path.c_str(),
                   static_cast<long long>(100 * std::min(count, from + kChunk) / count));
    }
    sql.Execute(
        "INSERT INTO folio_series (branch, table_name, last_number) "
        "SELECT Sc_Cve_Sucursal, 'Poliza_Servicio', COUNT(*) FROM Poliza_Servicio "
        "GROUP BY Sc_Cve_Sucursal");
    sql.Execute(std::string("INSERT INTO host_parameter (name, value) VALUES "
                            "('BENCH_GENERATION', '") +
                kGeneration + "')");
    sql.Execute("PRAGMA wal_checkpoint(TRUNCATE)");
  }
  fs::rename(partial, path);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::fprintf(stderr, "\rbench: wrote %lld policies to %s in %.1f s (%.0f MB)\n",
               static_cast<long long>(count), path.c_str(), took.count(),
               static_cast<double>(fs::file_size(path)) / 1e6);
}

// Names as a client catalogue holds them: a trade, a family name or two, a company form.
std::string ClientName(std::mt19937& random) {
  static const char* kTrades[] = {"Comercializadora", "Distribuidora", "Ferretería", "Farmacia",
                                  "Constructora",     "Transportes",   "Hotel",      "Despacho",
                                  "Laboratorios",     "Grupo",         "Servicios",  "Abarrotes"};
  static const char* kNames[] = {"Hernández", "García",  "Martínez",  "López",  "González",
                                 "Pérez",     "Sánchez", "Ramírez",   "Torres", "Flores",
                                 "Rivera",    "Gómez",   "Díaz",      "Reyes",  "Morales",
                                 "Cruz",      "Ortiz",   "Gutiérrez", "Chávez", "Ramos"};
  static const char* kForms[] = {"S.A. de C.V.", "S.C.", "A.C.", "S. de R.L."};
  auto pick = [&](const auto& list) { return list[random() % std::size(list)]; };
  return std::string(pick(kTrades)) + " " + pick(kNames) + " " + pick(kNames) + " " +
         std::to_string(random() % 1000) + ", " + pick(kForms);
}

}  // namespace

std::int64_t PolicyCount() {
  const char* text = std::getenv("POLIZAS_BENCH_POLICIES");
  const std::int64_t count = text ? std::atoll(text) : 1'000'000;
  return count > 0 && count <= 2'999'997 ? count : 1'000'000;
}

nv407::Date BenchToday() {
  return nv407::Date::FromYmd(2024, 3, 15);
}

bool IsWithdrawnClient(std::int64_t k) {
  return k % 50 == 49;
}

bool IsOpenToEveryCommand(std::int64_t i, std::int64_t count) {
  const bool cancelled = i % 20 == 19;
  const std::int64_t days_since_start = i * 37 % 1095;
  const std::int64_t client = i * 7919 % std::max<std::int64_t>(count / 20, 1);
  return !cancelled && days_since_start < 365 && !IsWithdrawnClient(client);
}

void AddClients(Connection& sql, std::int64_t count) {
  std::mt19937 random(407);
  for (std::int64_t i = 0; i < count; ++i) {
    char key[32];
    std::snprintf(key, sizeof key, "K%07lld", static_cast<long long>(i));
    sql.Execute("INSERT INTO Cliente (Cl_Cve_Cliente, Cl_Razon_Social_1, Es_Cve_Estado) VALUES ('" +
                std::string(key) + "', '" + ClientName(random) + "', '" +
                (IsWithdrawnClient(i) ? "BA" : "AC") + "')");
  }
}

fs::path PolicyDatabase(std::int64_t count) {
  const fs::path path =
      BenchFolder() / ("policies-" + std::to_string(count) + "-" + kGeneration + ".db");
  if (!MadeByThisGeneration(path)) Generate(path, count);
  return path;
}

ScratchCopy::ScratchCopy(const fs::path& original, const std::string& name)
    : path_(original.parent_path() / (name + ".db")) {
  for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(path_.string() + suffix);
  fs::copy_file(original, path_);
}

ScratchCopy::~ScratchCopy() {
  std::error_code ignored;  // a leftover scratch file is no reason to fail
  for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(path_.string() + suffix, ignored);
}

std::string TypedFolio(std::int64_t i) {
  std::string branch = kBranches[static_cast<std::size_t>(i % 3)];
  for (char& c : branch) c = static_cast<char>(c - 'A' + 'a');
  return branch + "-" + std::to_string(i / 3 + 1);
}

}  // namespace polizas_bench
