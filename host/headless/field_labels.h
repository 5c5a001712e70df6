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

// "Sucursal PUE inexistente o dada de baja": a key field's look-up refused the key; or the
// screen could not take a key the look-up found (`found`), which it has said why.
std::string RefusedKeyStatus(const std::string& label, const std::string& key, bool found);

}  // namespace nv407::host
