#include "host/qt/qt_dialogs.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>
#include <cmath>

#include "component/host_services.h"
#include "host/qt/look.h"
#include "host/qt/one_line_edit.h"
#include "host/qt/questions.h"
#include "host/qt/record_page.h"

namespace nv407::host {
namespace {

constexpr const char* kExtendedTextTitle = "Descripción ampliada";

QMessageBox::Icon IconOf(int style) {
  switch (style & 0x70) {
    case 16:
      return QMessageBox::Critical;
    case 32:
      return QMessageBox::Question;
    case 48:
      return QMessageBox::Warning;
    case 64:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

// Each answer's button.
constexpr std::pair<int, QMessageBox::StandardButton> kButtonOfAnswer[] = {
    {message_answer::kOk, QMessageBox::Ok},         {message_answer::kCancel, QMessageBox::Cancel},
    {message_answer::kAbort, QMessageBox::Abort},   {message_answer::kRetry, QMessageBox::Retry},
    {message_answer::kIgnore, QMessageBox::Ignore}, {message_answer::kYes, QMessageBox::Yes},
    {message_answer::kNo, QMessageBox::No}};

QMessageBox::StandardButton ButtonOf(int answer) {
  for (const auto& [given, button] : kButtonOfAnswer)
    if (given == answer) return button;
  return QMessageBox::Ok;
}

}  // namespace

std::unique_ptr<QMessageBox> MakeMessageBox(const MessageRequest& message, QWidget* parent) {
  auto box = std::make_unique<QMessageBox>(parent);
  box->setIcon(IconOf(message.style));
  box->setWindowTitle(ToQString(message.title));
  // As written: a text with something like a tag in it ("<México>", from the database) is
  // no markup, and its line breaks stay.
  box->setTextFormat(Qt::PlainText);
  box->setText(ToQString(message.text));
  QString source = ToQString(message.module);
  if (!message.error_id.empty())
    source += (source.isEmpty() ? "" : "  ·  ") + ToQString(message.error_id);
  box->setInformativeText(source);
  if (!message.detail.empty()) box->setDetailedText(ToQString(message.detail));
  std::vector<QMessageBox::StandardButton> buttons;
  QMessageBox::StandardButtons all;
  for (int answer : MessageButtons(message.style)) {
    buttons.push_back(ButtonOf(answer));
    all |= buttons.back();
  }
  box->setStandardButtons(all);
  // Qt's own captions give Sí and No their letters, not these.
  if (QAbstractButton* ok = box->button(QMessageBox::Ok)) ok->setText("&Aceptar");
  if (QAbstractButton* cancel = box->button(QMessageBox::Cancel)) cancel->setText("&Cancelar");
  const QMessageBox::StandardButton default_button = ButtonOf(DefaultMessageAnswer(message.style));
  box->setDefaultButton(default_button);
  // Esc answers as the default button would: No on a question, never a silent Yes.
  box->setEscapeButton(buttons.size() == 1 ? buttons.front() : default_button);
  return box;
}

int AnswerOf(QMessageBox::StandardButton button) {
  for (const auto& [answer, given] : kButtonOfAnswer)
    if (given == button) return answer;
  return message_answer::kOk;
}

ExtendedTextEditor::ExtendedTextEditor(const std::string& concept_text, const std::string& text,
                                       int width, std::function<bool()> may_drop, QWidget* parent)
    : QDialog(parent), may_drop_(std::move(may_drop)), given_concept_(concept_text) {
  setObjectName("ExtendedTextEditor");
  setWindowTitle(kExtendedTextTitle);
  concept_ = new OneLineEdit(given_concept_.Shown(), this);
  concept_->setObjectName("concept");
  text_ = new QPlainTextEdit(ToQString(text), this);
  given_text_ = text;
  crlf_ = text.find("\r\n") != std::string::npos;
  text_->setObjectName("text");
  text_->setTabChangesFocus(true);
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  text_->setFont(fixed);
  // Lines wrap at the given width in characters, as the text will be printed: the scroll bar
  // is always there, so that its room is the same for a short text and a long one.
  if (width > 0) {
    text_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    const int margins = 2 * static_cast<int>(text_->document()->documentMargin()) +
                        text_->frameWidth() * 2 + text_->verticalScrollBar()->sizeHint().width();
    // The layout places characters at fractional advances: a width rounded down to whole
    // pixels would wrap one character early with some fonts.
    const double line = QFontMetricsF(fixed).horizontalAdvance(QString(width, 'M'));
    text_->setFixedWidth(static_cast<int>(std::ceil(line)) + 1 + margins);
  }
  text_->setMinimumHeight(220);
  text_->moveCursor(QTextCursor::End);

  auto* form = new QFormLayout;
  form->addRow("&Concepto:", concept_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText("&Aceptar");
  buttons->button(QDialogButtonBox::Cancel)->setText("Ca&ncelar");  // Alt+C is the concept
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* text_label = new QLabel("&Texto:", this);
  text_label->setBuddy(text_);  // Alt+T goes to the text
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(text_label);
  layout->addWidget(text_);
  layout->addWidget(buttons);
  text_->setFocus();
}

// Esc, Cancelar and the title bar all come here.
void ExtendedTextEditor::reject() {
  if (Changed() && !may_drop_()) return;
  QDialog::reject();
}

bool ExtendedTextEditor::Changed() const {
  return given_concept_.EditedIn(concept_->text()) || Text() != given_text_;
}

std::string ExtendedTextEditor::ConceptText() const {
  return given_concept_.Kept(concept_->text());
}

// The text as the user left it, an untouched one as it was given: the document keeps
// neither the CR of a CR LF nor a lone CR or LF as written, and toPlainText would turn
// no-break spaces into spaces.
std::string ExtendedTextEditor::Text() const {
  if (!text_->document()->isModified()) return given_text_;
  QString text = text_->document()->toRawText();
  text.replace(QChar::ParagraphSeparator, '\n').replace(QChar::LineSeparator, '\n');
  if (crlf_) text.replace('\n', "\r\n");
  return ToStdString(text);
}

RecordDialog::RecordDialog(const QString& title, const QString& page, QWidget* parent)
    : QDialog(parent) {
  setObjectName("RecordDialog");
  setWindowTitle(title);
  page_ = new QTextBrowser(this);
  page_->setObjectName("page");
  page_->setHtml(page);
  page_->setOpenLinks(false);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  buttons->button(QDialogButtonBox::Close)->setText("&Cerrar");
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(page_);
  layout->addWidget(buttons);
  resize(820, 600);
  // The style draws no focus on a read-only page nor on a dialog's only button: the frame of
  // the window's focused field shows where Tab went.
  setStyleSheet(
      "QTextBrowser { border: 1px solid #8a9aa8; }"
      "QTextBrowser:focus { border: 2px solid #00538a; }"
      "QPushButton { border: 1px solid #8a9aa8; border-radius: 3px; background-color: "
      "palette(button); padding: 4px 20px; outline: none; }"
      "QPushButton:focus { border: 2px solid #00538a; }"
      "QPushButton:pressed { background-color: palette(mid); }");
}

QWidget* QtDialogs::Parent() const {
  if (QWidget* active = QApplication::activeModalWidget()) return active;
  return parent_;
}

// Not every window manager (nor Qt's offscreen platform) activates the window again when
// its dialog closes; without it the keyboard would go nowhere.
void QtDialogs::ReturnToParent() const {
  if (parent_ && QApplication::activeModalWidget() == nullptr) parent_->activateWindow();
}

int QtDialogs::ShowMessage(const MessageRequest& message) {
  std::unique_ptr<QMessageBox> box = MakeMessageBox(message, Parent());
  box->exec();
  ReturnToParent();
  QAbstractButton* clicked = box->clickedButton();
  return AnswerOf(box->standardButton(clicked != nullptr ? clicked : box->escapeButton()));
}

std::string QtDialogs::EditExtendedText(std::string& concept_text, const std::string& text,
                                        int width) {
  ExtendedTextEditor editor(
      concept_text, text, width,
      [this] { return AskYesNo(*this, 0, kExtendedTextTitle, kDropExtendedTextQuestion); },
      Parent());
  const bool accepted = editor.exec() == QDialog::Accepted;
  ReturnToParent();
  if (!accepted) return text;
  concept_text = editor.ConceptText();
  return editor.Text();
}

void QtDialogs::ShowRecord(const std::string& table, const std::string& key_column,
                           const std::string& key) {
  // A record that cannot be read raises to the command that asked for it.
  const RecordView record = ReadRecord(database_, table, key_column, key);
  RecordDialog dialog("Consultar " + ToQString(key), RecordPageHtml(database_.ForHost(), record),
                      Parent());
  dialog.exec();
  ReturnToParent();
}

}  // namespace nv407::host
