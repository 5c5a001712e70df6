// polizas-script: plays a script of user actions on the capture screen, headless.
//
//   polizas-script (--db PATH | --odbc CONNECTION-STRING) [--user CODE] [--password-file FILE]
//                  [--clock YYYY-MM-DDTHH:MM:SS] [--trace-sql FILE] [SCRIPT]
//
// Where operators sign in, the operator's password comes from FILE or the environment
// variable POLIZAS_PASSWORD, never from the command line.
// Reads one JSON action a line (SCRIPT, or standard input) and writes one JSON event a line
// to standard output as it happens. Exit status: 0 the script ran to its end, 1 the
// database or the component cannot be opened, 2 a bad command line or script line.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "component/error.h"
#include "host/db/database.h"
#include "host/db/odbc_connection_string.h"
#include "host/headless/headless_host.h"
#include "host/programs/program_info.h"
#include "host/programs/same_file.h"
#include "host/programs/script_actions.h"
#include "host/programs/script_output.h"
#include "host/services/clock.h"
#include "host/services/operators.h"
#include "host/services/password_input.h"

namespace {

using namespace nv407::host;

constexpr int kCannotOpen = 1;
constexpr int kBadInput = 2;

constexpr const char* kUsage =
    "usage: polizas-script (--db PATH | --odbc CONNECTION-STRING) [--user CODE]\n"
    "                      [--password-file FILE] [--clock YYYY-MM-DDTHH:MM:SS]\n"
    "                      [--trace-sql FILE] [SCRIPT]\n"
    "       polizas-script --version | --help\n";

struct CommandLine {
  std::map<std::string, std::string> options;  // "--db" -> PATH, ...
  std::optional<std::string> script;
};

struct UsageError {
  std::string problem;
};

CommandLine Parse(const std::vector<std::string>& args) {
  static const std::vector<std::string> kOptions = {"--db",    "--odbc",      "--user",
                                                    "--clock", "--trace-sql", "--password-file"};
  CommandLine line;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.starts_with("--")) {
      if (std::find(kOptions.begin(), kOptions.end(), arg) == kOptions.end())
        throw UsageError{"unknown option '" + arg + "'"};
      if (i + 1 == args.size()) throw UsageError{arg + " needs a value"};
      if (!line.options.emplace(arg, args[++i]).second)
        throw UsageError{arg + " given more than once"};
    } else if (line.script) {
      throw UsageError{"more than one SCRIPT given"};
    } else {
      line.script = arg;
    }
  }
  if (line.options.contains("--db") == line.options.contains("--odbc"))
    throw UsageError{"give either --db PATH or --odbc CONNECTION-STRING"};
  return line;
}

std::optional<std::string> Given(const CommandLine& line, const std::string& name) {
  const auto it = line.options.find(name);
  if (it == line.options.end()) return std::nullopt;
  return it->second;
}
std::string Option(const CommandLine& line, const std::string& name) {
  return Given(line, name).value_or("");
}

void Write(std::ostream& out, const script::Json& value) {
  out << script::Line(value) << '\n';
}

// No line of a script is longer: input without line ends (a device, a binary file) is
// refused rather than read whole into memory. A typed text is a few megabytes at most.
constexpr std::size_t kLongestLine = std::size_t{16} << 20;

enum class LineRead { kLine, kTooLong, kEnd };

// The next line, without its line feed. One longer than kLongestLine is not read on.
LineRead ReadLine(std::istream& input, std::string& text) {
  text.clear();
  for (char c = 0; input.get(c);) {
    if (c == '\n') return LineRead::kLine;
    if (text.size() == kLongestLine) return LineRead::kTooLong;
    text += c;
  }
  return text.empty() || input.bad() ? LineRead::kEnd : LineRead::kLine;
}

// Plays the script line by line; returns the exit status.
int Play(std::istream& input, HeadlessHost& host, std::ofstream* trace) {
  std::string text;
  int number = 1;
  for (LineRead read; (read = ReadLine(input, text)) != LineRead::kEnd; ++number) {
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (read == LineRead::kLine && text.find_first_not_of(" \t") == std::string::npos) continue;
    try {
      if (read == LineRead::kTooLong)
        throw script::LineError("longer than 16 MiB: a script is JSON, one action a line");
      const script::Action action = script::ParseAction(text);
      script::Perform(host, action);
      if (std::holds_alternative<script::ShowAction>(action)) {
        try {
          Write(std::cout, script::ScreenJson(host.Snapshot()));
        } catch (const nv407::Error& failure) {
          throw script::LineError(failure.Description());
        }
      }
      for (const HostEvent& event : host.TakeEvents()) Write(std::cout, script::EventJson(event));
      // The line's command has run; what it wrote must reach its reader whole.
      if (const std::string why = OutputFailure(std::cout); !why.empty())
        throw script::LineError("cannot write the output: " + why);
      if (trace) {
        if (const std::string why = OutputFailure(*trace); !why.empty())
          throw script::LineError("cannot write the statement trace: " + why);
      }
    } catch (const script::LineError& failure) {
      // What the screen showed before the line failed (the message of a step it refused)
      // was shown all the same, and tells why.
      for (const HostEvent& event : host.TakeEvents()) Write(std::cout, script::EventJson(event));
      std::cout.flush();
      if (trace) trace->flush();
      std::cerr << "polizas-script: line " << number << ": " << failure.what() << "\n";
      return kBadInput;
    }
  }
  // A script that could not be read to its end (a folder, a failing disk) did not run whole.
  if (input.bad()) {
    std::cerr << "polizas-script: line " << number
              << ": cannot read the script: " << std::strerror(errno) << "\n";
    return kBadInput;
  }
  return 0;
}

