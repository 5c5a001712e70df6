#include "host/lists/policy_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "component/variant.h"
#include "host/lists/policy_usage.h"
#include "support/test_backend.h"
#include "support/test_database.h"

namespace nv407::testing {
namespace {

using host::ListOrder;
using host::PolicyFilter;
using host::PolicySelection;

// The folios found, in folio order.
std::string InFolioOrder(const std::string& found) {
  std::istringstream words(found);
  std::vector<std::string> folios{std::istream_iterator<std::string>(words), {}};
  std::sort(folios.begin(), folios.end());
  std::string joined;
  for (const std::string& folio : folios) joined += (joined.empty() ? "" : " ") + folio;
  return joined;
}

// Policies of every kind the finder tells apart, on the day the tests pin (2024-03-15).
class PolicyListTest : public ::testing::Test {
 protected:
  PolicyListTest() { SetUpPolicies(); }
  // Every policy as the tests begin, none left over from before.
  void SetUpPolicies() {
    db.Execute("DELETE FROM Poliza_Servicio_Tipo_Servicio");
    db.Execute("DELETE FROM Poliza_Servicio");
    Add("MTY-000001", "C00001", "2024-12-31", "AC", {{"SOPREM", 120, 96, 0}});  // exactly 80 %
    // Ends in 10 days, its end written with a time of day as another program may write it.
    Add("MTY-000002", "C00003", "2024-03-25 00:00:00", "AC", {{"SOPREM", 10, 5, 0}});
    Add("MTY-000003", "C00001", "2024-12-31", "CA", {{"SOPREM", 10, 10, 0}});  // cancelled, used up
    Add("GDL-000001", "C00002", "2024-02-29", "AC", {{"SOPREM", 10, 9, 0}});   // expired, 90 %
    Add("GDL-000002", "C00004", "2024-03-15", "AC", {});                       // no service row
    // Counted in events: the hours counter is not its use.
    Add("QRO-000001", "C00002", "2025-01-31", "AC", {{"VISITA", 12, 11, 2}});
    Add("QRO-000002", "C00003", "2024-06-30", "AC",
        {{"SOPREM", 120, 95.9, 0}, {"VISITA", 4, 0, 1}});
    // A quantity of nothing is no share.
    Add("QRO-000003", "C00004", "2024-06-30", "AC", {{"CAPACIT", 0, 0, 3}, {"SOPREM", 0, 1, 0}});
  }
  void Add(const std::string& folio, const std::string& client, const std::string& end,
           const std::string& state, const std::vector<ServiceUse>& services) {
    PolicyRow policy;
    policy.folio = folio;
    policy.branch = folio.substr(0, folio.find('-'));
    policy.client = client;
    policy.start = "2024-01-01";
    policy.end = end;
    policy.state = state;
    policy.services = services;
    db.AddPolicy(policy);
  }
  host::ListSource List(const PolicySelection& selection = {}) {
    return host::PolicyList(db.db(), Date::FromYmd(2024, 3, 15), selection);
  }
  // Column `column` of every row found (0: the folio), in one statement.
  std::string Found(const host::ListSource& list, const std::string& text = "",
                    ListOrder order = {}, int column = 0) {
    std::string found;
    host::PageQuery all{text, std::nullopt, std::nullopt, 0, order};
    for (const host::FoundRow& row : host::ReadPage(db.db(), list, all))
      found += (found.empty() ? "" : " ") + row.at(static_cast<std::size_t>(column));
    return found;
  }
  // The same, read as the finder reads it: pages of `rows` rows, each after the last row of
  // the one before.
  std::string FoundInPages(const host::ListSource& list, const std::string& text, ListOrder order,
                           int rows = 2) {
    std::string found;
    host::PageQuery page{text, std::nullopt, std::nullopt, rows, order};
    for (int pages = 0; pages < 1000; ++pages) {
      const host::NextPage read = host::ReadNextPage(db.db(), list, page);
      for (const host::FoundRow& row : read.rows) found += (found.empty() ? "" : " ") + row.front();
      if (!read.more) return found;
      page.after = read.last;
    }
    return found + " ... (pages without end)";
  }

  // In each order, `text` finds the policies `expected` (in folio order), and pages read in
  // that order join up to the same.
  void ExpectInEachOrder(const host::ListSource& list, const std::string& text,
                         const std::vector<ListOrder>& orders, const std::string& expected) {
    for (const ListOrder& order : orders) {
      SCOPED_TRACE("by column " + std::to_string(order.column));
      const std::string found = Found(list, text, order);
      EXPECT_EQ(InFolioOrder(found), expected);
      EXPECT_EQ(FoundInPages(list, text, order), found) << "in pages";
    }
  }

