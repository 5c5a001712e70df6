#include <QFocusEvent>
#include <QKeyEvent>
#include <algorithm>
#include <optional>

#include "component/error.h"
#include "host/headless/field_labels.h"
#include "host/headless/text_rules.h"
#include "host/lists/policy_list.h"
#include "host/qt/catalogue_dialog.h"
#include "host/qt/control_widgets.h"
#include "host/qt/look.h"
#include "host/qt/status_report.h"
#include "host/qt/widget_support.h"

namespace nv407::host {

QtTextBox::QtTextBox(HeadlessTextBox& control, ScreenCanvas& canvas)
    : OneLineEdit({}, &canvas), control_(control), canvas_(canvas) {
  if (control_.IsKeyField()) catalogue_ = CatalogueOf(control_.Layout().Setting("sql"));
  finds_policies_ = control_.Layout().Setting("idconsulta") == kPolicyQueryId;
  if (catalogue_) setToolTip("F2: buscar en el catálogo");
  if (finds_policies_) setToolTip("F2: buscar pólizas");
  connect(this, &QLineEdit::textEdited, this, [this] {
    retyped_ = true;
    MarkRefusal(false);  // put right
  });
  FollowControl(control_, this);
}

void QtTextBox::Sync() {
  // Only a change of the control's own text replaces what is shown, so that a redraw for
  // another reason never takes away what the user is typing.
  if (control_.Text() != shown_.Stored()) {
    shown_.Take(control_.Text());
    setText(shown_.Shown());
    setCursorPosition(0);
    retyped_ = false;
    MarkRefusal(false);  // a value the screen wrote is no refusal of the user's
  }
  setEnabled(control_.Enabled());
  setReadOnly(control_.Locked());
}

// A key its catalogue refused stands out until the user puts it right.
void QtTextBox::MarkRefusal(bool refused) {
  if (property("refused").toBool() == refused) return;
  setProperty("refused", refused);
  style()->unpolish(this);
  style()->polish(this);
}

void QtTextBox::ApplyLook(const ControlLayout& scheme) {
  const Look& look = control_.Layout().look;
  if (look.font) setFont(ToQFont(*look.font));
  setStyleSheet(FieldStyle("QLineEdit", FieldColoursOf(look, scheme, palette())));
  setTextMargins(2, 0, 2, 0);
}

// The record's key typed again unchanged is confirmed as well: it loads the record again.
bool QtTextBox::HasPendingEdit() const {
  if (!control_.Enabled() || control_.Locked()) return false;
  return shown_.EditedIn(text()) || (retyped_ && control_.ReloadsWhenRetyped());
}

void QtTextBox::CommitEdit() {
  retyped_ = false;
  control_.UserType(shown_.Kept(text()));
  // The field may have changed what was typed (upper case, length): show what it kept.
  if (control_.Text() != shown_.Stored()) shown_.Take(control_.Text());
  if (shown_.EditedIn(text())) setText(shown_.Shown());
  MarkRefusal(HoldsRefusedKey());
  if (HoldsRefusedKey()) {
    canvas_.ShowStatus(
        RefusedKeyStatus(FieldLabel(canvas_.form(), control_), shown_.Stored(),
                         control_.NotTaken() ? KeyRefusal::kNotTaken : KeyRefusal::kNotFound));
    refusal_said_ = true;
  } else if (refusal_said_ && control_.IsKeyField()) {
    canvas_.ShowStatus("");  // the key now given was taken
    refusal_said_ = false;
  }
}

void QtTextBox::RevertEdit() {
  retyped_ = false;
  shown_.Take(control_.Text());
  setText(shown_.Shown());
}

bool QtTextBox::HoldsRefusedKey() const {
  return control_.IsKeyField() && !control_.Accepted() && !control_.Text().empty();
}

void QtTextBox::OpenSearch() {
  QString title = ToQString(FieldLabel(canvas_.form(), control_));
  if (title.isEmpty()) title = ToQString(control_.Layout().Setting("idconsulta"));
  title[0] = title[0].toLower();
  CatalogueDialog dialog("Buscar " + title, canvas_.database(), *catalogue_, text(), window());
  const bool picked = dialog.exec() == QDialog::Accepted && dialog.Picked();
  // Not every window manager (nor Qt's offscreen platform) gives the window back its
  // activation when a dialog closes.
  window()->activateWindow();
  if (!picked) return;
  setText(ToQString(*dialog.Picked()));
  canvas_.Advance(*this);
}

void QtTextBox::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F2 && event->modifiers() == Qt::NoModifier &&
      (catalogue_ || finds_policies_) && isEnabled() && !isReadOnly()) {
    if (catalogue_)
      OpenSearch();
    else
      emit canvas_.PolicyFinderWanted();
    return;
  }
  if (IsEnter(event)) {
    canvas_.EnterPressed(*this, ToStdString(text()));
    return;
  }
  QLineEdit::keyPressEvent(event);
}

void QtTextBox::focusInEvent(QFocusEvent* event) {
  QLineEdit::focusInEvent(event);
  canvas_.WidgetFocused(*this);
}

void QtTextBox::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  if (LeavesTheField(event->reason()) && HasPendingEdit()) canvas_.CommitLater(*this);
}

bool QtTextBox::focusNextPrevChild(bool next) {
  return canvas_.KeyboardMove(*this, next);
}

int QtTextBox::MaxCharacters() const {
  return control_.MaxLength();
}

std::string QtTextBox::Shaped(std::string text) const {
  return control_.UpperCase() ? UpperCaseText(text) : text;  // letters keep their size
}

}  // namespace nv407::host
