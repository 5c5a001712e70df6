#pragma once

#include <QComboBox>
#include <QDateEdit>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host/headless/controls.h"
#include "host/lists/catalogue_search.h"
#include "host/qt/look.h"
#include "host/qt/one_line_edit.h"
#include "host/qt/screen_canvas.h"

class QToolButton;

namespace nv407::host {

// Text box and key field. Typing stays in the widget, kept to the field's length and case as
// it is typed, until the user leaves the field (Tab, Enter, a click elsewhere, a command):
// then the headless field gets it, applies its rules and raises its notifications. F2 on a
// key field opens the search over its catalogue; on the folio field, the host's policy finder.
class QtTextBox final : public OneLineEdit, public ControlView {
  Q_OBJECT

 public:
  QtTextBox(HeadlessTextBox& control, ScreenCanvas& canvas);
  Control& control() const override { return control_; }
  QWidget* widget() override { return this; }
  void Sync() override;
  void ApplyLook(const ControlLayout& scheme) override;
  bool HasPendingEdit() const override;
  void CommitEdit() override;
  bool HoldsRefusedKey() const override;
  void RevertEdit() override;
  // The catalogue that F2 searches; nothing for a field without a look-up.
  const std::optional<ListSource>& Catalogue() const { return catalogue_; }
  // F2: the search list, opened on what the field holds; a picked key is entered as if typed.
  void OpenSearch();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  bool focusNextPrevChild(bool next) override;
  int MaxCharacters() const override;
  std::string Shaped(std::string text) const override;

 private:
  void MarkRefusal(bool refused);

  HeadlessTextBox& control_;
  ScreenCanvas& canvas_;
  std::optional<ListSource> catalogue_;
  bool finds_policies_ = false;  // the folio field: F2 is the host's policy finder
  ShownText shown_;              // the control's text when the widget last took it
  bool refusal_said_ = false;    // the status bar says that the key was refused
  bool retyped_ = false;         // the user typed in the field since it last took its text
};

// Date field with its calendar pop-up (the arrow, Alt+Down or F4); an empty value shows
// blank. A day picked in the calendar (Enter, a click) or stepped to goes to the headless
// field at once; a typed one is kept as typed
// (digits and slashes) until the user leaves the field, and only then read as
// d/m/yyyy: a day of the calendar goes to the headless field, anything else is refused.
class QtDateField final : public QDateEdit, public ControlView {
  Q_OBJECT

 public:
  QtDateField(HeadlessDateField& control, ScreenCanvas& canvas);
  Control& control() const override { return control_; }
  QWidget* widget() override { return this; }
  void Sync() override;
  void ApplyLook(const ControlLayout& scheme) override;
  bool HasPendingEdit() const override;
  // Raises, the text left to be corrected, where it reads as no date.
  void CommitEdit() override;
  void RevertEdit() override;
  void OpenCalendar();

 protected:
  // Every text of digits and slashes that may still become a date; nothing is put right.
  QValidator::State validate(QString& input, int& position) const override;
  void fixup(QString&) const override {}
  QDateTime dateTimeFromText(const QString& text) const override;
  StepEnabled stepEnabled() const override;
  void stepBy(int steps) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  bool focusNextPrevChild(bool next) override;

 private:
  void Type(QChar typed);
  void EditTyped(QEvent* event);  // a key or the mouse on a text typed part way
  bool TakeInPlace();             // false where the text typed was refused
  int CursorSection() const;      // 0 the day, 1 the month, 2 the year
  void StepIn(int section);       // the section the spin box steps
  // The server's day, where a field that shows no date starts; none where the server could
  // not say it (shown as any failure is).
  std::optional<QDate> StartingDay();
  bool TakeTyped();  // the date typed, if it reads as one, to the field; its text written again
  void Show(const QString& text, int start, int length);  // selected, else the cursor at start
  void SelectSection(int start);
  void Picked(QDate date);
  QString ValueText() const;  // the field's own value as the widget writes it
  // Blank is the widget's own state, not a date: its lowest date is a day like any other.
  bool ShowsBlank() const;
  void ShowHeld();

  HeadlessDateField& control_;
  ScreenCanvas& canvas_;
  bool syncing_ = false;
  bool browsing_ = false;  // the calendar is open: the days it shows are not picked yet
  int opened_start_ = 0;   // the text's selection, else its cursor, when the calendar opened
  int opened_length_ = 0;
};

class QtComboBox final : public QComboBox, public ControlView {
  Q_OBJECT

