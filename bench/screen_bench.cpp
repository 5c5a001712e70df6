// screen_bench: each command of the capture screen timed through the headless host (the
// component in process), beside its raw floor: the same statements run straight through
// libsqlite3 with prepared statements kept and values bound. See docs/benchmarks.md.
//
//   screen_bench [--benchmark_filter=...] [--benchmark_repetitions=N]
//
// POLIZAS_BENCH_POLICIES sets the large database (1,000,000 policies when unset); a small
// one of 10,000 is always there. The databases are made once and kept (POLIZAS_BENCH_DIR).
#include <benchmark/benchmark.h>
#include <time.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "component/component.h"
#include "component/host_services.h"
#include "host/db/database.h"
#include "host/headless/headless_host.h"
#include "policy_database.h"
#include "raw_replay.h"

namespace {

using namespace nv407;
using polizas_bench::CommandTrace;
using polizas_bench::PolicyDatabase;
using polizas_bench::RawReplay;
using polizas_bench::ScratchCopy;
using polizas_bench::TypedFolio;

constexpr std::int64_t kSmall = 10'000;
constexpr int kMostRuns = 2000;             // of any command
constexpr const char* kOperator = "ADMIN";  // the demo operator holding "INISERV"

double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}
double WallSeconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Wall and CPU time of what runs between Start and Stop, summed over the calls.
struct Stopwatch {
  double wall = 0, cpu = 0;
  double wall_at = 0, cpu_at = 0;
  void Start() {
    wall_at = WallSeconds();
    cpu_at = ThreadCpuSeconds();
  }
  void Stop() {
    cpu += ThreadCpuSeconds() - cpu_at;
    wall += WallSeconds() - wall_at;
  }
};

// One command of the screen: what comes before it untimed (loading the policy it acts on,
// say), and the command itself, for the i-th run on a database of `policies`.
struct Command {
  const char* name;
  bool writes;
  int runs;
  std::function<void(host::HeadlessHost&, std::int64_t policies, int i)> before, command;
};

// Distinct policies spread over the database, so that no run finds another's pages warm
// and no command acts twice on one policy; one that a command would refuse (cancelled,
// expired, its client withdrawn), or one picked before, is passed for the nearest below it.
std::int64_t Nth(std::int64_t policies, int i) {
  static std::map<std::int64_t, std::vector<std::int64_t>> picked;
  std::vector<std::int64_t>& picks = picked[policies];
  if (picks.empty()) {
    std::set<std::int64_t> taken;
    for (std::int64_t run = 0; run < kMostRuns; ++run) {
      std::int64_t n = (run * 7919 + 13) % policies;
      while (!polizas_bench::IsOpenToEveryCommand(n, policies) || taken.contains(n))
        n = (n + policies - 1) % policies;
      taken.insert(n);
      picks.push_back(n);
    }
  }
  return picks.at(static_cast<std::size_t>(i));
}

void NoPreparation(host::HeadlessHost&, std::int64_t, int) {}
void LoadPolicy(host::HeadlessHost& screen, std::int64_t policies, int i) {
  screen.Type("txtFolio", TypedFolio(Nth(policies, i)));
}

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"FolioLoad", false, kMostRuns, NoPreparation, LoadPolicy},
      {"PolicyTypeLoad", false, kMostRuns,
       [](host::HeadlessHost& screen, std::int64_t, int i) {
         if (i == 0) screen.Press("Nuevo");
       },
       [](host::HeadlessHost& screen, std::int64_t, int i) {
         screen.Type("txt_Tps_Cve_Tipo_Poliza", i % 2 ? "SOPANUAL" : "GAR12");
       }},
      {"SaveNew", true, 300, NoPreparation,
       [](host::HeadlessHost& screen, std::int64_t, int) {
         screen.Press("Nuevo");
         screen.Type("txt_Sc_Cve_Sucursal", "MTY");
         screen.Type("txt_Vn_Cve_Vendedor", "V002");
         screen.Type("txt_Cl_Cve_Cliente", "C00003");
         screen.Type("txt_Tps_Cve_Tipo_Poliza", "SOPANUAL");
         screen.Choose("cbCorte", "12");
         screen.Press("Aceptar");
       }},
      {"SaveEdit", true, 300, LoadPolicy,
       [](host::HeadlessHost& screen, std::int64_t, int i) {
         screen.Press("Modificar");
         screen.Type("txtReferencia", "OC-" + std::to_string(i));
         screen.Press("Aceptar");
       }},
      {"Baja", true, 300, LoadPolicy,
       [](host::HeadlessHost& screen, std::int64_t, int) { screen.Press("Baja"); }},
      {"CounterReset", true, 300,
       [](host::HeadlessHost& screen, std::int64_t policies, int i) {
         LoadPolicy(screen, policies, i);
         screen.dialogs().QueueAnswer(message_answer::kYes);
       },
       [](host::HeadlessHost& screen, std::int64_t, int) { screen.Click("cmdInicializa"); }},
  };
  return commands;
}

