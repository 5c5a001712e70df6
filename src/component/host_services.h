#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "component/database.h"
#include "component/date.h"
#include "component/form.h"
#include "component/variant.h"

namespace nv407 {

// Message-box styles and answers as the host's ShowMessage uses them.
namespace message_style {
inline constexpr int kStop = 16;
inline constexpr int kWarning = 48;
inline constexpr int kYesNoQuestion = 292;  // Yes/No, question icon, No the default button
}  // namespace message_style
namespace message_answer {
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;
inline constexpr int kAbort = 3;
inline constexpr int kRetry = 4;
inline constexpr int kIgnore = 5;
inline constexpr int kYes = 6;
inline constexpr int kNo = 7;
}  // namespace message_answer

class AppServices {
 public:
  virtual ~AppServices() = default;
  virtual Connection& GetConnection() = 0;
  virtual std::string GetUserCode() = 0;
  virtual Variant GetParameter(const std::string& name, int kind, const std::string& arg1,
                               const std::string& arg2) = 0;
  virtual bool HasPermission(const std::string& module, const std::string& key,
                             const std::string& unavailable_text) = 0;
  // Returns the button pressed (message_answer).
  virtual int ShowMessage(const std::string& text, int style, const std::string& title,
                          std::intptr_t owner, const std::string& module,
                          const std::string& error_id) = 0;
};

class UtilityServices {
 public:
  virtual ~UtilityServices() = default;
  virtual Date GetServerDate() = 0;
  // A new folio for the branch's series of the table; Empty when none can be issued.
  virtual Variant NextFolio(const std::string& branch, const std::string& table, int width,
                            int option) = 0;
  virtual void LogRecordEvent(const std::string& table, const std::string& key,
                              const std::string& note) = 0;
  virtual std::string FormatFolio(const std::string& folio) = 0;
  virtual std::string SqlDate(const Date& date) = 0;
  virtual std::string SqlDateTime(const Date& date) = 0;
  virtual void ClearFields(Form& form, int group) = 0;
  virtual void EnableFields(Form& form, int group) = 0;
  virtual std::string ReadExtendedText(const std::string& table, const std::string& key,
                                       const std::string& entry) = 0;
  virtual bool SaveExtendedText(const std::string& table, const std::string& key,
                                const std::string& entry, const std::string& text) = 0;
  // The editor may change the concept in place; returns the edited text.
  virtual std::string EditExtendedText(std::string& concept_text, const std::string& text,
                                       int width) = 0;
  virtual std::string GetProductText(const std::string& product) = 0;
  virtual std::string ResolveTransaction(const std::string& transaction,
                                         const std::string& application) = 0;
};

class ListFormatter {
 public:
  virtual ~ListFormatter() = default;
  virtual void FormatList(ListView& list) = 0;
};

class RecordViewer {
 public:
  virtual ~RecordViewer() = default;
  virtual void Show(const std::string& table, const std::string& key_column, const std::string& key,
                    const std::string& arg4, const std::string& arg5, const std::string& arg6,
                    const std::string& arg7) = 0;
};

// What a host hands the component when it loads it: the factories of its services
// and its control set.
class HostLibrary {
 public:
  virtual ~HostLibrary() = default;
  virtual std::unique_ptr<AppServices> CreateAppServices() = 0;
  virtual std::unique_ptr<UtilityServices> CreateUtilityServices() = 0;
  virtual std::unique_ptr<ListFormatter> CreateListFormatter() = 0;
  virtual std::unique_ptr<RecordViewer> CreateRecordViewer() = 0;
  virtual ControlFactory& Controls() = 0;
};

}  // namespace nv407
