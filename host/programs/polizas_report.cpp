// polizas-report: reports for the people who manage the contracts.
//
//   polizas-report (--db PATH | --odbc CONNECTION-STRING) [--clock T] [--format F] REPORT
//     expiring [--days N] | usage [--over PCT] | history FOLIO
//     | policies [--client KEY] [--state live|expired|cancelled]
//
// Writes the report to standard output as an aligned table, CSV or JSON. Exit status: 0
// the report was written, 1 the database cannot be opened or read (or the history's folio
// is not a policy), 2 a bad command line.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "component/error.h"
#include "host/db/database.h"
#include "host/db/odbc_connection_string.h"
#include "host/programs/program_info.h"
#include "host/reports/reports.h"
#include "host/services/clock.h"
#include "host/services/reference_host.h"
#include "host/services/sign_in.h"

namespace {

using namespace nv407::host;

constexpr int kFailed = 1;
constexpr int kBadInput = 2;

constexpr const char* kUsage =
    "usage: polizas-report (--db PATH | --odbc CONNECTION-STRING) [--clock YYYY-MM-DDTHH:MM:SS]\n"
    "                      [--format table|csv|json] REPORT\n"
    "  REPORT: expiring [--days N]\n"
    "          usage [--over PCT]\n"
    "          history FOLIO\n"
    "          policies [--client KEY] [--state live|expired|cancelled]\n"
    "       polizas-report --version | --help\n";

struct UsageError {
  std::string problem;
};

struct CommandLine {
  std::map<std::string, std::string> options;  // "--db" -> PATH, ...
  std::vector<std::string> words;              // the report and its FOLIO
};

// Which options each report takes, besides the common ones.
const std::map<std::string, std::vector<std::string>>& ReportOptions() {
  static const std::map<std::string, std::vector<std::string>> options = {
      {"expiring", {"--days"}},
      {"usage", {"--over"}},
      {"history", {}},
      {"policies", {"--client", "--state"}},
  };
  return options;
}

CommandLine Parse(const std::vector<std::string>& args) {
  static const std::vector<std::string> kCommon = {"--db", "--odbc", "--clock", "--format"};
  CommandLine line;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!arg.starts_with("--")) {
      line.words.push_back(arg);
      continue;
    }
    bool known = std::find(kCommon.begin(), kCommon.end(), arg) != kCommon.end();
    if (!line.words.empty()) {
      const auto report = ReportOptions().find(line.words.front());
      if (report != ReportOptions().end())
        known = known || std::find(report->second.begin(), report->second.end(), arg) !=
                             report->second.end();
    }
    if (!known) throw UsageError{"unknown option '" + arg + "'"};
    if (i + 1 == args.size()) throw UsageError{arg + " needs a value"};
    if (!line.options.emplace(arg, args[++i]).second) throw UsageError{arg + " given twice"};
  }
  if (line.options.contains("--db") == line.options.contains("--odbc"))
    throw UsageError{"give the database: --db PATH or --odbc CONNECTION-STRING"};
  if (line.words.empty()) throw UsageError{"no report given"};
  if (!ReportOptions().contains(line.words.front()))
    throw UsageError{"unknown report '" + line.words.front() + "'"};
  const auto blank = [](const std::string& text) {
    return text.find_first_not_of(" \t") == std::string::npos;
  };
  const std::size_t words = line.words.front() == "history" ? 2 : 1;
  if (line.words.size() < words || (words == 2 && blank(line.words[1])))
    throw UsageError{"history needs a FOLIO"};
  if (line.options.contains("--client") && blank(line.options.at("--client")))
    throw UsageError{"--client needs a KEY"};
  if (line.words.size() > words) throw UsageError{"unexpected '" + line.words[words] + "'"};
  return line;
}

int Number(const CommandLine& line, const std::string& option, int fallback, int largest) {
  const auto found = line.options.find(option);
  if (found == line.options.end()) return fallback;
  const std::string& text = found->second;
  if (text.empty() || text.size() > 5 ||
      text.find_first_not_of("0123456789") != std::string::npos || std::stoi(text) > largest)
    throw UsageError{option + " must be a whole number from 0 to " + std::to_string(largest)};
  return std::stoi(text);
}

