// report_bench: each report of polizas-report over a database of 1,000,000 policies, as the
// program runs it, written to a sink. See docs/benchmarks.md.
//
//   report_bench [--benchmark_filter=...] [--benchmark_repetitions=N]
//
// POLIZAS_BENCH_POLICIES sets the number of policies (1,000,000 when unset); the database
// is made once and kept (POLIZAS_BENCH_DIR), as screen_bench makes it.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <ostream>
#include <streambuf>

#include "host/db/database.h"
#include "host/reports/reports.h"
#include "policy_database.h"

namespace {

using namespace nv407;

using polizas_bench::PolicyCount;

// Takes what it is given and keeps nothing: the report's own work, not a terminal's.
class Sink : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
  std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

void BM_Report(benchmark::State& state, host::ReportRequest request, host::ReportFormat format) {
  auto database = host::OpenSqliteDatabase(polizas_bench::PolicyDatabase(PolicyCount()));
  Sink sink;
  std::ostream out(&sink);
  std::size_t rows = 0;
  for (auto _ : state)
    rows = host::RunReport(*database, polizas_bench::BenchToday(), request, format, out);
  state.counters["rows"] = static_cast<double>(rows);
  state.counters["policies"] = static_cast<double>(PolicyCount());
}

using Kind = host::ReportRequest::Kind;
host::ReportRequest Asked(Kind kind) {
  host::ReportRequest request;
  request.kind = kind;
  return request;
}
host::ReportRequest History() {
  host::ReportRequest request = Asked(Kind::kHistory);
  request.folio = "gdl-4242";
  return request;
}
host::ReportRequest OfClient() {
  host::ReportRequest request = Asked(Kind::kPolicies);
  request.client = "K0012345";
  return request;
}
host::ReportRequest InState(host::PolicyFilter state) {
  host::ReportRequest request = Asked(Kind::kPolicies);
  request.state = state;
  return request;
}

constexpr auto kTable = host::ReportFormat::kTable;
BENCHMARK_CAPTURE(BM_Report, expiring, Asked(Kind::kExpiring), kTable)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_Report, usage, Asked(Kind::kUsage), kTable)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_Report, history, History(), kTable)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Report, policies_of_a_client, OfClient(), kTable)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Report, policies_cancelled, InState(host::PolicyFilter::kCancelled), kTable)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_Report, policies_all, Asked(Kind::kPolicies), kTable)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_Report, policies_all_json, Asked(Kind::kPolicies), host::ReportFormat::kJson)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
