#include <QAbstractItemView>
#include <QApplication>
#include <QCalendarWidget>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QWheelEvent>
#include <algorithm>
#include <optional>

#include "component/date.h"
#include "component/error.h"
#include "host/headless/error_presentation.h"
#include "host/headless/field_labels.h"
#include "host/headless/text_rules.h"
#include "host/lists/policy_list.h"
#include "host/qt/catalogue_dialog.h"
#include "host/qt/control_widgets.h"
#include "host/qt/look.h"
#include "host/qt/status_report.h"
#include "host/qt/widget_support.h"

namespace nv407::host {

namespace {

// The first day a date can be, the date field's lowest, shown as any other.
const QDate kFirstDay(Date::kFirstYear, 1, 1);
// What a date field that holds no date shows. The spin box shows it only at its lowest date,
// and only while the field is blank: its lowest date is a day like any other.
const QString kBlankText = " ";
const QString kSeparator = "/";  // between the sections of dd/MM/yyyy

// The day a date field's value names; none where it is empty.
std::optional<QDate> HeldDate(const Variant& value) {
  if (value.IsEmpty() || value.IsNull()) return std::nullopt;
  const Date date = value.ToDate();
  return QDate(date.Year(), date.Month(), date.Day());
}

// The date field's parts as its style lays them out, the arrow that opens the calendar among
// them.
QStyleOptionComboBox ArrowOption(const QDateEdit& field) {
  QStyleOptionComboBox option;
  option.initFrom(&field);
  option.editable = true;
  option.subControls = QStyle::SC_All;
  return option;
}

constexpr int kSectionWidths[] = {2, 2, 4};  // day, month, year, as they are written

bool IsDigit(QChar c) {
  return c >= u'0' && c <= u'9';
}

// Digits in at most the three sections: the day and the month no wider than their own, the
// year no wider than `year_width`.
bool FitsSections(const QString& text, qsizetype year_width) {
  const QStringList sections = text.split(kSeparator);
  if (sections.size() > 3) return false;
  for (qsizetype i = 0; i < sections.size(); ++i) {
    if (sections[i].size() > (i == 2 ? year_width : kSectionWidths[i])) return false;
    if (!std::all_of(sections[i].begin(), sections[i].end(), IsDigit)) return false;
  }
  return true;
}

// What may still become a date as more is typed. The year may run a digit over its four, so
// that a digit too many shows, to be refused when the text is read, rather than being dropped.
bool CouldBeDate(const QString& text) {
  return FitsSections(text, kSectionWidths[2] + 1);
}

// A date as pasted from elsewhere, in the field's form: a spreadsheet cell's line end or tab
// and any blank dropped, dashes or dots between the sections taken for the field's separator,
// and a date written year first (2027-01-23) turned day first. Anything else as it is.
QString InFieldForm(QString text) {
  text.removeIf([](QChar c) { return c.isSpace() || c.category() == QChar::Other_Control; });
  static const QRegularExpression separators("[-.]");
  text.replace(separators, kSeparator);
  static const QRegularExpression year_first("^([0-9]{4})/([0-9]{1,2})/([0-9]{1,2})$");
  const QRegularExpressionMatch parts = year_first.match(text);
  if (parts.hasMatch())
    text = parts.captured(3) + kSeparator + parts.captured(2) + kSeparator + parts.captured(1);
  return text;
}

bool IsStep(const QKeyEvent* event) {
  const int key = event->key();
  return key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp ||
         key == Qt::Key_PageDown;
}

struct TypedDate {
  int day;
  int month;
  int year;
};

// A day and a month of one or two digits and a year of four, whatever they name.
std::optional<TypedDate> DateParts(const QString& text) {
  static const QRegularExpression whole("^([0-9]{1,2})/([0-9]{1,2})/([0-9]{4})$");
  const QRegularExpressionMatch parts = whole.match(text);
  if (!parts.hasMatch()) return std::nullopt;
  return TypedDate{parts.captured(1).toInt(), parts.captured(2).toInt(), parts.captured(3).toInt()};
}

// The day the text names, exactly as written; none when it names no day the field can hold.
std::optional<QDate> ReadDate(const QString& text) {
  const std::optional<TypedDate> parts = DateParts(text);
  if (!parts) return std::nullopt;
  const QDate date(parts->year, parts->month, parts->day);
  if (!date.isValid() || date < kFirstDay) return std::nullopt;
  return date;
}

// Says what is wrong with a text that reads as no date: the month, day and year that no
// calendar has, each named, else the days of the month named, else how a date is written.
std::string RefusedDate(const QString& typed) {
  // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on a sum of them.
  std::string said = "\"";
  said += ToStdString(typed);
  said += "\" no es una fecha";
  const std::optional<TypedDate> parts = DateParts(typed);
  if (!parts) {
    said += " completa; escríbala como dd/mm/aaaa (del año ";
    said += std::to_string(Date::kFirstYear);
    said += " al ";
    said += std::to_string(Date::kLastYear);
    said += ").";
    return said;
  }
  std::vector<std::string> missing;
  if (parts->month < 1 || parts->month > 12)
    missing.push_back("mes " + std::to_string(parts->month));
  if (parts->day < 1 || parts->day > 31) missing.push_back("día " + std::to_string(parts->day));
  const bool early = parts->year < Date::kFirstYear;  // four digits: never past the last
  if (early) missing.push_back("año " + std::to_string(parts->year));
  if (!missing.empty()) {
    said += ": no hay ";
    for (std::size_t i = 0; i < missing.size(); ++i) {
      if (i > 0) said += " ni ";
      said += missing[i];
    }
    if (early) {
      said += " (del año ";
      said += std::to_string(Date::kFirstYear);
      said += " al ";
      said += std::to_string(Date::kLastYear);
      said += ")";
    }
    said += ".";
    return said;
  }
  // A day past the month's last.
  said += ": ";
  said += ToStdString(
      QLocale(QLocale::Spanish, QLocale::Mexico).standaloneMonthName(parts->month).toLower());
  said += " de ";
  said += std::to_string(parts->year);
  said += " tiene ";
  said += std::to_string(QDate(parts->year, parts->month, 1).daysInMonth());
  said += " días.";
  return said;
}

}  // namespace

QtDateField::QtDateField(HeadlessDateField& control, ScreenCanvas& canvas)
    : QDateEdit(&canvas), control_(control), canvas_(canvas) {
  setCalendarPopup(true);
  setDisplayFormat("dd" + kSeparator + "MM" + kSeparator + "yyyy");
  setMinimumDate(kFirstDay);
  ShowHeld();
  // The text typed is read when the field hands it over, never a keystroke at a time.
  setKeyboardTracking(false);
  connect(this, &QDateEdit::dateChanged, this, [this](QDate stepped) {
    if (!browsing_) Picked(stepped);
  });
  // Made now, to hear which day it picks. Its colours are still the field's sheet's.
  QCalendarWidget* calendar = calendarWidget();
  connect(calendar, &QCalendarWidget::activated, this, &QtDateField::Picked);
  connect(calendar, &QCalendarWidget::clicked, this, &QtDateField::Picked);
  calendar->window()->installEventFilter(this);
  // The mouse placing the cursor in the text typed, as the keys do (EditTyped).
  lineEdit()->installEventFilter(this);
  FollowControl(control_, this);
}

void QtDateField::Sync() {
  const std::optional<QDate> held = HeldDate(control_.Value());
  if (ShowsBlank() != !held || date() != held.value_or(kFirstDay)) ShowHeld();
  setEnabled(control_.Enabled());
}

// The date the field holds, or blank, its text written again.
void QtDateField::ShowHeld() {
  const std::optional<QDate> held = HeldDate(control_.Value());
  syncing_ = true;
  setSpecialValueText(held ? QString() : kBlankText);
  setDate(held.value_or(kFirstDay));  // also the date it holds: the text is written again
  syncing_ = false;
}

bool QtDateField::ShowsBlank() const {
  return !specialValueText().isEmpty();
}

// A day laid out to be typed over is the widget's value, not the field's.
QString QtDateField::ValueText() const {
  const std::optional<QDate> held = HeldDate(control_.Value());
  return held ? textFromDateTime(QDateTime(*held, QTime())) : kBlankText;
}

bool QtDateField::HasPendingEdit() const {
  if (!isEnabled() || text() == ValueText()) return false;
  // The field's own date written another way ("5/1/2024") changes nothing.
  const std::optional<QDate> read = ReadDate(text());
  return !read || read != HeldDate(control_.Value());
}

bool QtDateField::TakeTyped() {
  const std::optional<QDate> read = ReadDate(text().trimmed());
  if (!read) return false;
  control_.UserPick(Date::FromYmd(read->year(), read->month(), read->day()));
  RevertEdit();  // written as the field writes dates
  return true;
}

void QtDateField::CommitEdit() {
  const QString typed = text().trimmed();
  if (typed.isEmpty()) return RevertEdit();  // a date can be picked, not taken away
  if (TakeTyped()) {
    // Handed over as by leaving the field: the focus moves on, unless a handler moved it.
    if (canvas_.focus().Focused() == &control_) canvas_.focus().MoveToNext();
    return;
  }
  // A command run now would take the date the field held before, while it shows this one.
  control_.SetFocus();
  throw EntryRefused(FieldLabel(canvas_.form(), control_) + ": " + RefusedDate(typed));
}

// The cursor stays in its section, which the next step steps.
void QtDateField::RevertEdit() {
  const int section = CursorSection();
  ShowHeld();
  if (!ShowsBlank()) StepIn(section);
}

QValidator::State QtDateField::validate(QString& input, int& position) const {
  if (ShowsBlank() && input == specialValueText()) return QValidator::Acceptable;
  // A date pasted into a field that shows no date lands beside its blank; one pasted from
  // elsewhere may bring a line end, or other separators.
  if (const QString pasted = InFieldForm(input); pasted != input) {
    input = pasted;
    position = static_cast<int>(input.size());
  }
  if (!CouldBeDate(input)) return QValidator::Invalid;
  return ReadDate(input) ? QValidator::Acceptable : QValidator::Intermediate;
}

QDateTime QtDateField::dateTimeFromText(const QString& text) const {
  return QDateTime(ReadDate(text).value_or(date()), QTime(0, 0));
}

void QtDateField::ApplyLook(const ControlLayout& scheme) {
  const Look& look = control_.Layout().look;
  if (look.font) setFont(ToQFont(*look.font));

  // The field's own calendar colours, else the scheme's. They are rules of the field's
  // sheet, which its pop-up inherits: the calendar is made only when it first opens.
  auto colour = [&](const std::optional<Colour>& own, const std::optional<Colour>& fallback,
                    const char* last) {
    return own ? ColourName(*own, palette()) : fallback ? ColourName(*fallback, palette()) : last;
  };
  const Look& defaults = scheme.look;
  const QString back = colour(look.calendar_back, defaults.calendar_back, "#ffffff");
  const QString fore = colour(look.calendar_fore, defaults.calendar_fore, "#000000");
  const QString title = colour(look.calendar_title_back, defaults.calendar_title_back, "#89b1c9");
  const QString title_fore =
      colour(look.calendar_title_fore, defaults.calendar_title_fore, "#ffffff");
  setStyleSheet(
      FieldStyle("QDateEdit", FieldColoursOf(look, scheme, palette())) +
      QString("QCalendarWidget QWidget#qt_calendar_navigationbar { background-color: %3; }"
              "QCalendarWidget QToolButton { color: %4; background-color: %3; }"
              "QCalendarWidget QAbstractItemView:enabled { background-color: %1; color: %2;"
              " selection-background-color: %3; selection-color: %4; }")
          .arg(back, fore, title, title_fore));
}

void QtDateField::OpenCalendar() {
  if (!isEnabled()) return;
  // The pop-up opens as a press on the field's arrow opens it.
  const QStyleOptionComboBox option = ArrowOption(*this);
  const QPoint arrow =
      style()
          ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, this)
          .center();
  QMouseEvent press(QEvent::MouseButtonPress, arrow, mapToGlobal(arrow), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(this, &press);
}

// The calendar opens on the date typed, taken first as Tab takes it but with the focus staying;
// one refused is said and left to be put right, with the calendar shut.
void QtDateField::mousePressEvent(QMouseEvent* event) {
  const QStyleOptionComboBox option = ArrowOption(*this);
  const bool arrow =
      style()->hitTestComplexControl(QStyle::CC_ComboBox, &option, event->position().toPoint(),
                                     this) == QStyle::SC_ComboBoxArrow;
  if (arrow && !TakeInPlace()) return event->accept();
  QDateEdit::mousePressEvent(event);
}

bool QtDateField::eventFilter(QObject* watched, QEvent* event) {
  if (watched == lineEdit()) {
    const QEvent::Type type = event->type();
    if ((type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick ||
         type == QEvent::MouseMove || type == QEvent::MouseButtonRelease) &&
        HasPendingEdit()) {
      EditTyped(event);
      return true;
    }
    return QDateEdit::eventFilter(watched, event);
  }
  if (watched != calendarWidget()->window()) return QDateEdit::eventFilter(watched, event);
  // The spin box shows each day browsed in the calendar as its date, and on Esc puts back the
  // last one it showed: the field takes only the day picked (Enter, a click), and shows the
  // date it holds once the calendar has closed.
  if (event->type() == QEvent::Show) {
    browsing_ = true;
    opened_start_ =
        lineEdit()->hasSelectedText() ? lineEdit()->selectionStart() : lineEdit()->cursorPosition();
    opened_length_ = static_cast<int>(lineEdit()->selectedText().size());
    // The days take the keys: made with the field, the calendar lost the focus when the field
    // was first disabled.
    calendarWidget()->setFocus();
    if (ShowsBlank()) {
      if (const std::optional<QDate> day = StartingDay()) calendarWidget()->setSelectedDate(*day);
    }
  } else if (event->type() == QEvent::Hide) {
    // Once the spin box has put its own date back.
    QMetaObject::invokeMethod(
        this,
        [this] {
          browsing_ = false;
          RevertEdit();
          // The text as it was when the calendar opened (the day selected, say), not the cursor
          // the spin box left after the day: the next key types over what it did before.
          if (opened_length_ > 0)
            lineEdit()->setSelection(opened_start_, opened_length_);
          else
            lineEdit()->setCursorPosition(opened_start_);
        },
        Qt::QueuedConnection);
  }
  return QDateEdit::eventFilter(watched, event);
}

void QtDateField::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F4 ||
      (event->key() == Qt::Key_Down && event->modifiers() == Qt::AltModifier)) {
    OpenCalendar();
    return;
  }
  if (IsEnter(event)) {
    canvas_.EnterPressed(*this, ToStdString(text()).find_first_not_of(' ') == std::string::npos
                                    ? std::string()
                                    : ToStdString(text()));
    return;
  }
  if (IsStep(event)) {
    if (TakeInPlace()) QDateEdit::keyPressEvent(event);
    return;
  }
  // Kept as typed over the field's own date too: the spin box, told of the text changing,
  // would read it at once, and put its date back over a text that is no date yet.
  if (event->matches(QKeySequence::Paste)) return EditTyped(event);
  const QString typed =
      event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier) ? QString() : event->text();
  if (typed.size() == 1 && typed[0].isPrint()) {
    Type(typed[0]);
    return;
  }
  if (HasPendingEdit()) return EditTyped(event);
  QDateEdit::keyPressEvent(event);
}

