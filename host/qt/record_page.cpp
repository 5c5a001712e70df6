#include "host/qt/record_page.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>

#include "data/schema.h"
#include "host/db/text.h"
#include "host/headless/field_labels.h"
#include "host/lists/catalogue_search.h"
#include "host/lists/policy_list.h"
#include "host/qt/look.h"
#include "host/services/host_records.h"
#include "screen/layout.h"

namespace nv407::host {
namespace {

// Where a column of a policy is shown on the screen (its label names it there), or the
// plain name it goes by here; in the order the page lists them.
struct PolicyColumn {
  const char* column;
  const char* field;    // the screen's control showing it, or nullptr
  const char* caption;  // for a column no field shows
};
constexpr PolicyColumn kPolicyColumns[] = {
    {"Ps_Folio", "txtFolio", nullptr},
    {"Es_Cve_Estado", nullptr, "Estado"},
    {"Ps_Fecha", "dp_Ps_Fecha", nullptr},
    {"Ps_Referencia", "txtReferencia", nullptr},
    {"Ps_Fecha_Inicia", "dp_Ps_Fecha_Inicio", nullptr},
    {"Ps_Fecha_Finaliza", "dp_Ps_Fecha_Fin", nullptr},
    {"Ps_Dia_Corte", "cbCorte", nullptr},
    {"Sc_Cve_Sucursal", "txt_Sc_Cve_Sucursal", nullptr},
    {"Vn_Cve_Vendedor", "txt_Vn_Cve_Vendedor", nullptr},
    {"Cl_Cve_Cliente", "txt_Cl_Cve_Cliente", nullptr},
    {"Tps_Cve_Tipo_Poliza_Servicio", "txt_Tps_Cve_Tipo_Poliza", nullptr},
    {"Ps_Comentario", "txtComentario", nullptr},
    {"Ps_Concepto", "txt_Concepto", nullptr},
    {"Ps_Factura_ID", "txt_ID_Facturacion", nullptr},
    {"Ps_Tabla", nullptr, "Tabla de origen"},
    {"Ps_Documento", nullptr, "Documento de origen"},
    {"Oper_Alta", nullptr, "Capturó"},
    {"Fecha_Alta", nullptr, "Fecha de captura"},
    {"Oper_Ult_Modif", nullptr, "Modificó"},
    {"Fecha_Ult_Modif", nullptr, "Última modificación"},
    {"Oper_Baja", nullptr, "Canceló"},
    {"Fecha_Baja", nullptr, "Fecha de cancelación"},
};

bool IsPolicy(const RecordView& record) {
  const KnownTable* known = FindKnownTable(record.table);
  return known != nullptr && known->name == schema::kPolizaServicio;
}

// A server may hand the names out folded (PostgreSQL: lower case); names match in any case.
const PolicyColumn* FindPolicyColumn(const std::string& column) {
  for (const PolicyColumn& known : kPolicyColumns)
    if (AsciiUpper(column) == AsciiUpper(known.column)) return &known;
  return nullptr;
}

QString Escaped(const std::string& text) {
  return ToQString(text).toHtmlEscaped();
}

QString SpelledDate(const Date& date) {
  const QDate day(date.Year(), date.Month(), date.Day());
  QString text = QLocale().toString(day, "d 'de' MMMM 'de' yyyy");
  if (date.HasTime())
    text += QString(", %1:%2")
                .arg(date.Hour(), 2, 10, QChar('0'))
                .arg(date.Minute(), 2, 10, QChar('0'));
  return text;
}

QString ValueText(const Variant& value) {
  if (value.IsNull() || value.IsEmpty()) return {};
  if (value.kind() == Variant::Kind::kDate) return SpelledDate(value.ToDate());
  return ToQString(value.ToText());
}

// A policy's state as a word; a code other tools wrote, as it is.
QString StateText(const std::string& code) {
  if (code == schema::kStateCancelled) return ToQString(std::string(kCancelledWord));
  if (code == "AC") return "Activa";  // the column's default, a new policy's state
  return ToQString(code);
}

// The key's description in its catalogue, withdrawn rows included: the record may be
// older than the withdrawal. Nothing when it cannot be read.
QString Description(Connection& connection, const ControlLayout& field, const std::string& key) {
  std::optional<ListSource> catalogue = CatalogueOf(field.Setting("sql"));
  if (!catalogue || key.empty()) return {};
  catalogue->conditions.clear();
  try {
    const std::optional<FoundRow> row = ReadRow(connection, *catalogue, key);
    return row ? ToQString(row->at(1)) : QString();
  } catch (const std::exception&) {
    return {};
  }
}

// A fixed-width report (the counter reset's) keeps its columns in a monospaced block.
bool IsReport(const std::string& note) {
  return note.find('\n') != std::string::npos || note.find("   ") != std::string::npos;
}

QString Number(double value) {
  return ToQString(NumberText(value));
}

// A quantity, or the text stored where it goes when that is no number.
QString Quantity(double value, const std::string& stored) {
  return std::isnan(value) ? Escaped(stored) : Number(value);
}

// Each column shown as (label, value in HTML), in the order the page lists them.
std::vector<std::pair<QString, QString>> Fields(Connection& connection, const RecordView& record) {
  const ScreenLayout& layout = frmNV407Layout();
  const std::vector<const ControlLayout*> rows = LayoutRows(layout.controls);
  const bool policy = IsPolicy(record);

  std::vector<std::pair<std::string, Variant>> columns = record.columns;
  if (policy) {
    auto rank = [](const std::string& column) {
      const PolicyColumn* known = FindPolicyColumn(column);
      return known == nullptr ? std::size(kPolicyColumns) : std::size_t(known - kPolicyColumns);
    };
    std::stable_sort(columns.begin(), columns.end(),
                     [&](const auto& a, const auto& b) { return rank(a.first) < rank(b.first); });
  }
  std::vector<std::pair<QString, QString>> fields;
  for (const auto& [column, value] : columns) {
    const PolicyColumn* known = policy ? FindPolicyColumn(column) : nullptr;
    const ControlLayout* field = nullptr;
    if (known != nullptr && known->field != nullptr) {
      auto it = std::find_if(rows.begin(), rows.end(),
                             [&](const ControlLayout* row) { return row->name == known->field; });
      if (it != rows.end()) field = *it;
    }
    QString text = ValueText(value);
    // Columns that no field shows are listed when they hold something.
    if (field == nullptr && text.isEmpty() && known != nullptr) continue;
    QString label = ToQString(column);
    if (field != nullptr) label = ToQString(FieldLabel(rows, *field));
    if (known != nullptr && known->caption != nullptr) label = known->caption;
    if (AsciiUpper(column) == "ES_CVE_ESTADO") text = StateText(value.TextOrEmpty());
    text = text.toHtmlEscaped();
    if (field != nullptr && !value.IsNull()) {
      const QString description = Description(connection, *field, value.ToText());
      if (!description.isEmpty())
        text += " <span style='color:#4a5b68'>&nbsp;" + description.toHtmlEscaped() + "</span>";
    }
    fields.emplace_back(label, text.isEmpty() ? "<span style='color:#8a9aa8'>—</span>" : text);
  }
  return fields;
}

// Two columns of label and value, the first half of the fields down the left; a value's
// spaces and line breaks as stored.
QString FieldsTable(Connection& connection, const RecordView& record) {
  const std::vector<std::pair<QString, QString>> fields = Fields(connection, record);
  const std::size_t half = (fields.size() + 1) / 2;
  auto cells = [&](std::size_t i) -> QString {
    if (i >= fields.size()) return "<td></td><td></td>";
    return "<td style='color:#00385e; padding-right:10px'><b>" + fields[i].first.toHtmlEscaped() +
           "</b></td><td style='padding-right:24px; white-space:pre-wrap'>" + fields[i].second +
           "</td>";
  };
  QString html = "<table cellspacing='0' cellpadding='3'>";
  for (std::size_t i = 0; i < half; ++i) html += "<tr>" + cells(i) + cells(half + i) + "</tr>";
  return html + "</table>";
}

// Two cells: a bar 120 pixels wide, filled to the share used (full beyond it), and the share.
QString UsageCells(const ServiceUsage& service) {
  const std::optional<long long> percent = ShownPercent(service.used, service.included);
  if (!percent) return "<td></td><td align='right' style='color:#8a9aa8'>—</td>";
  const int filled = static_cast<int>(std::clamp(*percent, 0LL, 100LL));
  const QString colour = GradeColour(UsageGrade(service.used, service.included));
  QString bar = "<td width='124'><table width='100%' cellspacing='0' cellpadding='0'><tr>";
  if (filled > 0)
    bar += QString("<td width='%1%' bgcolor='%2' height='10'></td>").arg(filled).arg(colour);
  if (filled < 100)
    bar += QString("<td width='%1%' bgcolor='#dfe6ec' height='10'></td>").arg(100 - filled);
  return bar + "</tr></table></td><td align='right' style='color:" + colour + "'><b>" +
         QString::number(*percent) + "&nbsp;%</b></td>";
}

QString ServicesTable(const RecordView& record) {
  QString html =
      "<h3>Servicios incluidos</h3><table cellspacing='0' cellpadding='4' border='1' "
      "style='border-color:#c2ccd4; border-collapse:collapse'><tr style='background:#e4ebf0'>"
      "<th align='left'>Servicio</th><th align='left'>Descripción</th><th>Unidad</th>"
      "<th align='right'>Incluido</th><th align='right'>Utilizado</th>"
      "<th align='right'>Restante</th><th colspan='2' align='left'>Uso</th></tr>";
  for (const ServiceUsage& service : record.services) {
    const double left = LeftOf(service);
    html += "<tr><td>" + Escaped(service.key) + "</td><td>" + Escaped(service.description) +
            "</td><td align='center'>" + Escaped(service.unit) + "</td><td align='right'>" +
            Quantity(service.included, service.included_text) + "</td><td align='right'>" +
            Quantity(service.used, service.used_text) + "</td><td align='right'" +
            (left < 0 ? " style='color:#b00020'" : "") + "><b>" +
            (std::isnan(left) ? QString() : Number(left)) + "</b></td>" + UsageCells(service) +
            "</tr>";
  }
  return html + "</table>";
}

QString NotesList(const RecordView& record) {
  QString html = "<h3>Bitácora</h3>";
  if (record.notes.empty()) return html + "<p style='color:#4a5b68'>Sin notas.</p>";
  for (const RecordNote& note : record.notes) {
    const std::optional<Date> at = Date::Parse(note.logged_at);
    html += "<p style='margin-bottom:2px; color:#00385e'><b>" +
            (at ? SpelledDate(*at).toHtmlEscaped() : Escaped(note.logged_at)) + "</b> · " +
            Escaped(note.user_code) + "</p>";
    if (IsReport(note.note))
      html += "<pre style='margin-top:0'>" + Escaped(note.note) + "</pre>";
    else
      html += "<p style='margin-top:0'>" + Escaped(note.note) + "</p>";
  }
  return html;
}

}  // namespace

QString RecordPageHtml(Connection& connection, const RecordView& record) {
  const bool policy = IsPolicy(record);
  QString html = "<h2 style='color:#00385e'>" +
                 (policy ? "Póliza " + Escaped(record.key)
                         : Escaped(record.table) + " " + Escaped(record.key)) +
                 "</h2>";
  if (!record.found) {
    return html + "<p>No hay registro con " + Escaped(record.key_column) + " = " +
           Escaped(record.key) + ".</p>" + NotesList(record);
  }
  html += FieldsTable(connection, record);
  if (policy) html += ServicesTable(record);
  return html + NotesList(record);
}

}  // namespace nv407::host
