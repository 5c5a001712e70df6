#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "component/controls.h"
#include "component/error.h"
#include "host/db/database.h"
#include "host/services/clock.h"
#include "host/services/dialogs.h"
#include "host/services/reference_host.h"

namespace nv407::host::testing {

// Answers from queues and records what it was shown.
class QueuedDialogs final : public Dialogs {
 public:
  std::deque<int> message_answers;
  std::deque<std::pair<std::string, std::string>> editor_answers;  // concept, text
  std::vector<MessageRequest> messages;
  std::vector<std::string> records_shown;  // "table|column|key"

  int ShowMessage(const MessageRequest& message) override {
    messages.push_back(message);
    if (message_answers.empty()) return 1;
    const int answer = message_answers.front();
    message_answers.pop_front();
    return answer;
  }
  std::string EditExtendedText(std::string& concept_text, const std::string& text,
                               int /*width*/) override {
    if (editor_answers.empty()) return text;
    auto [new_concept, new_text] = editor_answers.front();
    editor_answers.pop_front();
    concept_text = new_concept;
    return new_text;
  }
  void ShowRecord(const std::string& table, const std::string& key_column,
                  const std::string& key) override {
    records_shown.push_back(table + "|" + key_column + "|" + key);
  }
};

// The services under test never make controls.
class NoControls final : public ControlFactory {
 public:
  std::unique_ptr<TextBox> CreateTextBox(const ControlLayout&, Form&) override {
    return Refuse<TextBox>();
  }
  std::unique_ptr<DateField> CreateDateField(const ControlLayout&, Form&) override {
    return Refuse<DateField>();
  }
  std::unique_ptr<ComboBox> CreateComboBox(const ControlLayout&, Form&) override {
    return Refuse<ComboBox>();
  }
  std::unique_ptr<FlatButton> CreateFlatButton(const ControlLayout&, Form&) override {
    return Refuse<FlatButton>();
  }
  std::unique_ptr<Label> CreateLabel(const ControlLayout&, Form&) override {
    return Refuse<Label>();
  }
  std::unique_ptr<Toolbar> CreateToolbar(const ControlLayout&, Form&) override {
    return Refuse<Toolbar>();
  }
  std::unique_ptr<ListView> CreateListView(const ControlLayout&, Form&) override {
    return Refuse<ListView>();
  }
  std::unique_ptr<ColorScheme> CreateColorScheme(const ControlLayout&, Form&) override {
    return Refuse<ColorScheme>();
  }

 private:
  template <typename T>
  static std::unique_ptr<T> Refuse() {
    throw Error("no controls in these tests");
  }
};

inline constexpr const char* kPinnedTime = "2024-03-15 10:20:30";

enum class Contents { kExisting, kSchema, kDemo };

// A database (new with the schema, with the demo data too, or an existing file) and the
// reference host's services on it, for one operator at a pinned time.
struct ServicesOnDatabase {
  explicit ServicesOnDatabase(Contents contents = Contents::kSchema,
                              const std::string& path = ":memory:",
                              const std::string& user = "OPER1")
      : database(OpenSqliteDatabase(
            path, {.create = contents != Contents::kExisting, .clock = PinnedClock(kPinnedTime)})),
        host(*database, dialogs, controls, {user, PinnedClock(kPinnedTime)}),
        app(host.CreateAppServices()),
        utility(host.CreateUtilityServices()) {
    if (contents != Contents::kExisting) CreateSchema(database->ForHost());
    if (contents == Contents::kDemo) LoadDemoData(database->ForHost());
  }

  // Runs a statement of the test's own through the host's side of the session.
  void Run(const std::string& sql) { database->ForHost().Execute(sql)->Close(); }

  // The first column of every row, as text ("" for NULL).
  std::vector<std::string> Column(const std::string& sql, const std::string& column) {
    std::vector<std::string> values;
    auto result = database->ForHost().Execute(sql);
    for (; !result->Eof(); result->MoveNext()) {
      const Variant value = result->Fields(column).Value();
      values.push_back(value.IsNull() ? std::string() : value.ToText());
    }
    result->Close();
    return values;
  }

  std::unique_ptr<Database> database;
  QueuedDialogs dialogs;
  NoControls controls;
  ReferenceHost host;
  std::unique_ptr<AppServices> app;
  std::unique_ptr<UtilityServices> utility;
};

}  // namespace nv407::host::testing