// The text typed is edited as in any line edit. The spin box, told of the cursor moving, would
// read it as the date it holds and write that over it.
void QtDateField::EditTyped(QEvent* event) {
  const QSignalBlocker quiet(lineEdit());
  lineEdit()->event(event);
}

// Only the field with the focus steps: the wheel passing over it on the way down the window
// leaves it as it is.
void QtDateField::wheelEvent(QWheelEvent* event) {
  if (!hasFocus()) return event->ignore();
  if (TakeInPlace()) QDateEdit::wheelEvent(event);
}

// A step (or the calendar) moves on from the date typed, taken first with the focus staying, in
// the section of the cursor; a text that is no date is refused as when it is handed over.
bool QtDateField::TakeInPlace() {
  const int section = CursorSection();
  if (HasPendingEdit()) {
    if (!canvas_.Run([this] {
          if (!TakeTyped()) CommitEdit();
        }))
      return false;
  } else if (text() != ValueText()) {
    ShowHeld();  // its own date written another way
  }
  if (!ShowsBlank()) StepIn(section);
  return true;
}

// The section of dd/MM/yyyy at the cursor, or at the start of the selection, in the text shown,
// typed or not: the slashes before it. Blank shows none: the day's, where typing starts.
int QtDateField::CursorSection() const {
  const QLineEdit& edit = *lineEdit();
  const int at = edit.hasSelectedText() ? edit.selectionStart() : edit.cursorPosition();
  return std::min(2, static_cast<int>(edit.text().left(at).count(kSeparator)));
}

