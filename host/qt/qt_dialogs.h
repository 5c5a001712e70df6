#pragma once

#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>

#include "host/db/database.h"
#include "host/lists/record_view.h"
#include "host/qt/look.h"
#include "host/services/dialogs.h"

class QLineEdit;
class QPlainTextEdit;
class QTextBrowser;

namespace nv407::host {

// The message box of a request: the icon and buttons of its style (16 stop, 48 warning,
// 292 question with Yes and No, No the default), its title, and the module and error
// identifier under the text.
std::unique_ptr<QMessageBox> MakeMessageBox(const MessageRequest& message, QWidget* parent);
// The answer that ShowMessage returns for a button (1 OK, 6 Yes, 7 No, ...).
int AnswerOf(QMessageBox::StandardButton button);

// The extended-text editor: the concept on one line, the text below, `width` characters a
// line. OK keeps the edits; Cancel (or Esc, or the title bar) keeps neither, once
// `may_drop` said yes when the user changed either.
class ExtendedTextEditor final : public QDialog {
  Q_OBJECT

 public:
  ExtendedTextEditor(const std::string& concept_text, const std::string& text, int width,
                     std::function<bool()> may_drop, QWidget* parent);
  std::string ConceptText() const;
  std::string Text() const;
  QLineEdit* ConceptField() const { return concept_; }
  QPlainTextEdit* TextField() const { return text_; }
  void reject() override;

 private:
  bool Changed() const;

  QLineEdit* concept_;
  QPlainTextEdit* text_;
  std::function<bool()> may_drop_;
  ShownText given_concept_;
  std::string given_text_;
  bool crlf_ = false;  // the text given breaks its lines with CR LF, as Windows programs do
};

// The record viewer: the record's page (RecordPageHtml) in a scrollable text view.
class RecordDialog final : public QDialog {
  Q_OBJECT

 public:
  RecordDialog(const QString& title, const QString& page, QWidget* parent);
  QTextBrowser* Page() const { return page_; }

 private:
  QTextBrowser* page_;
};

// The host's dialogs as desktop windows, modal over the host's window.
class QtDialogs final : public Dialogs {
 public:
  explicit QtDialogs(Database& database) : database_(database) {}
  void SetParent(QWidget* parent) { parent_ = parent; }

  int ShowMessage(const MessageRequest& message) override;
  std::string EditExtendedText(std::string& concept_text, const std::string& text,
                               int width) override;
  void ShowRecord(const std::string& table, const std::string& key_column,
                  const std::string& key) override;

 private:
  QWidget* Parent() const;
  void ReturnToParent() const;

  Database& database_;
  QPointer<QWidget> parent_;
};

}  // namespace nv407::host
