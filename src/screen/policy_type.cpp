#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "component/error.h"
#include "data/statements.h"
#include "screen/frm_nv407.h"

namespace nv407 {
namespace {

enum class LengthUnit { kDays, kWeeks, kMonths, kYears };

struct IncludedService {
  std::string code;
  Variant description, unit, quantity;
};

std::string TypeName(const std::string& policy_type) {
  return "El tipo de póliza de servicio '" + policy_type + "'";
}

// A column of the type that must hold a number, as a text another tool may have written:
// what is no number is named with its type and column, not as a bare type mismatch.
void RequireNumber(const Variant& value, const std::string& policy_type, const char* column) {
  try {
    value.ToDouble();
  } catch (const Error&) {
    throw Error(TypeName(policy_type) + " no tiene un número en " + column + " ('" +
                value.ToText() + "').");
  }
}

LengthUnit UnitOf(const Variant& tipo, const std::string& policy_type) {
  if (tipo.IsNull() || tipo.IsEmpty())
    throw Error(TypeName(policy_type) + " no tiene unidad de duración (Tps_Tipo).");
  RequireNumber(tipo, policy_type, "Tps_Tipo");
  const double code = tipo.ToDouble();
  if (code == 1) return LengthUnit::kDays;
  if (code == 2) return LengthUnit::kWeeks;
  if (code == 3) return LengthUnit::kMonths;
  if (code == 4) return LengthUnit::kYears;
  throw Error(TypeName(policy_type) + " tiene una unidad de duración no válida (Tps_Tipo = " +
              tipo.ToText() + "); debe ser 1 (días), 2 (semanas), 3 (meses) o 4 (años).");
}

void RequireValue(const Variant& value, const IncludedService& service, const char* what,
                  const std::string& policy_type) {
  if (value.IsNull())
    throw Error("El servicio '" + service.code + "' del tipo de póliza de servicio '" +
                policy_type + "' no tiene " + what + ".");
}

Date Advance(const Date& start, LengthUnit unit, std::int64_t count) {
  switch (unit) {
    case LengthUnit::kDays:
      return start.AddDays(count);
    case LengthUnit::kWeeks:
      return start.AddWeeks(count);
    case LengthUnit::kMonths:
      return start.AddMonths(count);
    case LengthUnit::kYears:
      return start.AddYears(count);
  }
  return start;
}

// The start advanced by the length, less a day. The advanced day may be the first after the
// last day dates reach (a start of 9999-01-01 and a year) when its eve is not.
Date EndOf(const Date& start, LengthUnit unit, std::int64_t count) {
  if (count < 1 || count > 12 * Date::kLastYear) return Advance(start, unit, count).AddDays(-1);
  switch (unit) {
    case LengthUnit::kDays:
      return start.AddDays(count - 1);
    case LengthUnit::kWeeks:
      return start.AddWeeks(count - 1).AddDays(6);
    case LengthUnit::kMonths:
    case LengthUnit::kYears: {
      const std::int64_t months = unit == LengthUnit::kYears ? 12 * count : count;
      if (start.Day() == 1 && start.Year() * 12 + start.Month() - 1 + months ==
                                  (Date::kLastYear + 1) * std::int64_t{12}) {
        return Date::FromYmd(Date::kLastYear, 12, 31, start.Hour(), start.Minute(), start.Second());
      }
    }
  }
  return Advance(start, unit, count).AddDays(-1);
}

}  // namespace

void frmNV407::LoadPolicyType() {
  // The look-up leaves the description empty for an unknown or withdrawn type.
  if (txt_Tps_Descripcion->Text().empty()) return;

  const std::string policy_type = txt_Tps_Cve_Tipo_Poliza->Text();
  Sql() = statements::PolicyTypeServices(policy_type);
  std::unique_ptr<Recordset> result = Db().Execute(Sql());
  if (result->Eof()) {
    result->Close();
    return;
  }

  const LengthUnit unit = UnitOf(result->Fields("Tps_Tipo").Value(), policy_type);
  const Variant valor = result->Fields("Tps_Valor").Value();
  if (valor.IsNull() || valor.IsEmpty())
    throw Error(TypeName(policy_type) + " no tiene duración (Tps_Valor).");
  RequireNumber(valor, policy_type, "Tps_Valor");
  const std::int64_t count = valor.ToLong();

  // The whole result is read and checked before anything is written, so that a bad
  // row leaves the list and the end date as they were.
  std::vector<IncludedService> services;
  // A type includes a handful of services. Room for six at once: a block for eight would
  // be large enough for the allocator to serve it the slow way, tidying its freed blocks.
  services.reserve(6);
  for (; !result->Eof(); result->MoveNext()) {
    IncludedService service{result->Fields("Ts_Cve_Tipo_Servicio").Value().ToText(),
                            result->Fields("Ts_Descripcion").Value(),
                            result->Fields("Ts_Unidad").Value(),
                            result->Fields("Tpt_Cantidad").Value()};
    RequireValue(service.description, service, "descripción (Ts_Descripcion)", policy_type);
    RequireValue(service.quantity, service, "cantidad incluida (Tpt_Cantidad)", policy_type);
    services.push_back(std::move(service));
  }
  const Variant start_value = dp_Ps_Fecha_Inicio->Value();
  if (start_value.IsNull() || start_value.IsEmpty())
    throw Error(
        "Escriba la fecha inicial: la fecha final del tipo de póliza se cuenta desde ella.");
  const Date end = EndOf(start_value.ToDate(), unit, count);

  dp_Ps_Fecha_Fin->SetValue(end);
  lvServicios->Items().Clear();
  for (IncludedService& service : services) {
    ListItem& row = lvServicios->Items().Add("K" + service.code, service.code);
    row.SetSubItem(1, std::move(service.description).ToText());
    row.SetSubItem(2, std::move(service.unit).ToText());
    row.SetSubItem(3, std::move(service.quantity).ToText());
    row.SetSubItem(4, "0");
  }
  Formatter().FormatList(*lvServicios);
  result->Close();
}

void frmNV407::ResetPolicyType() {
  dp_Ps_Fecha_Fin->SetValue(dp_Ps_Fecha_Inicio->Value());
  lvServicios->Items().Clear();
}

void frmNV407::RerunPolicyType() {
  LoadPolicyType();
}

}  // namespace nv407
