#include "host/qt/window_player.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCalendarWidget>
#include <QDir>
#include <QLineEdit>
#include <QPainter>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "component/error.h"
#include "host/headless/renewal.h"
#include "host/headless/snapshot.h"
#include "host/headless/text_rules.h"
#include "host/programs/program_info.h"
#include "host/qt/control_widgets.h"
#include "host/qt/list_model.h"
#include "host/qt/look.h"
#include "host/qt/policy_finder.h"
#include "host/qt/synthetic_input.h"

namespace nv407::host {
namespace {

// Height of the title bar drawn over a shot, where a desktop would draw the window's own.
constexpr int kTitleBar = 26;

// The widget as a desktop shows it: its title bar, then its contents. On a scaled screen
// (QT_SCALE_FACTOR, a high-density display) the picture has the screen's pixels.
QPixmap Decorated(QWidget& window) {
  const QPixmap contents = window.grab();
  const QSize size = contents.deviceIndependentSize().toSize();
  QPixmap framed(QSize(size.width() + 2, size.height() + kTitleBar + 1) *
                 contents.devicePixelRatio());
  framed.setDevicePixelRatio(contents.devicePixelRatio());
  framed.fill(QColor(0, 56, 94));
  QPainter painter(&framed);
  painter.drawPixmap(1, kTitleBar, contents);
  painter.drawPixmap(6, (kTitleBar - 16) / 2, window.windowIcon().pixmap(16));
  painter.setPen(Qt::white);
  QFont title = window.font();
  title.setBold(true);
  title.setPixelSize(13);
  painter.setFont(title);
  painter.drawText(QRect(28, 0, framed.width() - 36, kTitleBar), Qt::AlignVCenter | Qt::AlignLeft,
                   window.windowTitle());
  return framed;
}

}  // namespace

WindowPlayer::WindowPlayer(QtHost& host, PlayedDialogs& dialogs, std::ostream& out,
                           std::optional<std::string> shots)
    : host_(host), dialogs_(dialogs), out_(out), shots_(std::move(shots)) {
  dialogs_.OnCall([this](const DialogCall& call) {
    std::visit([this](const auto& typed) { Write(script::EventJson(HostEvent(typed))); }, call);
  });
  dialogs_.OnShown([this](QWidget& dialog) { Shoot(&dialog); });
  status_ = QObject::connect(
      host_.window().statusBar(), &QStatusBar::messageChanged, [this](const QString& text) {
        if (!text.isEmpty()) Write(script::Json{{"event", "status"}, {"text", ToStdString(text)}});
      });
  if (shots_) QDir().mkpath(ToQString(*shots_));
}

// The host and its dialogs outlive the player: they are told no more.
WindowPlayer::~WindowPlayer() {
  QObject::disconnect(status_);
  dialogs_.OnCall({});
  dialogs_.OnShown({});
}

int WindowPlayer::Play(std::istream& script, std::ostream& errors) {
  std::string text;
  int number = 1;
  for (; std::getline(script, text); ++number) {
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (text.find_first_not_of(" \t") == std::string::npos) continue;
    try {
      Perform(script::ParseAction(text));
    } catch (const script::LineError& failure) {
      out_.flush();
      errors << "polizas: line " << number << ": " << failure.what() << "\n";
      return 2;
    } catch (const Error& refused) {
      out_.flush();
      errors << "polizas: line " << number << ": " << refused.Description() << "\n";
      return 2;
    }
    Settle();
    if (!lost_.empty()) {
      errors << "polizas: line " << number << ": " << lost_ << "\n";
      return 2;
    }
  }
  if (script.bad()) {
    errors << "polizas: line " << number << ": cannot read the script: " << std::strerror(errno)
           << "\n";
    return 2;
  }
  return 0;
}

void WindowPlayer::Perform(const script::Action& action) {
  struct Performer {
    WindowPlayer& player;
    void operator()(const script::OpenAction& a) {
      player.host_.Open(a.params);
      player.host_.window().show();
      player.host_.window().activateWindow();
      // The keyboard goes to an active window, and the focused field shows it then.
      if (!QTest::qWaitForWindowActive(&player.host_.window()))
        throw Error("the window did not become active");
    }
    void operator()(const script::ActivateAction&) { player.host_.Activate(); }
    void operator()(const script::TypeAction& a) { player.Type(a); }
    void operator()(const script::DateAction& a) { player.PickDate(a); }
    void operator()(const script::ChooseAction& a) { player.Choose(a); }
    void operator()(const script::ToolbarAction& a) { player.Press(a); }
    void operator()(const script::ClickAction& a) { player.Click(a); }
    void operator()(const script::AnswerAction& a) { player.dialogs_.QueueAnswer(a.button); }
    void operator()(const script::EditorAction& a) {
      player.dialogs_.QueueEditorResult(a.concept_text, a.text);
    }
    void operator()(const script::ShowAction&) { player.Show(); }
    void operator()(const script::FindAction& a) { player.Find(a); }
    void operator()(const script::RenewAction&) { player.Renew(); }
  };
  std::visit(Performer{*this}, action);
}

// A control the user cannot act on refuses as the headless control does, with its words.
void WindowPlayer::Type(const script::TypeAction& action) {
  auto& control = FindControlAs<HeadlessTextBox>(host_.screen(), action.control);
  if (!control.Enabled() || control.Locked()) return control.UserType(action.text);
  auto& field = host_.WidgetAs<QtTextBox>(action.control);
  QTest::mouseClick(&field, Qt::LeftButton);
  QTest::keyClick(&field, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(&field, Qt::Key_Delete);
  // A line break typed here would be an Enter, and what follows it land elsewhere: a
  // one-line box takes the text as the headless one does, without control characters.
  TypeKeys(field, ToQString(OneLineOf(action.text)));
  QTest::keyClick(&field, Qt::Key_Tab);
}

void WindowPlayer::PickDate(const script::DateAction& action) {
  auto& control = FindControlAs<HeadlessDateField>(host_.screen(), action.control);
  if (!control.Enabled()) return control.UserPick(action.value);
  auto& field = host_.WidgetAs<QtDateField>(action.control);
  QTest::keyClick(&field, Qt::Key_F4);
  QCalendarWidget* calendar = field.calendarWidget();
  calendar->setSelectedDate(QDate(action.value.Year(), action.value.Month(), action.value.Day()));
  QWidget* days = calendar->findChild<QAbstractItemView*>();
  QTest::keyClick(days != nullptr ? days : calendar, Qt::Key_Return);
  TakeBackActivation();
}

void WindowPlayer::Choose(const script::ChooseAction& action) {
  auto& control = FindControlAs<HeadlessComboBox>(host_.screen(), action.control);
  auto& combo = host_.WidgetAs<QtComboBox>(action.control);
  const int item = combo.findText(ToQString(action.text), Qt::MatchExactly);
  if (!control.Enabled() || item < 0) return control.UserChoose(action.text);
  QTest::keyClick(&combo, Qt::Key_F4);
  QAbstractItemView* list = combo.view();
  list->setCurrentIndex(list->model()->index(item, 0));
  QTest::keyClick(list, Qt::Key_Return);
  TakeBackActivation();
}

void WindowPlayer::Press(const script::ToolbarAction& action) {
  auto& toolbar = FindControlAs<HeadlessToolbar>(host_.screen(), "Controles");
  const ToolbarCommand command = *ParseToolbarCommand(action.command);
  QToolButton* button = host_.WidgetAs<QtToolbar>("Controles").Button(command);
  if (!button->isEnabled()) return toolbar.UserPress(command);
  QTest::mouseClick(button, Qt::LeftButton);
}

void WindowPlayer::Click(const script::ClickAction& action) {
  auto& control = FindControlAs<HeadlessFlatButton>(host_.screen(), action.control);
  if (!control.Enabled()) return control.UserClick();
  QTest::mouseClick(&host_.WidgetAs<QtFlatButton>(action.control), Qt::LeftButton);
}

void WindowPlayer::Find(const script::FindAction& action) {
  auto& control = FindControlAs<HeadlessTextBox>(host_.screen(), "txtFolio");
  if (!control.Enabled() || control.Locked()) return control.UserType(action.text);
  auto& field = host_.WidgetAs<QtTextBox>("txtFolio");
  QTest::mouseClick(&field, Qt::LeftButton);
  finder_refusal_.reset();
  // The finder is modal: what the user does in it runs in its own event loop.
  QTimer::singleShot(0, &field, [this, action] { UseFinder(action); });
  QTest::keyClick(&field, Qt::Key_F2);
  if (finder_refusal_) throw script::LineError(*finder_refusal_);
}

void WindowPlayer::UseFinder(const script::FindAction& action) {
  auto* finder = qobject_cast<PolicyFinder*>(QApplication::activeModalWidget());
  if (finder == nullptr) {
    finder_refusal_ = "the finder did not open";
    return;
  }
  if (action.selection.filter == PolicyFilter::kExpiring)
    finder->Days()->setValue(action.selection.days);
  if (action.selection.filter != PolicyFilter::kAll)
    QTest::mouseClick(finder->FilterButton(action.selection.filter), Qt::LeftButton);
  QTest::keyClick(finder->Filter(), Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(finder->Filter(), Qt::Key_Delete);
  TypeKeys(*finder->Filter(), ToQString(action.text));

  FinderCall call{action.text,
                  std::string(PolicyFilterName(action.selection.filter)),
                  {},
                  action.pick.value_or("")};
  const ListModel& model = finder->Model();
  std::optional<int> picked;
  for (int row = 0; row < std::min(model.rowCount(), kPageRows); ++row) {
    call.rows.push_back(ShownPolicyRow(model.Row(row)));
    if (action.pick && model.Row(row).front() == *action.pick) picked = row;
  }
  Write(script::EventJson(HostEvent(call)));
  Shoot(finder);
  if (action.pick && !picked) {
    finder_refusal_ = "the finder does not list \"" + *action.pick + "\"";
    QTest::keyClick(finder->Filter(), Qt::Key_Escape);
    return;
  }
  if (!picked) return QTest::keyClick(finder->Filter(), Qt::Key_Escape);
  finder->List()->selectRow(*picked);
  QTest::keyClick(finder->Filter(), Qt::Key_Return);
}

void WindowPlayer::Renew() {
  if (!host_.window().RenewAction()->isEnabled())
    return host::Renew(host_.screen(), host_.canvas().database());
  QTest::keyClick(&host_.window(), Qt::Key_R, Qt::ControlModifier);
}

// Qt's offscreen platform makes each window it shows the active one, a calendar's or a
// list's pop-up too, and leaves that hidden pop-up active once it closes, where a desktop
// keeps the window active: the window's shortcuts (Ctrl+R) would not answer after it. The
// pop-up's own activation may still be queued, and is let through first.
void WindowPlayer::TakeBackActivation() {
  QCoreApplication::processEvents();
  if (QApplication::activeWindow() == &host_.window()) return;
  host_.window().activateWindow();
  if (!QTest::qWaitForWindowActive(&host_.window()))
    throw Error("the window did not become active again after its pop-up closed");
}

void WindowPlayer::Show() {
  Write(script::ScreenJson(TakeSnapshot(host_.screen(), host_.canvas().focus(), host_.Closed())));
  Shoot(nullptr);
}

// What the action left queued (a click's hand-over, the window's closing) is done before
// the next line.
void WindowPlayer::Settle() {
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
  if (host_.Closed() && !closed_told_) {
    closed_told_ = true;
    Write(script::EventJson(HostEvent(WindowClosed{})));
  }
}

void WindowPlayer::Write(const script::Json& line) {
  out_ << script::Line(line) << '\n';
  if (!lost_.empty()) return;
  if (const std::string failure = OutputFailure(out_); !failure.empty())
    lost_ = "cannot write the output: " + failure;
}

void WindowPlayer::Shoot(QWidget* dialog) {
  if (!shots_) return;
  QWidget& window = host_.window();
  QPixmap shot = Decorated(window);
  if (dialog != nullptr) {
    const QPixmap over = Decorated(*dialog);
    // Where the dialog stands over its window, kept inside the picture.
    const QSize room =
        shot.deviceIndependentSize().toSize() - over.deviceIndependentSize().toSize();
    QPoint at = dialog->geometry().topLeft() - window.geometry().topLeft();
    at.setX(std::clamp(at.x(), 0, std::max(0, room.width())));
    at.setY(std::clamp(at.y(), 0, std::max(0, room.height())));
    QPainter painter(&shot);
    painter.fillRect(QRectF(QPointF(), shot.deviceIndependentSize()), QColor(0, 0, 0, 60));
    painter.drawPixmap(at, over);
  }
  const QString file =
      QDir(ToQString(*shots_)).filePath(QString("%1.png").arg(++shot_count_, 2, 10, QChar('0')));
  // Kept for the line's end, not raised: a dialog on the screen is being answered when its
  // shot is taken.
  if (!shot.save(file) && lost_.empty()) lost_ = "cannot write the shot " + ToStdString(file);
}

}  // namespace nv407::host