  // Runs the checks on the orders the database keeps, then on a database without them
  // (made before them and read as it is), which computes them as it reads.
  void KeptAndComputed(const std::function<void(const char* how)>& check) {
    check("kept");
    db.Execute("DROP TABLE policy_order");
    check("computed");
  }

  TestDatabase db;
};

struct FilterCase {
  const char* name;
  PolicySelection selection;
  const char* found;
};

TEST_F(PolicyListTest, EachQuickFilterFindsItsPolicies) {
  const FilterCase cases[] = {
      {"all",
       {},
       "GDL-000001 GDL-000002 MTY-000001 MTY-000002 MTY-000003 QRO-000001 QRO-000002 QRO-000003"},
      {"in force (ending today included)",
       {.filter = PolicyFilter::kInForce},
       "GDL-000002 MTY-000001 MTY-000002 QRO-000001 QRO-000002 QRO-000003"},
      {"cancelled", {.filter = PolicyFilter::kCancelled}, "MTY-000003"},
      {"expired", {.filter = PolicyFilter::kExpired}, "GDL-000001"},
      {"expiring within 10 days",
       {.filter = PolicyFilter::kExpiring, .days = 10},
       "GDL-000002 MTY-000002"},
      {"expiring within 9 days", {.filter = PolicyFilter::kExpiring, .days = 9}, "GDL-000002"},
      {"nearly used up: 80 % reached, never a cancelled one",
       {.filter = PolicyFilter::kNearlyUsedUp},
       "GDL-000001 MTY-000001"},
      {"used to 90 %", {.filter = PolicyFilter::kNearlyUsedUp, .percent = 90}, "GDL-000001"},
      {"one client's", {.client = "C00001"}, "MTY-000001 MTY-000003"},
      {"one client's in force",
       {.filter = PolicyFilter::kInForce, .client = "C00001"},
       "MTY-000001"},
  };
  // The same policies by client name and by use, the table those orders keep read first.
  for (const FilterCase& c : cases) {
    SCOPED_TRACE(c.name);
    const host::ListSource list = List(c.selection);
    EXPECT_EQ(Found(list), c.found);
    ExpectInEachOrder(list, "", {{host::kPolicyClientName, true}, {host::kPolicyUsage, false}},
                      c.found);
  }
}

// A policy without an end stays in force: one stored without it, and on SQLite one whose end
// another program left empty (a server's date column cannot hold '').
TEST_F(PolicyListTest, APolicyWithoutAnEndStaysInForce) {
  Add("MTY-000010", "C00001", "2024-12-31", "AC", {});
  db.Execute("UPDATE Poliza_Servicio SET Ps_Fecha_Finaliza = NULL WHERE Ps_Folio = 'MTY-000010'");
  std::string without_end = "MTY-000010";
  if (TestBackend() == Backend::kSqlite) {
    Add("MTY-000011", "C00001", "", "AC", {});
    without_end += " MTY-000011";
  }
  const host::ListSource in_force = List({.filter = PolicyFilter::kInForce, .client = "C00001"});
  EXPECT_EQ(Found(in_force), "MTY-000001 " + without_end);
  // Read a page at a time by the end or the state, where each end or state is read apart.
  for (const int column : {host::kPolicyEnd, host::kPolicyState}) {
    for (const bool descending : {false, true}) {
      EXPECT_EQ(InFolioOrder(FoundInPages(in_force, "", {column, descending})),
                "MTY-000001 " + without_end)
          << "by column " << column << (descending ? ", descending" : "");
    }
  }
  EXPECT_EQ(Found(List({.filter = PolicyFilter::kExpired})), "GDL-000001");
  EXPECT_EQ(Found(List({.filter = PolicyFilter::kExpiring, .days = 400, .client = "C00001"})),
            "MTY-000001");
  const std::string states = Found(List({.client = "C00001"}), "", {}, host::kPolicyState);
  EXPECT_EQ(states, TestBackend() == Backend::kSqlite ? "Vigente Cancelada Vigente Vigente"
                                                      : "Vigente Cancelada Vigente");
}

// Days ahead that reach past the last day a date can be: every end from today on.
TEST_F(PolicyListTest, ExpiringReachesTheLastDayADateCanBe) {
  Add("MTY-000009", "C00001", "9999-12-31", "AC", {});
  for (const int days : {1, 30, 400}) {
    SCOPED_TRACE(days);
    EXPECT_EQ(Found(host::PolicyList(db.db(), Date::FromYmd(9999, 12, 30),
                                     {.filter = PolicyFilter::kExpiring, .days = days})),
              "MTY-000009");
  }
}

// Quantities as people write them (one decimal, up to 300) used to exactly 80 %: 9.2 of
// 11.5 is 80 %, though 9.2 × 100 < 80 × 11.5 in binary floating point. The finder's filter,
// the usage report, the share shown and the grade agree; a tenth less is not 80 %.
TEST_F(PolicyListTest, AShareReachedAsTheQuantitiesAreWrittenIsReachedEverywhere) {
  std::vector<std::string> folios;
  for (int tenths = 5; tenths <= 3000; tenths += 5) {
    const double included = tenths / 10.0, used = tenths * 8 / 100.0;
    SCOPED_TRACE(NumberText(used) + " of " + NumberText(included));
    EXPECT_EQ(host::ShownPercent(used, included), 80);
    EXPECT_EQ(host::UsageGrade(used, included), host::Grade::kWarning);
    EXPECT_EQ(host::UsageGrade(used / included, 1), host::Grade::kWarning) << "as a share";
    folios.push_back("MTY-" + std::to_string(100000 + tenths));
    Add(folios.back(), "C00001", "2024-12-31", "AC", {{"SOPREM", included, used, 0}});
  }
  Add("MTY-100001", "C00001", "2024-12-31", "AC", {{"SOPREM", 11.5, 9.1, 0}});
  Add("MTY-100002", "C00001", "2024-12-31", "AC", {{"SOPREM", 100, 79.9, 0}});
  EXPECT_EQ(host::UsageGrade(9.1, 11.5), host::Grade::kNormal);
  EXPECT_EQ(host::ShownPercent(79.9, 100), 79);

  // The folios of these policies that the list finds, in folio order.
  const auto found = [&](const host::ListSource& list) {
    std::vector<std::string> found;
    for (const host::FoundRow& row : host::ReadPage(db.db(), list, {"", {}, {}, 0}))
      if (row.front().starts_with("MTY-1")) found.push_back(row.front());
    return found;
  };
  EXPECT_EQ(found(List({.filter = PolicyFilter::kNearlyUsedUp})), folios);
  EXPECT_EQ(found(host::ServiceUsageList(db.db().Dialect(), Date::FromYmd(2024, 3, 15),
                                         host::kNearlyUsedUpPercent)),
            folios);
}

// Quantities near the largest a number can hold: the share is reckoned without a product
// beyond that limit (infinite in SQLite, an error on the server), and stays the share.
TEST_F(PolicyListTest, HugeQuantitiesKeepTheirShare) {
  struct Huge {
    const char* folio;
    double included, used;
    int shown;
  };
  const Huge huge[] = {{"QRO-000040", 1e307, 5e306, 50},
                       {"QRO-000041", 1e307, 9e306, 90},
                       {"QRO-000042", 1.7e308, 1.7e308, 100},
                       {"QRO-000043", 1.7e308, 1e300, 0}};
  for (const Huge& h : huge) {
    SCOPED_TRACE(h.folio);
    Add(h.folio, "C00002", "2025-01-31", "AC", {{"SOPREM", h.included, h.used, 0}});
    EXPECT_EQ(host::ShownPercent(h.used, h.included), h.shown);
    EXPECT_EQ(host::UsageGrade(h.used, h.included), h.shown >= 100  ? host::Grade::kAlarm
                                                    : h.shown >= 80 ? host::Grade::kWarning
                                                                    : host::Grade::kNormal);
  }
  const auto found = [&](const host::ListSource& list, int column = 0) {
    std::string found;
    for (const host::FoundRow& row : host::ReadPage(db.db(), list, {"", {}, {}, 0}))
      if (row.front().starts_with("QRO-00004"))
        found += (found.empty() ? "" : " ") + host::ShownPolicyRow(row).at(column);
    return found;
  };
  EXPECT_EQ(found(List({.client = "C00002"}), host::kPolicyUsage), "50 % 90 % 100 % 0 %");
  EXPECT_EQ(found(List({.filter = PolicyFilter::kNearlyUsedUp})), "QRO-000041 QRO-000042");
  EXPECT_EQ(found(List({.filter = PolicyFilter::kNearlyUsedUp, .percent = 100})), "QRO-000042");
  const auto over = [&](int percent) {
    std::string found;
    const host::ListSource list =
        host::ServiceUsageList(db.db().Dialect(), Date::FromYmd(2024, 3, 15), percent);
    for (const host::FoundRow& row : host::ReadPage(db.db(), list, {"", {}, {}, 0}))
      if (row.front().starts_with("QRO-00004")) found += (found.empty() ? "" : " ") + row.front();
    return found;
  };
  EXPECT_EQ(over(0), "QRO-000040 QRO-000041 QRO-000042 QRO-000043");
  EXPECT_EQ(over(50), "QRO-000040 QRO-000041 QRO-000042");
  EXPECT_EQ(over(100), "QRO-000042");
  EXPECT_EQ(over(101), "");
  EXPECT_EQ(over(10000), "");
}

TEST_F(PolicyListTest, ShowsStateAndTheMostUsedShareOfEachPolicy) {
  const host::ListSource list = List();
  EXPECT_EQ(Found(list, "", {}, host::kPolicyState),
            "Vencida Vigente Vigente Vigente Cancelada Vigente Vigente Vigente");
  // 9/10; none; 96/120; 5/10; 10/10; 2/12 (events); 95.9/120 beats 1/4; nothing included.
  std::vector<std::string> usage;
  for (const host::FoundRow& row : host::ReadPage(db.db(), list, {"", {}, {}, 0}))
    usage.push_back(row.at(host::kPolicyUsage).empty()
                        ? "-"
                        : std::to_string(std::lround(100 * std::stod(row.at(host::kPolicyUsage)))));
  EXPECT_EQ(usage, (std::vector<std::string>{"90", "-", "80", "50", "100", "17", "80", "-"}));
  EXPECT_EQ(host::ReadPage(db.db(), list, {}).front().at(host::kPolicyClientName),
            "Ferretería La Esperanza, S.A. de C.V.");
}

struct OrderCase {
  const char* name;
  ListOrder order;
  const char* found;
};

// Every order ends ties on the folio: in its own order, or in the order's direction by the
// client's name and by use, which the database keeps. Pages read in it join up.
TEST_F(PolicyListTest, SortsByAnyColumnEitherWayAndPagesJoinUp) {
  // Clients that sort first by name: one without a name, one missing.
  db.Execute("INSERT INTO Cliente (Cl_Cve_Cliente) VALUES ('C00090')");
  Add("QRO-000009", "C00090", "2024-12-31", "AC", {});
  Add("GDL-000009", "C00099", "2024-12-31", "AC", {{"SOPREM", 10, 1, 0}});
  const OrderCase cases[] = {
      {"folio, descending",
       {0, true},
       "QRO-000009 QRO-000003 QRO-000002 QRO-000001 MTY-000003 MTY-000002 MTY-000001 GDL-000009 "
       "GDL-000002 GDL-000001"},
      {"end date",
       {host::kPolicyEnd, false},
       "GDL-000001 GDL-000002 MTY-000002 QRO-000002 QRO-000003 GDL-000009 MTY-000001 MTY-000003 "
       "QRO-000009 QRO-000001"},
      {"usage, most used first, none last",
       {host::kPolicyUsage, true},
       "MTY-000003 GDL-000001 MTY-000001 QRO-000002 MTY-000002 QRO-000001 GDL-000009 QRO-000009 "
       "QRO-000003 GDL-000002"},
      {"usage, none first",
       {host::kPolicyUsage, false},
       "GDL-000002 QRO-000003 QRO-000009 GDL-000009 QRO-000001 MTY-000002 QRO-000002 MTY-000001 "
       "GDL-000001 MTY-000003"},
      {"client name",
       {host::kPolicyClientName, false},
       "GDL-000009 QRO-000009 MTY-000001 MTY-000003 GDL-000002 QRO-000003 GDL-000001 QRO-000001 "
       "MTY-000002 QRO-000002"},
      {"client name, descending",
       {host::kPolicyClientName, true},
       "QRO-000002 MTY-000002 QRO-000001 GDL-000001 QRO-000003 GDL-000002 MTY-000003 MTY-000001 "
       "QRO-000009 GDL-000009"},
      {"state",
       {host::kPolicyState, false},
       "MTY-000003 GDL-000001 GDL-000002 GDL-000009 MTY-000001 MTY-000002 QRO-000001 QRO-000002 "
       "QRO-000003 QRO-000009"},
  };
  KeptAndComputed([&](const char* how) {
    const host::ListSource list = List();
    for (const OrderCase& c : cases) {
      EXPECT_EQ(Found(list, "", c.order), c.found) << c.name << ", " << how;
      EXPECT_EQ(FoundInPages(list, "", c.order), c.found) << c.name << ", " << how << ", in pages";
    }
  });
}

// Policies with ties in every column the finder sorts by, and NULL in each that can hold
// it, read a few rows a page, each page after the last row of the one before: in every order
// either way and under every quick filter, they join up to what one statement written out
// here finds, sorted as the finder sorts (ties on the folio; by the client's name and by use
// in the order's direction; NULL where the database puts it).
TEST_F(PolicyListTest, PagesReadOnJoinUpToTheWholeListInEveryOrder) {
  db.Execute(
      "INSERT INTO Cliente (Cl_Cve_Cliente, Cl_Razon_Social_1, Es_Cve_Estado) VALUES ('X00001', "
      "'Grupo Ruiz', 'AC'), ('X00002', 'Grupo Ruiz', 'AC'), ('X00003', NULL, 'AC')");
  const char* const branches[] = {"MTY", "GDL", "QRO"};
  const char* const types[] = {"SOPMEN", "SOPANUAL"};
  const char* const starts[] = {"2023-01-01", "2023-06-01", "2024-01-01"};
  // Expired, about to end, in force.
  const char* const ends[] = {"2024-02-01", "2024-03-20", "2024-12-31", "2024-03-20"};
  const char* const clients[] = {"C00001", "X00001", "X00002", "X00003", "C00099", "C00002"};
  const double used[] = {0, 5, 8, 8, 10, 12};  // of 10: ties of use, 80 % reached
  for (int i = 0; i < 48; ++i) {
    PolicyRow policy;
    policy.folio = "TST-" + std::to_string(100000 + i * 5 % 48);
    policy.branch = branches[i % 3];
    policy.type = types[i / 3 % 2];
    policy.start = starts[i / 2 % 3];
    policy.end = ends[i % 4];
    policy.client = clients[i % 6];
    if (i % 8 != 0) policy.services = {{"SOPREM", 10, used[i / 4 % 6], 0}};
    if (i % 5 == 0) policy.services.push_back({"VISITA", 4, 0, used[i % 6] / 2.5});
    db.AddPolicy(policy);
    for (const auto& [every, column] : {std::pair{11, "Sc_Cve_Sucursal"},
                                        {13, "Tps_Cve_Tipo_Poliza_Servicio"},
                                        {7, "Ps_Fecha_Inicia"},
                                        {9, "Ps_Fecha_Finaliza"},
                                        {17, "Cl_Cve_Cliente"}})
      if (i % every == 3)
        db.Execute(std::string("UPDATE Poliza_Servicio SET ") + column +
                   " = NULL WHERE Ps_Folio = '" + policy.folio + "'");
    if (i % 6 == 1)
      db.Execute("UPDATE Poliza_Servicio SET Es_Cve_Estado = 'CA' WHERE Ps_Folio = '" +
                 policy.folio + "'");
  }

  // A quantity that is no number (a file edited by hand): the filter counts it as above
  // nothing, the use passes it over.
  if (TestBackend() == Backend::kSqlite)
    db.Execute(
        "UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Cantidad_Incluida = 'diez' WHERE Ps_Folio "
        "= 'TST-100010'");
  const std::string today = "'2024-03-15'";
  const std::string use =
      "COALESCE((SELECT MAX(CASE WHEN t.Ts_Servicio_Hora = 'SI' THEN s.Pst_Tiempo_Utilizado ELSE "
      "s.Pst_Evento_Utilizado END * 1.0 / s.Pst_Cantidad_Incluida) FROM "
      "Poliza_Servicio_Tipo_Servicio s JOIN Tipo_Servicio t ON t.Ts_Cve_Tipo_Servicio = "
      "s.Ts_Cve_Tipo_Servicio WHERE s.Ps_Folio = p.Ps_Folio AND s.Pst_Cantidad_Incluida > 0), -1)";
  const std::string name = TestBackend() == Backend::kPostgreSql
                               ? "COALESCE(c.Cl_Razon_Social_1, '') COLLATE polizas_nocase"
                               : "COALESCE(c.Cl_Razon_Social_1, '')";
  const std::string state =
      "CASE WHEN p.Es_Cve_Estado = 'CA' THEN 'Cancelada' WHEN "
      "p.Ps_Fecha_Finaliza < " +
      today + " THEN 'Vencida' ELSE 'Vigente' END";
  struct Filter {
    PolicySelection selection;
    std::string where;
  };
  const Filter filters[] = {
      {{}, "1 = 1"},
      {{.filter = PolicyFilter::kInForce},
       "p.Es_Cve_Estado <> 'CA' AND (p.Ps_Fecha_Finaliza IS NULL OR p.Ps_Fecha_Finaliza >= " +
           today + ")"},
      {{.filter = PolicyFilter::kCancelled}, "p.Es_Cve_Estado = 'CA'"},
      {{.filter = PolicyFilter::kExpiring},
       "p.Es_Cve_Estado <> 'CA' AND p.Ps_Fecha_Finaliza >= " + today +
           " AND p.Ps_Fecha_Finaliza < '2024-04-15'"},
      {{.filter = PolicyFilter::kExpired},
       "p.Es_Cve_Estado <> 'CA' AND p.Ps_Fecha_Finaliza < " + today},
      {{.filter = PolicyFilter::kNearlyUsedUp},
       "p.Es_Cve_Estado <> 'CA' AND EXISTS (SELECT 1 FROM Poliza_Servicio_Tipo_Servicio s JOIN "
       "Tipo_Servicio t ON t.Ts_Cve_Tipo_Servicio = s.Ts_Cve_Tipo_Servicio WHERE s.Ps_Folio = "
       "p.Ps_Folio AND s.Pst_Cantidad_Incluida > 0 AND CASE WHEN t.Ts_Servicio_Hora = 'SI' THEN "
       "s.Pst_Tiempo_Utilizado ELSE s.Pst_Evento_Utilizado END * 100 >= 80 * "
       "s.Pst_Cantidad_Incluida)"},
  };
  // Each column's order; the ties' direction follows the order's by name and by use.
  const std::pair<std::string, bool> sorted[] = {
      {"", false},
      {"p.Cl_Cve_Cliente", false},
      {name, true},
      {"p.Sc_Cve_Sucursal", false},
      {"p.Tps_Cve_Tipo_Poliza_Servicio", false},
      {"p.Ps_Fecha_Inicia", false},
      {"p.Ps_Fecha_Finaliza", false},
      {state, false},
      {use, true},
  };
  const auto written_out = [&](const Filter& filter, int column, bool descending) {
    const std::string direction = descending ? " DESC" : "";
    const auto& [by, ties_follow] = sorted[column];
    std::string order =
        by.empty() ? "p.Ps_Folio" + direction
                   : by + direction + ", p.Ps_Folio" + (ties_follow ? direction : std::string());
    std::string found;
    std::unique_ptr<Recordset> rows = db.sql().Execute(
        "SELECT p.Ps_Folio AS v FROM Poliza_Servicio p LEFT JOIN Cliente c ON c.Cl_Cve_Cliente "
        "= p.Cl_Cve_Cliente WHERE " +
        filter.where + " ORDER BY " + order);
    for (; !rows->Eof(); rows->MoveNext())
      found += (found.empty() ? "" : " ") + rows->Fields("v").Value().ToText();
    return found;
  };

  KeptAndComputed([&](const char* how) {
    for (const Filter& filter : filters) {
      const host::ListSource list = List(filter.selection);
      for (int column = 0; column <= host::kPolicyUsage; ++column) {
        for (const bool descending : {false, true}) {
          SCOPED_TRACE(std::string(how) + ", filter " +
                       std::string(host::PolicyFilterName(filter.selection.filter)) + ", column " +
                       std::to_string(column) + (descending ? " descending" : ""));
          const std::string expected = written_out(filter, column, descending);
          ASSERT_FALSE(expected.empty());
          EXPECT_EQ(FoundInPages(list, "", {column, descending}, 5), expected);
          std::string among_folios;
          std::istringstream folios(expected);
          for (std::string folio; folios >> folio;)
            if (folio.starts_with("TST-"))
              among_folios += (among_folios.empty() ? "" : " ") + folio;
          EXPECT_EQ(FoundInPages(list, "tst", {column, descending}, 7), among_folios)
              << "found by the text";
        }
      }
    }
  });
}

// Rows shown may be removed before the next page is read (another operator, another tool):
// in any order the list goes on after where the last row shown stood, with no row twice and
// none passed over.
TEST_F(PolicyListTest, TheNextPageGoesOnWhenTheRowsShownAreRemoved) {
  const auto remove = [&](const std::string& folio) {
    db.Execute("DELETE FROM Poliza_Servicio_Tipo_Servicio WHERE Ps_Folio = '" + folio + "'");
    db.Execute("DELETE FROM Poliza_Servicio WHERE Ps_Folio = '" + folio + "'");
  };
  const host::ListSource list = List();
  const ListOrder orders[] = {{0, false}, {2, true}, {6, false}, {7, true}, {8, false}};
  for (const ListOrder& order : orders) {
    SCOPED_TRACE("by column " + std::to_string(order.column));
    for (const std::size_t removed : {std::size_t{1}, std::size_t{2}, std::size_t{3}}) {
      SCOPED_TRACE(std::to_string(removed) + " removed");
      SetUpPolicies();
      const host::NextPage first =
          host::ReadNextPage(db.db(), list, {"", std::nullopt, std::nullopt, 3, order});
      const std::vector<host::FoundRow>& shown = first.rows;
      ASSERT_EQ(shown.size(), 3u);
      for (std::size_t i = shown.size() - removed; i < shown.size(); ++i) remove(shown[i].front());
      // What one statement now finds, less the rows still shown, from the start.
      std::string expected;
      std::istringstream left(Found(list, "", order));
      int taken = 0;
      for (std::string folio; taken < 3 && left >> folio;) {
        const bool is_shown = std::any_of(shown.begin(), shown.end(),
                                          [&](const auto& row) { return row.front() == folio; });
        if (is_shown) continue;
        expected += (expected.empty() ? "" : " ") + folio;
        ++taken;
      }
      const host::NextPage next =
          host::ReadNextPage(db.db(), list, {"", first.last, std::nullopt, 3, order});
      std::string found;
      for (const host::FoundRow& row : next.rows) found += (found.empty() ? "" : " ") + row.front();
      EXPECT_EQ(found, expected);
      EXPECT_TRUE(next.more);  // 8 policies, 3 shown, at most 3 of them gone
    }
  }
}

// What orders the last row shown changes in another operator's session before the next page
// is read: its use (a counter reset, usage recorded), its client's name, its state (a Baja).
// The list reads on from where that row stood when it was shown: every other policy comes
// exactly once, in every order and either way; the changed one alone may come again or not.
TEST(PolicyListPaging, ARowChangedAfterItWasShownMovesAlone) {
  TestDatabase db(TestDatabase::Storage::kFile);
  const std::unique_ptr<host::Database> other = db.OpenAnotherSession();
  constexpr int kPolicies = 40, kRows = 6;
  const auto set_up = [&] {
    db.Execute("DELETE FROM Poliza_Servicio_Tipo_Servicio");
    db.Execute("DELETE FROM Poliza_Servicio");
    db.Execute("DELETE FROM Cliente WHERE Cl_Cve_Cliente LIKE 'P%'");
    for (int i = 0; i < kPolicies; ++i) {
      const std::string n = std::to_string(100 + i);
      // Each policy its own client, their names in another order than the folios.
      db.AddClient("P00" + n, "Cliente " + std::to_string(100 + i * 7 % kPolicies));
      PolicyRow policy;
      policy.folio = "TST-000" + n;
      policy.client = "P00" + n;
      policy.start = "2024-01-01";
      policy.end = i % 3 == 0 ? "2024-02-01" : "2024-12-31";  // expired or in force
      policy.state = i % 5 == 0 ? "CA" : "AC";
      policy.services = {{"SOPREM", 10, static_cast<double>(i * 3 % 11), 0}};  // ties of use
      db.AddPolicy(policy);
    }
  };
  const auto on_other = [&](const std::string& statement) { other->ForHost().Execute(statement); };
  struct Change {
    const char* name;
    ListOrder order;
    std::function<void(const std::string& folio)> made;
  };
  const auto counters = [&](const char* used) {
    return [&on_other, used](const std::string& folio) {
      on_other(std::string("UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Tiempo_Utilizado = ") +
               used + " WHERE Ps_Folio = '" + folio + "'");
    };
  };
  const auto renamed = [&](const std::string& folio) {
    on_other(
        "UPDATE Cliente SET Cl_Razon_Social_1 = 'Aceros del Norte' WHERE Cl_Cve_Cliente = (SELECT "
        "Cl_Cve_Cliente FROM Poliza_Servicio WHERE Ps_Folio = '" +
        folio + "')");
  };
  const auto cancelled = [&](const std::string& folio) {
    on_other("UPDATE Poliza_Servicio SET Es_Cve_Estado = 'CA' WHERE Ps_Folio = '" + folio + "'");
  };
  const Change changes[] = {
      {"counters reset, most used first", {host::kPolicyUsage, true}, counters("0")},
      {"counters reset, least used first", {host::kPolicyUsage, false}, counters("0")},
      {"usage recorded, least used first", {host::kPolicyUsage, false}, counters("9.5")},
      {"client renamed, by name", {host::kPolicyClientName, false}, renamed},
      {"client renamed, by name descending", {host::kPolicyClientName, true}, renamed},
      {"cancelled, by state", {host::kPolicyState, false}, cancelled},
      {"cancelled, by state descending", {host::kPolicyState, true}, cancelled},
  };
  for (const Change& change : changes) {
    SCOPED_TRACE(change.name);
    set_up();
    const host::ListSource list = host::PolicyList(db.db(), Date::FromYmd(2024, 3, 15), {});
    // Two pages shown, then the last row of the second changed.
    host::PageQuery page{"", std::nullopt, std::nullopt, kRows, change.order};
    std::vector<std::string> read;
    std::string changed;
    for (int pages = 0; pages < 2 * kPolicies; ++pages) {
      const host::NextPage next = host::ReadNextPage(db.db(), list, page);
      for (const host::FoundRow& row : next.rows) read.push_back(row.front());
      if (!next.more) break;
      page.after = next.last;
      if (pages == 1) {
        changed = read.back();
        change.made(changed);
      }
    }
    ASSERT_FALSE(changed.empty());
    for (int i = 0; i < kPolicies; ++i) {
      const std::string folio = "TST-000" + std::to_string(100 + i);
      const auto times = std::count(read.begin(), read.end(), folio);
      if (folio == changed)
        EXPECT_TRUE(times == 1 || times == 2) << folio << " read " << times << " times";
      else
        EXPECT_EQ(times, 1) << folio;
    }
  }
}

struct TextCase {
  const char* text;
  const char* found;
};

// What the operator types finds policies by folio (as typed, or as the folio field takes
// it) or by client (key or name, any letter case), in whatever order is chosen.
TEST_F(PolicyListTest, TheTextFindsFoliosAndClients) {
  const TextCase cases[] = {
      {"mty", "MTY-000001 MTY-000002 MTY-000003"},
      {"  qro-00000", "QRO-000001 QRO-000002 QRO-000003"},
      {"mty-2", "MTY-000002"},
      {"C0000",
       "GDL-000001 GDL-000002 MTY-000001 MTY-000002 MTY-000003 QRO-000001 QRO-000002 "
       "QRO-000003"},
      {"c00002", "GDL-000001 QRO-000001"},
      {"HOSPITAL san", "MTY-000002 QRO-000002"},
      {"ferretería", "GDL-000001 QRO-000001"},
      // Accented letters in any case too, and GLOB's characters as themselves.
      {"SAN JOSÉ", "MTY-000002 QRO-000002"},
      {"FERRETERÍA", "GDL-000001 QRO-000001"},
      {"josÉ*", ""},
      {"ferreterí?", ""},
      {"s.a. de c.v.", "GDL-000001 GDL-000002 MTY-000001 MTY-000003 QRO-000001 QRO-000003"},
      {"100%", ""},
      {"zzz", ""},
  };
  const host::ListSource list = List();
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Found(list, c.text), c.found);
    EXPECT_EQ(FoundInPages(list, c.text, {}), c.found) << "in pages";
    ExpectInEachOrder(
        list, c.text,
        {{host::kPolicyEnd, true}, {host::kPolicyClientName, false}, {host::kPolicyUsage, true}},
        c.found);
  }
  EXPECT_EQ(Found(List({.filter = PolicyFilter::kInForce}), "c00001"), "MTY-000001");
  EXPECT_EQ(Found(List({.filter = PolicyFilter::kNearlyUsedUp}), "", {host::kPolicyUsage, true}),
            "GDL-000001 MTY-000001");
}