std::unique_ptr<host::HeadlessHost> OpenScreen(host::Database& database) {
  auto screen = std::make_unique<host::HeadlessHost>(
      database, host::SessionSettings{kOperator, {}},
      [](HostLibrary& library) { return MakeInProcessPantalla(library); });
  screen->Open();
  return screen;
}

// A command that writes works on a copy of the database, so that every measurement starts
// from the same file.
std::optional<ScratchCopy> CopyIfWrites(const Command& command,
                                        const std::filesystem::path& database, const char* name) {
  if (!command.writes) return std::nullopt;
  return std::make_optional<ScratchCopy>(database, name);
}

// The statements each run of the command issued, the runs before them left out.
std::vector<CommandTrace> Record(const Command& command, const std::filesystem::path& database,
                                 std::int64_t policies) {
  const auto copy = CopyIfWrites(command, database, "recording");
  auto session = host::OpenSqliteDatabase(copy ? copy->path().string() : database.string());
  auto screen = OpenScreen(*session);
  std::vector<CommandTrace> traces(static_cast<std::size_t>(command.runs));
  CommandTrace* recording = nullptr;
  session->SetTrace([&](host::SqlOrigin, const std::string& sql) {
    if (recording) recording->push_back({sql, session->InTransaction()});
  });
  for (int i = 0; i < command.runs; ++i) {
    command.before(*screen, policies, i);
    recording = &traces[static_cast<std::size_t>(i)];
    command.command(*screen, policies, i);
    recording = nullptr;
  }
  return traces;
}

// The command's runs replayed by the raw floor on one database, one run at a time.
class RawRuns {
 public:
  RawRuns(const Command& command, const std::filesystem::path& database,
          const std::vector<CommandTrace>& traces)
      : copy_(CopyIfWrites(command, database, "raw")), raw_(copy_ ? copy_->path() : database) {
    raw_.Prepare(traces);
  }
  void Run(int i) {
    watch_.Start();
    raw_.Run(static_cast<std::size_t>(i));
    watch_.Stop();
  }
  const Stopwatch& watch() const { return watch_; }

 private:
  std::optional<ScratchCopy> copy_;
  RawReplay raw_;
  Stopwatch watch_;
};

// The command's runs through the screen on one database, one run at a time; what comes
// before each is not timed.
class ScreenRuns {
 public:
  ScreenRuns(const Command& command, const std::filesystem::path& database, std::int64_t policies)
      : command_(command),
        policies_(policies),
        copy_(CopyIfWrites(command, database, "screen")),
        session_(host::OpenSqliteDatabase(copy_ ? copy_->path().string() : database.string())),
        screen_(OpenScreen(*session_)) {}
  void Run(int i) {
    command_.before(*screen_, policies_, i);
    watch_.Start();
    command_.command(*screen_, policies_, i);
    watch_.Stop();
  }
  const Stopwatch& watch() const { return watch_; }
  // That the runs did what they should: no message but the confirmations asked for.
  void CheckMessages(benchmark::State& state) const {
    for (const host::MessageCall& shown : screen_->dialogs().Messages()) {
      if (shown.request.error_id != "ERR-ID:7500015") {
        state.SkipWithError(("the command showed: " + shown.request.text).c_str());
        return;
      }
    }
  }

 private:
  const Command& command_;
  std::int64_t policies_;
  std::optional<ScratchCopy> copy_;
  std::unique_ptr<host::Database> session_;
  std::unique_ptr<host::HeadlessHost> screen_;
  Stopwatch watch_;
};