// The spin box steps the section it last saw the cursor move into, and sees no cursor placed
// while it is not told (a text typed, the field's menu): with the field's own date shown, the
// cursor is moved there from another section.
void QtDateField::StepIn(int section) {
  QLineEdit& edit = *lineEdit();
  const bool quiet = edit.blockSignals(false);
  setCurrentSectionIndex(section == 0 ? 2 : 0);
  setCurrentSectionIndex(section);
  edit.blockSignals(quiet);
}

// A field that shows no date steps either way from the server's day, as typing into it starts
// there; one with a date typed, from that date, once taken.
QAbstractSpinBox::StepEnabled QtDateField::stepEnabled() const {
  if (ShowsBlank() || HasPendingEdit()) return StepUpEnabled | StepDownEnabled;
  return QDateEdit::stepEnabled();
}

void QtDateField::stepBy(int steps) {
  // The field's menu (Aumentar, Reducir) steps without a key: the date typed is taken first.
  if (!TakeInPlace()) return;
  if (ShowsBlank()) {
    const std::optional<QDate> day = StartingDay();
    if (!day) return;
    syncing_ = true;
    setSpecialValueText(QString());
    setDate(*day);
    syncing_ = false;
    StepIn(0);
  }
  QDateEdit::stepBy(steps);
  // Also where the step could not move from the server's day.
  if (date() != HeldDate(control_.Value())) Picked(date());
}