// Typed key by key, the finder looks among the rows the text before found where the list
// says the longer text finds none besides; what it finds so is what a whole read finds.
TEST_F(PolicyListTest, TypedOnTheTextFindsWhatItFindsWhole) {
  Add("MTY-000010", "C00002", "2024-12-31", "AC", {});
  const host::ListSource list = List();
  for (const std::string text : {"mty-10", "c00002", "hospital san", "qro-000001"}) {
    std::string before;
    std::vector<std::string> read;
    for (std::size_t length = 1; length <= text.size(); ++length) {
      const std::string typed = text.substr(0, length);
      SCOPED_TRACE(typed);
      host::PageQuery query{typed, std::nullopt, std::nullopt, 0};
      if (host::FindsWithin(list, typed, before)) query.among = read;
      read.clear();
      for (const host::FoundRow& row : host::ReadPage(db.db(), list, query))
        read.push_back(row.front());
      std::string found;
      for (const std::string& folio : read) found += (found.empty() ? "" : " ") + folio;
      EXPECT_EQ(found, Found(list, typed));
      before = typed;
    }
  }
  EXPECT_EQ(Found(list, "mty-10"), "MTY-000010");
}

// A text most clients' names hold is read another way (policies in order, each client
// looked at); it finds the same.
TEST_F(PolicyListTest, ACommonTextFindsTheSameAsARareOne) {
  std::string clients;
  for (int i = 0; i < 2100; ++i)
    clients += std::string(clients.empty() ? "" : ", ") + "('X" + std::to_string(10000 + i) +
               "', 'Cliente Común " + std::to_string(i) + "', 'AC')";
  db.Execute("INSERT INTO Cliente (Cl_Cve_Cliente, Cl_Razon_Social_1, Es_Cve_Estado) VALUES " +
             clients);
  Add("QRO-000004", "X10007", "2024-12-31", "AC", {});
  Add("QRO-000005", "X12099", "2024-12-31", "AC", {});
  const host::ListSource list = List();
  EXPECT_EQ(Found(list, "común"), "QRO-000004 QRO-000005");
  EXPECT_EQ(FoundInPages(list, "CLIENTE COM", {}), "QRO-000004 QRO-000005");
  EXPECT_EQ(FoundInPages(list, "x1", {host::kPolicyEnd, false}), "QRO-000004 QRO-000005");
  EXPECT_EQ(Found(list, "común 2099"), "QRO-000005");
}

}  // namespace
}  // namespace nv407::testing
