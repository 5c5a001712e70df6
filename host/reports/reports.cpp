#include "host/reports/reports.h"

#include "component/error.h"
#include "component/variant.h"
#include "host/db/text.h"
#include "host/lists/policy_history.h"
#include "host/lists/policy_usage.h"
#include "host/services/folio.h"

namespace nv407::host {
namespace {

using Kind = ReportColumn::Kind;

// A date as a report cell: YYYY-MM-DD, whatever the database handed out.
std::string DateCell(const std::string& text) {
  const std::optional<Date> date = Date::Parse(text);
  return date ? date->ToIsoDate() : text;
}

std::string PercentCell(const std::optional<double>& share) {
  const std::optional<long long> percent = share ? ShownPercent(*share, 1) : std::nullopt;
  return percent ? std::to_string(*percent) : "";
}

// Nothing for no value, and for a text that is no number (a file edited by hand): the
// report goes on, that cell showing the text as it is stored.
std::optional<double> NumberOf(const std::string& text) {
  if (text.empty()) return std::nullopt;
  try {
    return Variant(text).ToDouble();
  } catch (const Error&) {
    return std::nullopt;
  }
}

std::string NumberCell(const std::string& text) {
  const std::optional<double> number = NumberOf(text);
  return number ? NumberText(*number) : text;
}

std::string DaysLeft(const std::string& end, const Date& today) {
  const std::optional<Date> last = Date::Parse(end);
  if (!last) return "";
  return std::to_string(today.DaysUntil(*last));
}

// Reads the whole list in its order, handing each row to `write`.
std::size_t Each(Database& database, const ListSource& list, ListOrder order,
                 const std::function<void(const FoundRow&)>& write) {
  return ReadEach(database, list, {"", std::nullopt, std::nullopt, 0, order}, write);
}

// A policy's folio and client, then the report's own columns.
std::vector<ReportColumn> WithClient(std::vector<ReportColumn> columns) {
  columns.insert(
      columns.begin(),
      {{"Folio", "folio"}, {"Cliente", "cliente"}, {"Nombre", "nombre"}, {"Sucursal", "sucursal"}});
  return columns;
}

// Where a report goes, and who hears of each row written.
struct Output {
  ReportFormat format;
  std::ostream& out;
  const std::function<void(std::size_t rows)>& progress;
};

// A report's writer that counts its rows for the progress line.
class CountedWriter {
 public:
  CountedWriter(const Output& output, std::vector<ReportColumn> columns)
      : writer_(output.out, output.format, std::move(columns)), progress_(output.progress) {}
  void Row(std::vector<std::string> cells) {
    writer_.Row(std::move(cells));
    ++rows_;
    if (progress_) progress_(rows_);
  }
  std::size_t Finish() {
    writer_.Finish();
    return rows_;
  }

