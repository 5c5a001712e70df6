// catalogue_search_bench: the F2 search of the client field over a catalogue of 100,000
// clients, through the real dialog on Qt's offscreen platform. See docs/benchmarks.md.
//
//   catalogue_search_bench [--benchmark_filter=...] [--benchmark_repetitions=N]
//
// POLIZAS_BENCH_CLIENTS sets the catalogue's size (100,000 when unset).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>

#include "component/date.h"
#include "host/db/database.h"
#include "host/lists/catalogue_search.h"
#include "host/qt/catalogue_dialog.h"
#include "policy_database.h"
#include "screen/layout.h"
#include "typing.h"

namespace {

using namespace nv407;

std::int64_t ClientCount() {
  const char* set = std::getenv("POLIZAS_BENCH_CLIENTS");
  return set != nullptr ? std::atoll(set) : 100'000;
}

// The demo database with `count` clients more, 2 % of them withdrawn, in one transaction.
struct Catalogue {
  Catalogue() {
    database =
        host::OpenSqliteDatabase(folder.filePath("clients.db").toStdString(), {.create = true});
    Connection& sql = database->ForHost();
    host::TransactionScope transaction(sql);
    host::CreateSchema(sql, host::SqlDialect::kSqlite);
    host::LoadDemoData(sql);
    polizas_bench::AddClients(sql, ClientCount());
    transaction.Commit();
  }
  host::ListSource Clients() const {
    for (const ControlLayout& row : frmNV407Layout().controls)
      if (row.name == "txt_Cl_Cve_Cliente") return *host::CatalogueOf(row.Setting("sql"));
    std::abort();
  }

  QTemporaryDir folder;
  std::unique_ptr<host::Database> database;
};

Catalogue& Shared() {
  static Catalogue catalogue;
  return catalogue;
}

// F2: the dialog made, its first page read and shown, on the field's text.
void BM_OpenSearch(benchmark::State& state, const char* field_text) {
  Catalogue& catalogue = Shared();
  for (auto _ : state) {
    host::CatalogueDialog dialog("Buscar cliente", *catalogue.database, catalogue.Clients(),
                                 field_text, nullptr);
    dialog.show();
    polizas_bench::Settle();
  }
  state.counters["clients"] = static_cast<double>(ClientCount());
}
BENCHMARK_CAPTURE(BM_OpenSearch, empty_field, "")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_OpenSearch, key_typed, "K00420")->Unit(benchmark::kMillisecond)->UseRealTime();

// One keystroke in the open dialog: its text, the first page of what it finds, the list
// redrawn. Each text is a different kind of search.
void BM_Keystroke(benchmark::State& state, const char* text) {
  Catalogue& catalogue = Shared();
  host::CatalogueDialog dialog("Buscar cliente", *catalogue.database, catalogue.Clients(), "",
                               nullptr);
  dialog.show();
  polizas_bench::Settle();
  const QString typed = QString::fromUtf8(text);
  for (auto _ : state) polizas_bench::Keystroke(state, *dialog.Filter(), typed);
  state.counters["clients"] = static_cast<double>(ClientCount());
}
// A key's start: a range on the key's index.
BENCHMARK_CAPTURE(BM_Keystroke, key_prefix, "K00981")->Unit(benchmark::kMillisecond)->UseRealTime();
// A word that most names hold: the first page fills at once.
BENCHMARK_CAPTURE(BM_Keystroke, common_word, "gonzález")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
// A few names in 100,000: the scan reads the catalogue to its end.
BENCHMARK_CAPTURE(BM_Keystroke, rare_text, "ramos ramos 99")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
// A few names, with an accented letter in the text, which SQLite's LIKE cannot match in
// either case by itself.
BENCHMARK_CAPTURE(BM_Keystroke, rare_accented, "chávez ramos 99")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
// Nothing holds it: the longest a keystroke can take.
BENCHMARK_CAPTURE(BM_Keystroke, no_match, "zzz")->Unit(benchmark::kMillisecond)->UseRealTime();

// A word typed key by key, as an operator types it: each key one search, the later ones
// among what the earlier ones found once that was all read. The time is the whole word's;
// the counters give the mean and the slowest keystroke.
void BM_TypeWord(benchmark::State& state, const char* word) {
  Catalogue& catalogue = Shared();
  host::CatalogueDialog dialog("Buscar cliente", *catalogue.database, catalogue.Clients(), "",
                               nullptr);
  dialog.show();
  polizas_bench::Settle();
  const QString typed = QString::fromUtf8(word);
  double slowest = 0;
  for (auto _ : state) polizas_bench::TypeWord(state, *dialog.Filter(), typed, slowest);
  state.counters["keystrokes"] = static_cast<double>(typed.size());
  state.counters["slowest_keystroke_ms"] = slowest;
  state.counters["clients"] = static_cast<double>(ClientCount());
}
BENCHMARK_CAPTURE(BM_TypeWord, rare_name, "ramos ramos 99")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_TypeWord, key, "K0098123")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  Shared();  // made before the first timing
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
