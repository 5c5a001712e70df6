#include "host/qt/played_dialogs.h"

#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <optional>

#include "component/host_services.h"
#include "host/qt/look.h"
#include "host/qt/synthetic_input.h"

namespace nv407::host {
namespace {

// The box's button that returns `answer`; none when the box has no such button.
QAbstractButton* ButtonAnswering(QMessageBox& box, int answer) {
  for (QAbstractButton* button : box.buttons())
    if (AnswerOf(box.standardButton(button)) == answer) return button;
  return nullptr;
}

template <typename T>
std::optional<T> Next(std::deque<T>& queue) {
  if (queue.empty()) return std::nullopt;
  T next = std::move(queue.front());
  queue.pop_front();
  return next;
}

// Replaces the field's text with `text`, from the keyboard.
template <typename Field>
void Retype(Field& field, const std::string& text) {
  QTest::keyClick(&field, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(&field, Qt::Key_Delete);
  TypeKeys(field, ToQString(text));
}

}  // namespace

int PlayedDialogs::ShowMessage(const MessageRequest& message) {
  const std::optional<int> answer = Next(answers_);
  const StopWatching watch(WhenShown<QMessageBox>([this, answer](QMessageBox& box) {
    Shown(box);
    QAbstractButton* button = answer ? ButtonAnswering(box, *answer) : nullptr;
    if (button != nullptr)
      QTest::mouseClick(button, Qt::LeftButton);
    else
      QTest::keyClick(&box, Qt::Key_Return);
  }));
  const int returned = real_.ShowMessage(message);
  Tell(MessageCall{message, returned});
  return returned;
}

std::string PlayedDialogs::EditExtendedText(std::string& concept_text, const std::string& text,
                                            int width) {
  const auto result = Next(editor_results_);
  const StopWatching watch(
      WhenShown<ExtendedTextEditor>([this, result](ExtendedTextEditor& editor) {
        Shown(editor);
        if (result) {
          Retype(*editor.ConceptField(), result->first);
          Retype(*editor.TextField(), result->second);
        }
        QTest::mouseClick(editor.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok),
                          Qt::LeftButton);
      }));
  EditorCall call{concept_text, text, width, {}, {}};
  std::string edited = real_.EditExtendedText(concept_text, text, width);
  call.returned_concept = concept_text;
  call.returned_text = edited;
  Tell(call);
  return edited;
}

void PlayedDialogs::ShowRecord(const std::string& table, const std::string& key_column,
                               const std::string& key) {
  const StopWatching watch(WhenShown<RecordDialog>([this](RecordDialog& viewer) {
    Shown(viewer);
    QTest::keyClick(&viewer, Qt::Key_Escape);
  }));
  real_.ShowRecord(table, key_column, key);
  Tell(ViewerCall{table, key_column, key});
}

void PlayedDialogs::Shown(QWidget& dialog) {
  if (shown_) shown_(dialog);
}

void PlayedDialogs::Tell(const DialogCall& call) {
  if (told_) told_(call);
}

}  // namespace nv407::host
