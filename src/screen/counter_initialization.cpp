#include <cstddef>
#include <exception>
#include <string>
#include <vector>

#include "component/error.h"
#include "data/schema.h"
#include "data/statements.h"
#include "screen/counter_report.h"
#include "screen/frm_nv407.h"

namespace nv407 {
namespace {

void ShowUsed(ListItems& services, const std::vector<ServiceUsage>& rows) {
  for (std::size_t row = 0; row < rows.size(); ++row)
    services.Item(static_cast<int>(row) + 1).SetSubItem(4, rows[row].used);
}

}  // namespace

// cmdInicializa: logs what had been used of each listed service, then sets every used
// counter of the folio to zero and stamps the header, all in one transaction.
void frmNV407::InitializeServices() {
  const int answer = App().ShowMessage(
      "Seguro de incializar el contador de los servicios contratados",
      message_style::kYesNoQuestion, "INICIALIZAR", WindowHandle(), kModule, "ERR-ID:7500015");
  if (answer == message_answer::kNo) return;

  ListItems& services = lvServicios->Items();
  std::vector<ServiceUsage> rows;
  bool shown_zeroed = false;
  try {
    Db().BeginTrans();

    const int listed = services.Count();
    for (int row = 1; row <= listed; ++row) {
      const ListItem& item = services.Item(row);
      rows.push_back({item.Text(), item.SubItem(1), item.SubItem(2), item.SubItem(4)});
    }
    const std::string report = CounterReport(rows);
    if (!report.empty()) {
      Utility().LogRecordEvent(schema::kPolizaServicio, txtFolio->Text(), report);
    }

    Sql() = statements::ResetServiceCounters(txtFolio->Text());
    Db().Execute(Sql());

    Sql() = statements::StampCounterReset(App().GetUserCode(), txtFolio->Text());
    Db().Execute(Sql());

    const int shown = services.Count();
    for (int row = 1; row <= shown; ++row) services.Item(row).SetSubItem(4, "0");
    shown_zeroed = true;

    Db().CommitTrans();
  } catch (const std::exception& e) {
    RollBackQuietly();
    // The database keeps what was used: so must the list, or the reset run again would
    // log zeros over it.
    if (shown_zeroed) ShowUsed(services, rows);
    ShowError(
        std::string("Operación cancelada debido al siguiente error: ") + "\r\n" + DescriptionOf(e),
        message_style::kStop, "ERROR", "ERR-ID:7500001");
  }
}

}  // namespace nv407
