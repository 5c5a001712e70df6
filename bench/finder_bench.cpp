// finder_bench: the policy finder (F2 in the folio field) over a database of 1,000,000
// policies, through the real dialog on Qt's offscreen platform. See docs/benchmarks.md.
//
//   finder_bench [--benchmark_filter=...] [--benchmark_repetitions=N]
//
// POLIZAS_BENCH_POLICIES sets the number of policies (1,000,000 when unset); the database
// is made once and kept (POLIZAS_BENCH_DIR), as screen_bench makes it.
#include <benchmark/benchmark.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

#include "host/db/database.h"
#include "host/lists/policy_list.h"
#include "host/qt/list_model.h"
#include "host/qt/policy_finder.h"
#include "policy_database.h"
#include "typing.h"

namespace {

using namespace nv407;

using polizas_bench::PolicyCount;
using polizas_bench::Settle;

struct Policies {
  Policies() : database(host::OpenSqliteDatabase(polizas_bench::PolicyDatabase(PolicyCount()))) {}
  std::unique_ptr<host::Database> database;
};

Policies& Shared() {
  static Policies policies;
  return policies;
}

// An open finder, shown and idle, as the operator sees it after F2.
struct OpenFinder {
  OpenFinder() : finder(*Shared().database, polizas_bench::BenchToday(), "", nullptr) {
    finder.show();
    Settle();
  }
  host::PolicyFinder finder;
};

void Count(benchmark::State& state, const host::PolicyFinder& finder) {
  state.counters["rows"] = finder.Model().rowCount();
  state.counters["policies"] = static_cast<double>(PolicyCount());
}

// F2: the dialog made, its first page read, shown and painted.
void BM_Open(benchmark::State& state) {
  Shared();
  for (auto _ : state) {
    host::PolicyFinder finder(*Shared().database, polizas_bench::BenchToday(), "", nullptr);
    finder.show();
    Settle();
  }
  state.counters["policies"] = static_cast<double>(PolicyCount());
}
BENCHMARK(BM_Open)->Unit(benchmark::kMillisecond)->UseRealTime();

// One keystroke in the open finder: its text, the first page of what it finds, the list
// redrawn. Each text finds policies another way.
void BM_Keystroke(benchmark::State& state, const char* text) {
  OpenFinder open;
  const QString typed = QString::fromUtf8(text);
  for (auto _ : state) polizas_bench::Keystroke(state, *open.finder.Filter(), typed);
  // What the last keystroke found: the keystroke leaves the text empty again.
  open.finder.Filter()->setText(typed);
  Settle();
  Count(state, open.finder);
}
// A branch's folios: a range on the key.
BENCHMARK_CAPTURE(BM_Keystroke, folio_branch, "mty")->Unit(benchmark::kMillisecond)->UseRealTime();
// A folio as users type it, brought to its stored form.
BENCHMARK_CAPTURE(BM_Keystroke, folio_typed, "gdl-4242")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
// A client key's start: a hundred clients, their policies through the client index.
BENCHMARK_CAPTURE(BM_Keystroke, client_key, "k00123")->Unit(benchmark::kMillisecond)->UseRealTime();
// A word most client names hold: policies in folio order, each client looked at.
BENCHMARK_CAPTURE(BM_Keystroke, common_word, "hernández")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
// A few clients in 50,000.
BENCHMARK_CAPTURE(BM_Keystroke, rare_name, "ramos ramos 99")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
// Nothing: every client's name looked at, no policy.
BENCHMARK_CAPTURE(BM_Keystroke, no_match, "zzz")->Unit(benchmark::kMillisecond)->UseRealTime();

// A text typed key by key, as an operator types it; the counters give the slowest key.
void BM_TypeWord(benchmark::State& state, const char* word) {
  OpenFinder open;
  const QString typed = QString::fromUtf8(word);
  double slowest = 0;
  for (auto _ : state) polizas_bench::TypeWord(state, *open.finder.Filter(), typed, slowest);
  state.counters["keystrokes"] = static_cast<double>(typed.size());
  state.counters["slowest_keystroke_ms"] = slowest;
  state.counters["policies"] = static_cast<double>(PolicyCount());
}
BENCHMARK_CAPTURE(BM_TypeWord, client_name, "hotel ramos")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_TypeWord, folio, "qro-123456")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_TypeWord, client_key, "k0049999")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A quick filter's button: the first page of what it keeps (about to end: by end date).
void BM_QuickFilter(benchmark::State& state, host::PolicyFilter filter) {
  OpenFinder open;
  for (auto _ : state) {
    open.finder.Choose(filter);
    Settle();
    state.PauseTiming();
    Count(state, open.finder);
    open.finder.Choose(host::PolicyFilter::kAll);
    open.finder.List()->horizontalHeader()->setSortIndicator(0, Qt::AscendingOrder);
    Settle();
    state.ResumeTiming();
  }
}
BENCHMARK_CAPTURE(BM_QuickFilter, in_force, host::PolicyFilter::kInForce)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_QuickFilter, expiring, host::PolicyFilter::kExpiring)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_QuickFilter, expired, host::PolicyFilter::kExpired)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_QuickFilter, nearly_used_up, host::PolicyFilter::kNearlyUsedUp)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_QuickFilter, cancelled, host::PolicyFilter::kCancelled)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A click on a column's header: the first page in that column's order, of all policies or
// of those a quick filter keeps.
void BM_Sort(benchmark::State& state, host::PolicyFilter filter, int column, Qt::SortOrder order) {
  OpenFinder open;
  open.finder.Choose(filter);
  Settle();
  QHeaderView* header = open.finder.List()->horizontalHeader();
  for (auto _ : state) {
    header->setSortIndicator(column, order);
    Settle();
    state.PauseTiming();
    Count(state, open.finder);
    header->setSortIndicator(0, Qt::AscendingOrder);
    Settle();
    state.ResumeTiming();
  }
}
BENCHMARK_CAPTURE(BM_Sort, end_date, host::PolicyFilter::kAll, int(host::kPolicyEnd),
                  Qt::AscendingOrder)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Sort, client, host::PolicyFilter::kAll, int(host::kPolicyClient),
                  Qt::AscendingOrder)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Sort, client_name, host::PolicyFilter::kAll, int(host::kPolicyClientName),
                  Qt::AscendingOrder)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Sort, client_name_descending, host::PolicyFilter::kAll,
                  int(host::kPolicyClientName), Qt::DescendingOrder)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Sort, usage, host::PolicyFilter::kAll, int(host::kPolicyUsage),
                  Qt::DescendingOrder)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Sort, usage_ascending, host::PolicyFilter::kAll, int(host::kPolicyUsage),
                  Qt::AscendingOrder)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Sort, in_force_by_usage, host::PolicyFilter::kInForce, int(host::kPolicyUsage),
                  Qt::DescendingOrder)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Sort, expiring_by_client_name, host::PolicyFilter::kExpiring,
                  int(host::kPolicyClientName), Qt::AscendingOrder)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Sort, branch, host::PolicyFilter::kAll, int(host::kPolicyBranch),
                  Qt::AscendingOrder)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Sort, branch_descending, host::PolicyFilter::kAll, int(host::kPolicyBranch),
                  Qt::DescendingOrder)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Sort, type, host::PolicyFilter::kAll, int(host::kPolicyType),
                  Qt::AscendingOrder)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Sort, start, host::PolicyFilter::kAll, int(host::kPolicyStart),
                  Qt::AscendingOrder)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Sort, end_date_descending, host::PolicyFilter::kAll, int(host::kPolicyEnd),
                  Qt::DescendingOrder)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Sort, state, host::PolicyFilter::kAll, int(host::kPolicyState),
                  Qt::AscendingOrder)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Sort, nearly_used_up_by_usage_ascending, host::PolicyFilter::kNearlyUsedUp,
                  int(host::kPolicyUsage), Qt::AscendingOrder)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The next page, as the list scrolls to it, once `rows` rows were read in a column's order