std::optional<QDate> QtDateField::StartingDay() {
  Date day;
  if (!canvas_.Run([&] { day = canvas_.ServerDay(); })) return std::nullopt;
  return HeldDate(Variant(day));
}

// Digits and slashes are kept as typed, to be read when the field hands its text over: the
// spin box would read each section against the month shown, moving on and clamping.
void QtDateField::Type(QChar typed) {
  QLineEdit& edit = *lineEdit();
  if (typed != kSeparator[0] && !IsDigit(typed)) return;
  if (ShowsBlank() && edit.text() == specialValueText()) {
    if (!IsDigit(typed)) return;
    // A field that shows no date has no day, month and year to type into: the server's day
    // is laid out, its day selected, to be typed over as any date is.
    const std::optional<QDate> day = StartingDay();
    if (!day) return;
    Show(textFromDateTime(QDateTime(*day, QTime(0, 0))), 0, kSectionWidths[0]);
  }
  const QString text = edit.text();
  const int start = edit.hasSelectedText() ? edit.selectionStart() : edit.cursorPosition();
  const int end = start + static_cast<int>(edit.selectedText().size());
  if (typed == kSeparator[0]) {
    // The separator ends the day or month at the cursor, what followed of it going ("1/" over
    // "15" is the 1st), and moves on to the next section, as one typed in full does by
    // itself; after that move, at the start, or in the year, there is nothing to end.
    if (start == 0 || text[start - 1] == typed || text.left(start).count(kSeparator) == 2) return;
    const qsizetype next = text.indexOf(kSeparator, start);
    Show(text.left(start) + kSeparator + (next < 0 ? QString() : text.mid(next + 1)), start + 1, 0);
    SelectSection(start + 1);
    return;
  }
  QString after = text.left(start) + typed + text.mid(end);
  // A digit typed inside a section already full takes the place of the one after it.
  if (!FitsSections(after, kSectionWidths[2]) && start == end && start < text.size() &&
      IsDigit(text[start]))
    after = text.left(start) + typed + text.mid(start + 1);
  if (!CouldBeDate(after)) return;
  const int cursor = start + 1;
  const int section = static_cast<int>(after.left(cursor).count(kSeparator));
  const int section_start = static_cast<int>(after.lastIndexOf(kSeparator, cursor - 1)) + 1;
  const bool full = cursor - section_start == kSectionWidths[section] &&
                    (cursor == after.size() || after[cursor] == kSeparator[0]);
  if (!full || section == 2) return Show(after, cursor, 0);
  if (cursor == after.size()) return Show(after + kSeparator, cursor + 1, 0);
  Show(after, cursor, 0);
  SelectSection(cursor + 1);
}

