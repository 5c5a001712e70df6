#include "host/headless/field_labels.h"

namespace nv407::host {

const ControlLayout* LabelRowOf(const std::vector<const ControlLayout*>& rows,
                                const ControlLayout& field) {
  const Rect& place = field.position;
  const ControlLayout* nearest = nullptr;
  int nearest_gap = 0;
  for (const ControlLayout* row : rows) {
    if (row->kind != ControlKind::kLabel) continue;
    const Rect& label = row->position;
    const int middle = label.top + label.height / 2;
    const int gap = place.left - (label.left + label.width);
    if (middle < place.top || middle > place.top + place.height || gap < 0) continue;
    if (nearest == nullptr || gap < nearest_gap) {
      nearest = row;
      nearest_gap = gap;
    }
  }
  return nearest;
}

std::vector<const ControlLayout*> LayoutRows(const Form& form) {
  std::vector<const ControlLayout*> rows;
  for (const Control* control : form.Controls())
    if (control != nullptr) rows.push_back(&control->Layout());
  return rows;
}

std::vector<const ControlLayout*> LayoutRows(const std::vector<ControlLayout>& rows) {
  std::vector<const ControlLayout*> pointers;
  for (const ControlLayout& row : rows) pointers.push_back(&row);
  return pointers;
}

std::string FieldLabel(const std::vector<const ControlLayout*>& rows, const ControlLayout& field) {
  const ControlLayout* label = LabelRowOf(rows, field);
  if (label == nullptr) return {};
  std::string caption = label->Setting("caption");
  while (!caption.empty() && (caption.back() == ':' || caption.back() == ' ')) caption.pop_back();
  return caption;
}

std::string FieldLabel(const Form& form, const Control& control) {
  return FieldLabel(LayoutRows(form), control.Layout());
}

std::string RefusedKeyStatus(const std::string& label, const std::string& key, KeyRefusal why) {
  const std::string named = label + " " + key;
  switch (why) {
    case KeyRefusal::kNotFound:
      break;
    case KeyRefusal::kNotTaken:
      return named + " existe, pero no se pudo usar (vea el mensaje)";
    case KeyRefusal::kAltered:
      return named + " existe, pero no se pudo usar (el campo no la admite tal como está guardada)";
  }
  return named + " inexistente o dada de baja";
}

}  // namespace nv407::host
