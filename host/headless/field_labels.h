#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "component/control_layout.h"
#include "component/form.h"

namespace nv407::host {

// The label that names a field on its form: of the labels whose middle lies within the
// field's height, the nearest one that ends left of it. `rows` are every row of the
// form's layout; nothing for a field without a label.
const ControlLayout* LabelRowOf(const std::vector<const ControlLayout*>& rows,
                                const ControlLayout& field);
std::vector<const ControlLayout*> LayoutRows(const Form& form);
std::vector<const ControlLayout*> LayoutRows(const std::vector<ControlLayout>& rows);

// The label's caption without its closing colon ("Sucursal", "Tipo póliza"); "" when the
// field has no label.
std::string FieldLabel(const std::vector<const ControlLayout*>& rows, const ControlLayout& field);
std::string FieldLabel(const Form& form, const Control& control);

// Why a key field holds no record for a key.
enum class KeyRefusal {
  kNotFound,  // its look-up found no live record
  kNotTaken,  // found, but the screen could not take it, and said why
  kAltered,   // found as stored, but the field makes another key of it (upper-casing it)
};

// "Sucursal PUE inexistente o dada de baja"; a key found but not usable, "Tipo póliza
// SOPANUAL existe, pero no se pudo usar (vea el mensaje)", with the reason that fits `why`.
std::string RefusedKeyStatus(const std::string& label, const std::string& key, KeyRefusal why);

}  // namespace nv407::host