 public:
  QtComboBox(HeadlessComboBox& control, ScreenCanvas& canvas);
  Control& control() const override { return control_; }
  QWidget* widget() override { return this; }
  void Sync() override;
  void ApplyLook(const ControlLayout& scheme) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  bool focusNextPrevChild(bool next) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  HeadlessComboBox& control_;
  ScreenCanvas& canvas_;
};

class QtFlatButton final : public QPushButton, public ControlView {
  Q_OBJECT

 public:
  QtFlatButton(HeadlessFlatButton& control, ScreenCanvas& canvas);
  Control& control() const override { return control_; }
  QWidget* widget() override { return this; }
  void Sync() override;
  void ApplyLook(const ControlLayout& scheme) override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  bool focusNextPrevChild(bool next) override;

 private:
  void Pressed();

  HeadlessFlatButton& control_;
  ScreenCanvas& canvas_;
};

class QtLabel final : public QLabel, public ControlView {
  Q_OBJECT

 public:
  QtLabel(HeadlessLabel& control, ScreenCanvas& canvas);
  Control& control() const override { return control_; }
  QWidget* widget() override { return this; }
  void Sync() override;
  void ApplyLook(const ControlLayout& scheme) override;
  std::string Caption() const { return control_.Caption(); }
  // Alt and `key` take the focus to the field the label names; no key, no shortcut.
  void Link(QWidget& field, QChar key);

 private:
  HeadlessLabel& control_;
};

// The list's columns, widths and alignments come from the layout; FitColumns widens a
// column to its contents (never narrower than designed).
class QtListView final : public QTreeWidget, public ControlView {
  Q_OBJECT

 public:
  QtListView(HeadlessListView& control, ScreenCanvas& canvas);
  Control& control() const override { return control_; }
  QWidget* widget() override { return this; }
  void Sync() override;
  void ApplyLook(const ControlLayout& scheme) override;

 protected:
  void focusInEvent(QFocusEvent* event) override;
  bool focusNextPrevChild(bool next) override;

 private:
  void FitColumns();
  int DesignWidth(int column) const;
  int HeaderWidth(int column) const;

  HeadlessListView& control_;
  ScreenCanvas& canvas_;
  int fitted_ = 0;
  std::vector<std::vector<std::string>> shown_;  // each row's cells as the tree shows them
};

// The caption and the seven commands, each enabled as the headless toolbar says; Alt and
// the underlined letter press a command from the keyboard, Ctrl+S and F10 Aceptar, Esc
// Cancelar (after taking back what is being typed). Baja asks first, and so do Cancelar
// and Salir when they would throw away what the user changed. A cancelled record shown
// is marked "CANCELADA" under the caption.
class QtToolbar final : public QFrame, public ControlView {
  Q_OBJECT

 public:
  QtToolbar(HeadlessToolbar& control, ScreenCanvas& canvas);
  Control& control() const override { return control_; }
  QWidget* widget() override { return this; }
  void Sync() override;
  void ApplyLook(const ControlLayout& scheme) override;
  QToolButton* Button(ToolbarCommand command) const { return buttons_.at(command); }
  // What a click on the command's button does.
  void Press(ToolbarCommand command);
  // Something changed since the capture began, or is being typed during one.
  bool HasUnsavedWork() const;
  // The letters its commands take with Alt.
  QString Keys() const;
  // Whether the record shown inactive is one the database holds cancelled: a load that
  // stopped at an error leaves a live policy shown inactive too, which is not marked.
  void ShowCancelled(bool cancelled);

 private:
  bool Confirmed(ToolbarCommand command);
  void AddShortcut(const QKeySequence& keys, std::function<void()> action);

  HeadlessToolbar& control_;
  ScreenCanvas& canvas_;
  QLabel* caption_ = nullptr;
  QLabel* mode_ = nullptr;
  QLabel* cancelled_ = nullptr;
  bool shown_cancelled_ = false;
  std::map<ToolbarCommand, QToolButton*> buttons_;
};

// Not shown: applying the scheme recolours the screen.
class QtColorScheme final : public ControlView {
 public:
  QtColorScheme(HeadlessColorScheme& control, ScreenCanvas& canvas);
  Control& control() const override { return control_; }
  QWidget* widget() override { return nullptr; }
  void Sync() override;
  void ApplyLook(const ControlLayout&) override {}

 private:
  HeadlessColorScheme& control_;
  ScreenCanvas& canvas_;
  int applied_ = 0;
};

}  // namespace nv407::host