 private:
  ReportWriter writer_;
  const std::function<void(std::size_t rows)>& progress_;
  std::size_t rows_ = 0;
};

std::size_t Policies(Database& database, const Date& today, const ReportRequest& request,
                     const Output& output) {
  CountedWriter writer(output, WithClient({{"Tipo", "tipo"},
                                           {"Inicio", "inicio", Kind::kDate},
                                           {"Fin", "fin", Kind::kDate},
                                           {"Estado", "estado"},
                                           {"Uso %", "uso", Kind::kNumber}}));
  // The client's key as its box takes it; an unknown one is said, not reported empty.
  std::optional<std::string> client;
  if (request.client) {
    client = UpperCaseText(Trim(*request.client));
    auto found =
        database.HostQuery("SELECT 1 AS v FROM Cliente WHERE Cl_Cve_Cliente = ?", {*client});
    const bool known = !found->Eof();
    found->Close();
    if (!known) throw Error("there is no client " + *client);
  }
  const PolicySelection selection{.filter = request.state, .client = client};
  Each(database, PolicyList(database, today, selection), {}, [&](const FoundRow& row) {
    writer.Row({row[0], row[kPolicyClient], row[kPolicyClientName], row[kPolicyBranch],
                row[kPolicyType], DateCell(row[kPolicyStart]), DateCell(row[kPolicyEnd]),
                row[kPolicyState], PercentCell(UsageShare(row))});
  });
  return writer.Finish();
}

std::size_t Expiring(Database& database, const Date& today, const ReportRequest& request,
                     const Output& output) {
  CountedWriter writer(output, WithClient({{"Tipo", "tipo"},
                                           {"Fin", "fin", Kind::kDate},
                                           {"Días", "dias", Kind::kNumber},
                                           {"Uso %", "uso", Kind::kNumber}}));
  const PolicySelection selection{.filter = PolicyFilter::kExpiring, .days = request.days};
  Each(database, PolicyList(database, today, selection), {kPolicyEnd, false},
       [&](const FoundRow& row) {
         writer.Row({row[0], row[kPolicyClient], row[kPolicyClientName], row[kPolicyBranch],
                     row[kPolicyType], DateCell(row[kPolicyEnd]), DaysLeft(row[kPolicyEnd], today),
                     PercentCell(UsageShare(row))});
       });
  return writer.Finish();
}

std::size_t Usage(Database& database, const Date& today, const ReportRequest& request,
                  const Output& output) {
  CountedWriter writer(output, WithClient({{"Fin", "fin", Kind::kDate},
                                           {"Estado", "estado"},
                                           {"Servicio", "servicio"},
                                           {"Unidad", "unidad"},
                                           {"Incluido", "incluido", Kind::kNumber},
                                           {"Utilizado", "utilizado", Kind::kNumber},
                                           {"Uso %", "uso", Kind::kNumber}}));
  // The most used first.
  Each(database, ServiceUsageList(database.Dialect(), today, request.percent), {kUsageShare, true},
       [&](const FoundRow& row) {
         // A text where a quantity goes (SQLite reckons it 0) gives no share at all.
         const bool in_numbers = NumberOf(row[kUsageIncluded]) && NumberOf(row[kUsageUsed]);
         writer.Row({row[0], row[kUsageClient], row[kUsageClientName], row[kUsageBranch],
                     DateCell(row[kUsageEnd]), row[kUsageState], row[kUsageService],
                     row[kUsageUnit], NumberCell(row[kUsageIncluded]), NumberCell(row[kUsageUsed]),
                     PercentCell(in_numbers ? NumberOf(row[kUsageShare]) : std::nullopt)});
       });
  return writer.Finish();
}

std::size_t History(Database& database, const Date& today, const ReportRequest& request,
                    const Output& output) {
  const std::string folio = FormatFolio(request.folio);
  const std::vector<ChainLink> chain = ReplacementChainOf(database, folio);
  if (chain.empty()) throw Error("there is no policy " + folio);
  CountedWriter writer(output, {{"Folio", "folio"},
                                {"Estado", "estado"},
                                {"Tipo", "tipo"},
                                {"Inicio", "inicio", Kind::kDate},
                                {"Fin", "fin", Kind::kDate},
                                {"Cliente", "cliente"},
                                {"Sustituye a", "sustituye_a"},
                                {"Sustituida por", "sustituida_por"}});
  const ListSource list = PolicyList(database, today, {});
  for (const ChainLink& link : chain) {
    const std::optional<FoundRow> row = ReadRow(database.ForHost(), list, link.folio);
    if (!row) continue;  // a note naming a policy that is not there
    writer.Row({link.folio, (*row)[kPolicyState], (*row)[kPolicyType],
                DateCell((*row)[kPolicyStart]), DateCell((*row)[kPolicyEnd]), (*row)[kPolicyClient],
                link.replaces, link.replaced_by});
  }
  return writer.Finish();
}

}  // namespace

std::size_t RunReport(Database& database, const Date& today, const ReportRequest& request,
                      ReportFormat format, std::ostream& out,
                      const std::function<void(std::size_t rows)>& progress) {
  const Output output{format, out, progress};
  switch (request.kind) {
    case ReportRequest::Kind::kPolicies:
      return Policies(database, today, request, output);
    case ReportRequest::Kind::kExpiring:
      return Expiring(database, today, request, output);
    case ReportRequest::Kind::kUsage:
      return Usage(database, today, request, output);
    case ReportRequest::Kind::kHistory:
      return History(database, today, request, output);
  }
  return 0;
}

}  // namespace nv407::host