void RunCommand(benchmark::State& state, const Command& command) {
  const std::int64_t policies = state.range(0);
  const std::filesystem::path database = PolicyDatabase(policies);
  const std::vector<CommandTrace> traces = Record(command, database, policies);
  std::size_t statements = 0;
  for (const CommandTrace& trace : traces) statements += trace.size();

  for (auto _ : state) {
    RawRuns raw(command, database, traces);
    for (int i = 0; i < command.runs; ++i) raw.Run(i);
    ScreenRuns screen(command, database, policies);
    for (int i = 0; i < command.runs; ++i) screen.Run(i);
    screen.CheckMessages(state);
    const double runs = command.runs;
    state.SetIterationTime(screen.watch().wall / runs);
    state.counters["cpu_us"] = 1e6 * screen.watch().cpu / runs;
    state.counters["raw_wall_us"] = 1e6 * raw.watch().wall / runs;
    state.counters["raw_cpu_us"] = 1e6 * raw.watch().cpu / runs;
    // CPU time: a command that writes waits for its commit's sync, the same on both sides.
    state.counters["ratio_to_raw"] = screen.watch().cpu / raw.watch().cpu;
  }
  state.counters["statements"] = static_cast<double>(statements) / command.runs;
  state.counters["policies"] = static_cast<double>(policies);
}

// A read's growth from the small database to the large one, its runs on the two databases
// taken in turn (and its floor's likewise), so that the machine changing speed while it
// measures moves both sizes alike: run one after the other, the two sizes were seconds apart.
void RunGrowth(benchmark::State& state, const Command& command) {
  const std::int64_t sizes[2] = {kSmall, polizas_bench::PolicyCount()};
  std::vector<CommandTrace> traces[2];
  for (int side = 0; side < 2; ++side)
    traces[side] = Record(command, PolicyDatabase(sizes[side]), sizes[side]);

  for (auto _ : state) {
    std::vector<std::unique_ptr<RawRuns>> raw;
    std::vector<std::unique_ptr<ScreenRuns>> screen;
    for (int side = 0; side < 2; ++side) {
      raw.push_back(std::make_unique<RawRuns>(command, PolicyDatabase(sizes[side]), traces[side]));
      screen.push_back(
          std::make_unique<ScreenRuns>(command, PolicyDatabase(sizes[side]), sizes[side]));
    }
    // The screen's runs and the floor's apart, as RunCommand runs them: a run straight after
    // the other side's run of the same policy would find its pages in the processor's cache.
    const auto in_turn = [&](auto& sides) {
      for (int i = 0; i < command.runs; ++i) {
        for (int turn = 0; turn < 2; ++turn) sides[(i + turn) % 2]->Run(i);  // each first by turns
      }
    };
    in_turn(screen);
    in_turn(raw);
    for (const auto& runs : screen) runs->CheckMessages(state);
    const double runs = command.runs;
    state.SetIterationTime(screen[1]->watch().wall / runs);
    state.counters["cpu_us_small"] = 1e6 * screen[0]->watch().cpu / runs;
    state.counters["cpu_us_large"] = 1e6 * screen[1]->watch().cpu / runs;
    state.counters["growth"] = screen[1]->watch().cpu / screen[0]->watch().cpu;
    state.counters["raw_growth"] = raw[1]->watch().cpu / raw[0]->watch().cpu;
  }
  state.counters["policies"] = static_cast<double>(sizes[1]);
}

// From the component's first call to the first snapshot of the opened screen.
void StartToFirstSnapshot(benchmark::State& state) {
  auto session = host::OpenSqliteDatabase(PolicyDatabase(kSmall).string());
  for (auto _ : state) {
    auto screen = OpenScreen(*session);
    benchmark::DoNotOptimize(screen->Snapshot());
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  const std::int64_t large = polizas_bench::PolicyCount();
  for (const Command& command : Commands()) {
    benchmark::RegisterBenchmark(command.name, RunCommand, command)
        ->Arg(kSmall)
        ->Arg(large)
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
  }
  for (const Command& command : Commands()) {
    if (command.writes) continue;
    benchmark::RegisterBenchmark((std::string(command.name) + "Growth").c_str(), RunGrowth, command)
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
  }
  benchmark::RegisterBenchmark("StartToFirstSnapshot", StartToFirstSnapshot)
      ->Unit(benchmark::kMillisecond);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
}