// The spin box is not told: it would read the text against its sections as the cursor moves.
void QtDateField::Show(const QString& text, int start, int length) {
  const QSignalBlocker quiet(lineEdit());
  lineEdit()->setText(text);
  if (length > 0)
    lineEdit()->setSelection(start, length);
  else
    lineEdit()->setCursorPosition(start);
}

void QtDateField::SelectSection(int start) {
  const QString shown = text();
  qsizetype end = shown.indexOf(kSeparator, start);
  if (end < 0) end = shown.size();
  Show(shown, start, static_cast<int>(end) - start);
}

// A date typed part way is kept when the focus comes back to the field (after a refusal of
// it, say), where the spin box would write the date it holds.
void QtDateField::focusInEvent(QFocusEvent* event) {
  const QString typed = text();
  const bool keep = HasPendingEdit();
  QDateEdit::focusInEvent(event);
  if (keep && text() != typed) Show(typed, static_cast<int>(typed.size()), 0);
  canvas_.WidgetFocused(*this);
}

// The text typed stays where the spin box would put the last date back: a dialog, a pop-up
// or another application takes the focus for a while; a click elsewhere hands it over once
// the click is done, as in a text box. Tab and Enter have handed it over already.
void QtDateField::focusOutEvent(QFocusEvent* event) {
  const Qt::FocusReason reason = event->reason();
  const QString typed = text();
  // The selection too: the field's own menu takes the focus, and cuts or copies what was
  // selected when it opened.
  const QLineEdit& edit = *lineEdit();
  const int start = edit.hasSelectedText() ? edit.selectionStart() : edit.cursorPosition();
  const int length = static_cast<int>(edit.selectedText().size());
  const bool keep = HasPendingEdit();
  QDateEdit::focusOutEvent(event);
  if (!keep) return;
  Show(typed, start, length);
  if (!HasPendingEdit()) return RevertEdit();  // the spin box took a pasted date
  if (LeavesTheField(reason)) canvas_.CommitLater(*this);
}

// The menu's Pegar, Cortar and Borrar edit the text as the keys do, kept as typed (the spin
// box, told, would put its date back over a text that is no date yet); its Aumentar and
// Reducir are offered for the section at the cursor.
void QtDateField::contextMenuEvent(QContextMenuEvent* event) {
  if (!ShowsBlank() && text() == ValueText()) {
    const QLineEdit& edit = *lineEdit();
    const int start = edit.hasSelectedText() ? edit.selectionStart() : edit.cursorPosition();
    const int length = static_cast<int>(edit.selectedText().size());
    StepIn(CursorSection());
    Show(text(), start, length);  // what the menu cuts or copies
  }
  const QSignalBlocker quiet(lineEdit());
  QDateEdit::contextMenuEvent(event);
}

// Tab leaves the field rather than walking its day, month and year.
bool QtDateField::focusNextPrevChild(bool next) {
  return canvas_.KeyboardMove(*this, next);
}

void QtDateField::Picked(QDate picked) {
  if (syncing_) return;
  canvas_.Run(
      [&] { control_.UserPick(Date::FromYmd(picked.year(), picked.month(), picked.day())); });
}

}  // namespace nv407::host