ReportRequest Request(const CommandLine& line) {
  ReportRequest request;
  const std::string& report = line.words.front();
  if (report == "expiring") {
    request.kind = ReportRequest::Kind::kExpiring;
    request.days = Number(line, "--days", request.days, 36500);
  } else if (report == "usage") {
    request.kind = ReportRequest::Kind::kUsage;
    request.percent = Number(line, "--over", request.percent, kMostPercent);
  } else if (report == "history") {
    request.kind = ReportRequest::Kind::kHistory;
    request.folio = line.words[1];
  } else {
    request.kind = ReportRequest::Kind::kPolicies;
    if (line.options.contains("--client")) request.client = line.options.at("--client");
    if (line.options.contains("--state")) {
      static const std::map<std::string, PolicyFilter> kStates = {
          {"live", PolicyFilter::kInForce},
          {"expired", PolicyFilter::kExpired},
          {"cancelled", PolicyFilter::kCancelled}};
      const auto state = kStates.find(line.options.at("--state"));
      if (state == kStates.end()) throw UsageError{"--state must be live, expired or cancelled"};
      request.state = state->second;
    }
  }
  return request;
}

// "polizas-report: 120000 filas…" on standard error, rewritten in place: only on a
// terminal, and only once the report has taken a second, so that a quick report and a
// report read by another program say nothing; never while the report itself goes to a
// terminal, where the line would land among its rows.
class Progress {
 public:
  Progress()
      : shown_(isatty(STDERR_FILENO) == 1 && isatty(STDOUT_FILENO) == 0),
        start_(std::chrono::steady_clock::now()) {}
  void operator()(std::size_t rows) {
    if (!shown_ || rows % 1000 != 0) return;
    if (std::chrono::steady_clock::now() - start_ < std::chrono::seconds(1)) return;
    std::fprintf(stderr, "\rpolizas-report: %zu filas…", rows);
    written_ = true;
  }
  ~Progress() {
    if (written_) std::fprintf(stderr, "\r\033[K");
  }

 private:
  bool shown_;
  bool written_ = false;
  std::chrono::steady_clock::time_point start_;
};

int Run(const CommandLine& line) {
  Clock clock;
  try {
    if (line.options.contains("--clock")) clock = PinnedClock(line.options.at("--clock"));
  } catch (const nv407::Error& failure) {
    throw UsageError{"--clock: " + failure.Description()};
  }
  std::optional<ReportFormat> format = ReportFormat::kTable;
  if (line.options.contains("--format")) format = ReportFormatNamed(line.options.at("--format"));
  if (!format) throw UsageError{"--format must be table, csv or json"};
  const ReportRequest request = Request(line);

  std::unique_ptr<Database> database;
  const bool odbc = line.options.contains("--odbc");
  const std::string where = odbc ? std::string() : " " + line.options.at("--db");
  if (const std::string note = odbc ? CommandLinePasswordNote(line.options.at("--odbc")) : "";
      !note.empty())
    std::cerr << "polizas-report: " << note << "\n";
  try {
    database = odbc ? OpenOdbcDatabase(line.options.at("--odbc"), OdbcOptions{.clock = clock})
                    : OpenSqliteDatabase(line.options.at("--db"),
                                         SqliteOptions{.clock = clock, .only_reads = true});
  } catch (const std::exception& failure) {
    std::cerr << "polizas-report: cannot open the database" << where << ": "
              << OneLine(failure.what()) << "\n";
    return kFailed;
  }
  try {
    // A server database nobody has made the tables in has no GetDate() either (a file
    // without them does not open).
    if (odbc) RequirePolicyTables(*database);
    const nv407::Date today =
        ServerNow(SessionSettings{.user_code = {}, .clock = clock}, *database).DateOnly();
    Progress progress;
    // A write that fails (a full disk) stops the report there: a cut report is no report.
    std::cout.exceptions(std::ios::badbit);
    RunReport(*database, today, request, *format, std::cout,
              [&progress](std::size_t rows) { progress(rows); });
    std::cout.flush();
  } catch (const std::ios_base::failure&) {
    const int error = errno;
    std::cout.exceptions(std::ios::goodbit);  // nor at exit, flushing what is left
    std::cerr << "polizas-report: cannot write the report: " << std::strerror(error) << "\n";
    return kFailed;
  } catch (const std::exception& failure) {
    std::cout.exceptions(std::ios::goodbit);
    std::cout.flush();
    std::cerr << "polizas-report: " << OneLine(failure.what()) << "\n";
    return kFailed;
  }
  return 0;
}

int Main(const std::vector<std::string>& args) {
  if (AnsweredHelpOrVersion(args, "polizas-report", kUsage, std::cout)) return 0;
  try {
    return Run(Parse(args));
  } catch (const UsageError& failure) {
    std::cerr << "polizas-report: " << failure.problem << "\n" << kUsage;
    return kBadInput;
  }
}

}  // namespace

int main(int argc, char** argv) {
  return EndStatus("polizas-report", Main(std::vector<std::string>(argv + 1, argv + argc)), kFailed,
                   std::cout, std::cerr);
}