// What the trace, opened for writing, would write over of the files the run reads; "" for
// none.
std::string WrittenOverByTheTrace(const CommandLine& line) {
  const std::optional<std::string> trace = Given(line, "--trace-sql");
  if (!trace) return {};
  if (const std::optional<std::string> database = Given(line, "--db")) {
    if (std::string file = DatabaseFileAt(*trace, *database); !file.empty()) return file;
  }
  if (line.script && SameFile(*trace, *line.script)) return "the script " + *line.script;
  if (const std::optional<std::string> passwords = Given(line, "--password-file");
      passwords && SameFile(*trace, *passwords))
    return "the password file " + *passwords;
  return {};
}

int Run(const CommandLine& line) {
  if (const std::string file = WrittenOverByTheTrace(line); !file.empty())
    throw UsageError{"--trace-sql " + Option(line, "--trace-sql") + " would write over " + file};
  Clock clock;
  try {
    if (line.options.contains("--clock")) clock = PinnedClock(Option(line, "--clock"));
  } catch (const nv407::Error& failure) {
    throw UsageError{"--clock: " + failure.Description()};
  }

  std::ifstream script_file;
  if (line.script) {
    script_file.open(*line.script);
    if (!script_file) throw UsageError{"cannot read the script " + *line.script};
  }

  // Declared before the database, whose trace writes into it, so that it outlives it.
  std::ofstream trace;
  std::unique_ptr<Database> database;
  const bool odbc = line.options.contains("--odbc");
  std::string where;
  if (!odbc) where.append(" ").append(Option(line, "--db"));
  if (const std::string note = odbc ? CommandLinePasswordNote(Option(line, "--odbc")) : "";
      !note.empty())
    std::cerr << "polizas-script: " << note << "\n";
  try {
    database = odbc ? OpenOdbcDatabase(Option(line, "--odbc"), OdbcOptions{.clock = clock})
                    : OpenSqliteDatabase(Option(line, "--db"), SqliteOptions{.clock = clock});
  } catch (const std::exception& failure) {
    std::cerr << "polizas-script: cannot open the database" << where << ": "
              << OneLine(failure.what()) << "\n";
    return kCannotOpen;
  }

  SessionSettings session;
  try {
    const std::optional<std::string> password = GivenPassword(Given(line, "--password-file"));
    session = SignOn(*database, {Given(line, "--user"), password, clock});
  } catch (const std::exception& failure) {
    std::cerr << "polizas-script: " << OneLine(failure.what()) << "\n";
    return kCannotOpen;
  }
  if (database->ReadOnly()) {
    std::cerr << "polizas-script: the database" << where
              << " cannot be written: the screen is open for looking only ("
              << database->WhyReadOnly() << ")\n";
  }
  HeadlessHost host(*database, session);
  try {
    host.LoadComponent();
  } catch (const std::exception& failure) {
    std::cerr << "polizas-script: cannot load the component: " << failure.what() << "\n";
    return kCannotOpen;
  }

  if (line.options.contains("--trace-sql")) {
    const std::string trace_path = Option(line, "--trace-sql");
    trace.open(trace_path, std::ios::trunc);
    if (!trace) throw UsageError{"cannot write the statement trace " + trace_path};
    database->SetTrace([&trace](SqlOrigin origin, const std::string& sql) {
      Write(trace, script::TraceJson(origin, sql));
    });
  }
  return Play(line.script ? script_file : std::cin, host, trace.is_open() ? &trace : nullptr);
}

int Main(const std::vector<std::string>& args) {
  if (AnsweredHelpOrVersion(args, "polizas-script", kUsage, std::cout)) return 0;
  try {
    return Run(Parse(args));
  } catch (const UsageError& failure) {
    std::cerr << "polizas-script: " << failure.problem << "\n" << kUsage;
    return kBadInput;
  }
}

}  // namespace

int main(int argc, char** argv) {
  return EndStatus("polizas-script", Main(std::vector<std::string>(argv + 1, argv + argc)),
                   kBadInput, std::cout, std::cerr);
}
