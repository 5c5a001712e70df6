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

}  // namespace

std::size_t RunReport(Database& database, const Date& today, const ReportRequest& request,
                      ReportFormat format, std::ostream& out,
                      const std::function<void(std::size_t rows)>& progress) {
  const SqlDialect dialect = database.Dialect();
  std::size_t rows = 0;
  const auto counted = [&](ReportWriter& writer, std::vector<std::string> cells) {
    writer.Row(std::move(cells));
    ++rows;
    if (progress) progress(rows);
  };
  using R = ReportRequest::Kind;
  switch (request.kind) {
    case R::kPolicies: {
      ReportWriter writer(out, format,
                          WithClient({{"Tipo", "tipo"},
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
        counted(writer, {row[0], row[kPolicyClient], row[kPolicyClientName], row[kPolicyBranch],
                         row[kPolicyType], DateCell(row[kPolicyStart]), DateCell(row[kPolicyEnd]),
                         row[kPolicyState], PercentCell(UsageShare(row))});
      });
      writer.Finish();
      break;
    }
    case R::kExpiring: {
      ReportWriter writer(out, format,
                          WithClient({{"Tipo", "tipo"},
                                      {"Fin", "fin", Kind::kDate},
                                      {"Días", "dias", Kind::kNumber},
                                      {"Uso %", "uso", Kind::kNumber}}));
      const PolicySelection selection{.filter = PolicyFilter::kExpiring, .days = request.days};
      Each(database, PolicyList(database, today, selection), {kPolicyEnd, false},
           [&](const FoundRow& row) {
             counted(writer, {row[0], row[kPolicyClient], row[kPolicyClientName],
                              row[kPolicyBranch], row[kPolicyType], DateCell(row[kPolicyEnd]),
                              DaysLeft(row[kPolicyEnd], today), PercentCell(UsageShare(row))});
           });
      writer.Finish();
      break;
    }
    case R::kUsage: {
      ReportWriter writer(out, format,
                          WithClient({{"Fin", "fin", Kind::kDate},
                                      {"Estado", "estado"},
                                      {"Servicio", "servicio"},
                                      {"Unidad", "unidad"},
                                      {"Incluido", "incluido", Kind::kNumber},
                                      {"Utilizado", "utilizado", Kind::kNumber},
                                      {"Uso %", "uso", Kind::kNumber}}));
      // The most used first.
      Each(database, ServiceUsageList(dialect, today, request.percent), {kUsageShare, true},
           [&](const FoundRow& row) {
             // A text where a quantity goes (SQLite reckons it 0) gives no share at all.
             const bool in_numbers = NumberOf(row[kUsageIncluded]) && NumberOf(row[kUsageUsed]);
             counted(writer,
                     {row[0], row[kUsageClient], row[kUsageClientName], row[kUsageBranch],
                      DateCell(row[kUsageEnd]), row[kUsageState], row[kUsageService],
                      row[kUsageUnit], NumberCell(row[kUsageIncluded]), NumberCell(row[kUsageUsed]),
                      PercentCell(in_numbers ? NumberOf(row[kUsageShare]) : std::nullopt)});
           });
      writer.Finish();
      break;
    }
    case R::kHistory: {
      const std::string folio = FormatFolio(request.folio);
      const std::vector<ChainLink> chain = ReplacementChainOf(database, folio);
      if (chain.empty()) throw Error("there is no policy " + folio);
      ReportWriter writer(out, format,
                          {{"Folio", "folio"},
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
        counted(writer, {link.folio, (*row)[kPolicyState], (*row)[kPolicyType],
                         DateCell((*row)[kPolicyStart]), DateCell((*row)[kPolicyEnd]),
                         (*row)[kPolicyClient], link.replaces, link.replaced_by});
      }
      writer.Finish();
      break;
    }
  }
  return rows;
}

}  // namespace nv407::host