// (untimed); each iteration reads one page further.
void BM_NextPage(benchmark::State& state, int column, Qt::SortOrder order, int rows) {
  OpenFinder open;
  open.finder.List()->horizontalHeader()->setSortIndicator(column, order);
  Settle();
  QAbstractItemModel* model = open.finder.List()->model();
  while (model->rowCount() < rows && model->canFetchMore({})) model->fetchMore({});
  Settle();
  for (auto _ : state) {
    model->fetchMore({});
    Settle();
  }
  state.counters["rows"] = model->rowCount();
  state.counters["policies"] = static_cast<double>(PolicyCount());
}
BENCHMARK_CAPTURE(BM_NextPage, end_date_at_row_20000, int(host::kPolicyEnd), Qt::AscendingOrder,
                  20000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(20);
BENCHMARK_CAPTURE(BM_NextPage, client_name_at_row_20000, int(host::kPolicyClientName),
                  Qt::AscendingOrder, 20000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(20);
BENCHMARK_CAPTURE(BM_NextPage, branch_descending_at_row_20000, int(host::kPolicyBranch),
                  Qt::DescendingOrder, 20000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(20);

// Every quick filter in every column's order, either way: the slowest first page (the
// header clicked) and the slowest second page (the list scrolled to it), in milliseconds.
void BM_EveryOrder(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  const auto since = [](Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  };
  OpenFinder open;
  QHeaderView* header = open.finder.List()->horizontalHeader();
  QAbstractItemModel* model = open.finder.List()->model();
  double first = 0, next = 0;
  // POLIZAS_BENCH_EACH set: each order's first and next page, in processor time, on stderr,
  // to compare one order's cost between builds while other work shares the machine.
  const bool each = std::getenv("POLIZAS_BENCH_EACH") != nullptr;
  const auto cpu_ms = [] {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
  };
  for (auto _ : state) {
    for (const host::PolicyFilter filter :
         {host::PolicyFilter::kAll, host::PolicyFilter::kInForce, host::PolicyFilter::kExpiring,
          host::PolicyFilter::kExpired, host::PolicyFilter::kNearlyUsedUp,
          host::PolicyFilter::kCancelled}) {
      open.finder.Choose(filter);
      Settle();
      for (int column = 0; column <= host::kPolicyUsage; ++column) {
        for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
          header->setSortIndicator(column == 0 ? 1 : 0, Qt::AscendingOrder);
          Settle();
          auto start = Clock::now();
          const double first_cpu = cpu_ms();
          header->setSortIndicator(column, order);
          Settle();
          first = std::max(first, since(start));
          const double next_cpu = cpu_ms();
          start = Clock::now();
          model->fetchMore({});
          Settle();
          next = std::max(next, since(start));
          if (each) {
            std::fprintf(stderr, "order %s %d %s first %.1f next %.1f\n",
                         std::string(host::PolicyFilterName(filter)).c_str(), column,
                         order == Qt::AscendingOrder ? "asc" : "desc", next_cpu - first_cpu,
                         cpu_ms() - next_cpu);
          }
        }
      }
    }
  }
  state.counters["slowest_first_page_ms"] = first;
  state.counters["slowest_next_page_ms"] = next;
  state.counters["policies"] = static_cast<double>(PolicyCount());
}
BENCHMARK(BM_EveryOrder)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

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
