#include <QAbstractItemView>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QWheelEvent>

#include "host/qt/control_widgets.h"
#include "host/qt/look.h"
#include "host/qt/widget_support.h"

namespace nv407::host {

QtComboBox::QtComboBox(HeadlessComboBox& control, ScreenCanvas& canvas)
    : QComboBox(&canvas), control_(control), canvas_(canvas) {
  connect(this, &QComboBox::activated, this, [this](int index) {
    const std::string text = ToStdString(itemText(index));
    canvas_.Run([&] { control_.UserChoose(text); });
  });
  view()->installEventFilter(this);
  // The wheel passing over the list on the way down the window neither takes the focus nor
  // chooses: only a click or a key does.
  setFocusPolicy(Qt::StrongFocus);
  FollowControl(control_, this);
}

void QtComboBox::wheelEvent(QWheelEvent* event) {
  if (!hasFocus()) return event->ignore();
  QComboBox::wheelEvent(event);
}

// Esc in the open list closes it, and no more: the window's Esc (Cancelar) never sees it.
bool QtComboBox::eventFilter(QObject* watched, QEvent* event) {
  if (watched == view() && event->type() == QEvent::ShortcutOverride &&
      static_cast<QKeyEvent*>(event)->matches(QKeySequence::Cancel))
    event->accept();
  return QComboBox::eventFilter(watched, event);
}

void QtComboBox::Sync() {
  const QSignalBlocker quiet(this);
  bool same = count() == control_.ItemCount();
  for (int i = 0; same && i < count(); ++i) same = itemText(i) == ToQString(control_.ItemText(i));
  if (!same) {
    clear();
    for (int i = 0; i < control_.ItemCount(); ++i) addItem(ToQString(control_.ItemText(i)));
  }
  setCurrentIndex(control_.SelectedIndex().value_or(-1));
  setEnabled(control_.Enabled());
}

void QtComboBox::ApplyLook(const ControlLayout& scheme) {
  const Look& look = control_.Layout().look;
  if (look.font) setFont(ToQFont(*look.font));
  const FieldColours colours = FieldColoursOf(look, scheme, palette());
  setStyleSheet(QString("QComboBox { background-color: %1; color: #000000;"
                        " border: 1px solid #8a9aa8; padding-left: 3px; }"
                        "QComboBox:disabled { background-color: %2; color: #202020; }"
                        "QComboBox:focus { background-color: %3; border: 1px solid #00538a; }")
                    .arg(colours.enabled, colours.disabled, colours.focus));
}

void QtComboBox::keyPressEvent(QKeyEvent* event) {
  if (IsEnter(event)) {
    canvas_.EnterPressed(*this, ToStdString(currentText()));
    return;
  }
  QComboBox::keyPressEvent(event);
}

void QtComboBox::focusInEvent(QFocusEvent* event) {
  QComboBox::focusInEvent(event);
  canvas_.WidgetFocused(*this);
}

bool QtComboBox::focusNextPrevChild(bool next) {
  return canvas_.KeyboardMove(*this, next);
}

}  // namespace nv407::host
