#include "host/qt/widget_support.h"

#include <QKeyEvent>

#include "host/qt/look.h"

namespace nv407::host {

FieldColours FieldColoursOf(const Look& look, const ControlLayout& scheme,
                            const QPalette& palette) {
  auto pick = [&](const std::optional<Colour>& own, const std::optional<Colour>& fallback,
                  const Colour& last) {
    return ColourName(own ? *own : fallback ? *fallback : last, palette);
  };
  const Colour window = Colour::System(Colour::Source::kWindow);
  // The focus colour is left to the platform (the system window colour): here a warm tint
  // that neither the enabled white nor the disabled grey can be taken for.
  const Colour focus = look.focus_back.value_or(scheme.look.focus_back.value_or(window));
  return {
      pick(look.enabled_back, scheme.look.enabled_back, window),
      pick(look.disabled_back, scheme.look.disabled_back, Colour::Rgb(221, 221, 221)),
      focus.source == Colour::Source::kWindow ? QString("#fff6d5") : ColourName(focus, palette)};
}

bool IsEnter(const QKeyEvent* event) {
  return (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
         !(event->modifiers() & (Qt::AltModifier | Qt::ControlModifier));
}

bool LeavesTheField(Qt::FocusReason reason) {
  return reason == Qt::MouseFocusReason || reason == Qt::ShortcutFocusReason ||
         reason == Qt::MenuBarFocusReason || reason == Qt::OtherFocusReason;
}

// The field that takes the keys has a strong frame and a warm tint; a disabled one still
// shows a policy's data in dark text on its grey; a read-only one (a description) is flat,
// with no frame of its own, so it cannot be taken for an input.
QString FieldStyle(const char* widget, const FieldColours& colours) {
  return QString(
             "%1 { background-color: %2; color: #000000; border: 1px solid #8a9aa8; }"
             "%1:focus { background-color: %4; border: 2px solid #00538a; }"
             "%1:disabled { background-color: %3; color: #303030; border: 1px solid #c2ccd4; }"
             "%1[readOnly=\"true\"] { background-color: #eef3f7; color: #00243a;"
             " border: none; border-bottom: 1px solid #c2ccd4; }"
             "%1[refused=\"true\"] { background-color: #fdecee; border: 2px solid #b00020; }")
      .arg(widget, colours.enabled, colours.disabled, colours.focus);
}

}  // namespace nv407::host
