#pragma once

#include <QPointer>
#include <QString>

class QKeyEvent;
class QPalette;

#include "component/control_layout.h"
#include "host/headless/controls.h"

namespace nv407::host {

// The widget redraws after every change of its control; once the widget is gone the
// control (which lives as long as the screen) has no one left to tell.
template <typename View>
void FollowControl(UserControl& control, View* view) {
  QPointer<View> guard(view);
  control.Observe([guard] {
    if (guard) guard->Sync();
  });
}

// The field colours of a row, each falling back to the screen's colour scheme.
struct FieldColours {
  QString enabled, disabled, focus;
};
FieldColours FieldColoursOf(const Look& look, const ControlLayout& scheme, const QPalette& palette);

// Enter or Return, without Alt or Ctrl.
bool IsEnter(const QKeyEvent* event);

// The style sheet of an input field of the given widget class in those colours.
QString FieldStyle(const char* widget, const FieldColours& colours);

}  // namespace nv407::host
