#pragma once

#include <qnamespace.h>

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

// Whether a field that loses the focus for this reason has been left, so that what was typed
// in it is handed over: a click elsewhere, a shortcut, the menu bar (whose menu, closed with
// Esc, keeps the keys until the next click). A pop-up, a dialog or another application
// takes the focus for a while and gives it back: the text stays pending. Tab and Enter hand
// it over themselves.
bool LeavesTheField(Qt::FocusReason reason);

// The style sheet of an input field of the given widget class in those colours.
QString FieldStyle(const char* widget, const FieldColours& colours);

}  // namespace nv407::host
