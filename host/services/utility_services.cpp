#include <string>

#include "component/error.h"
#include "host/db/text.h"
#include "host/services/clock.h"
#include "host/services/folio.h"
#include "host/services/host_records.h"
#include "host/services/services.h"

namespace nv407::host {
namespace {

bool InGroup(const Control& control, const std::string& group) {
  return control.Layout().tag == group;
}

class ReferenceUtilityServices final : public UtilityServices {
 public:
  ReferenceUtilityServices(Database& database, Dialogs& dialogs, SessionSettings settings,
                           ReplacementChain& chain)
      : database_(database),
        dialogs_(dialogs),
        settings_(std::move(settings)),
        records_(database),
        chain_(chain) {}

  // A server's own clock where the host's is not pinned: the database dates what the
  // screen saves against it.
  Date GetServerDate() override { return ServerNow(settings_, database_); }

  // A width of 0 or less means the host's width. The option is not used: there is one
  // numbering scheme.
  Variant NextFolio(const std::string& branch, const std::string& table, int width,
                    int /*option*/) override {
    const std::string series_branch = FolioBranch(branch);
    if (series_branch.empty() || Trim(table).empty()) return {};
    if (width <= 0) width = kFolioWidth;
    const std::int64_t largest = LargestFolioNumber(series_branch, width);
    // Folios written by other tools may already hold numbers of the series: pass them by.
    const FolioCheck check{FindKnownTable(table), series_branch + "-",
                           FolioDigits(series_branch, width)};
    for (;;) {
      const auto issued = records_.AdvanceFolioSeries(series_branch, table, largest, check);
      if (!issued) return {};
      const auto folio = MakeFolio(series_branch, issued->number, width);
      if (!folio) return {};
      const bool taken = check.table && (issued->taken ? *issued->taken
                                                       : records_.RowExists(*check.table, *folio));
      if (taken) continue;
      chain_.FolioIssued(table, *folio);
      if (settings_.activity) settings_.activity->FolioIssued(*folio);
      return Variant(*folio);
    }
  }

  void LogRecordEvent(const std::string& table, const std::string& key,
                      const std::string& note) override {
    records_.AppendNote(table, key, note, settings_.user_code, GetServerDate());
    if (settings_.activity) settings_.activity->NoteLogged(table, key, note);
  }

  std::string FormatFolio(const std::string& folio) override { return host::FormatFolio(folio); }

  std::string SqlDate(const Date& date) override { return DateText(database_.Dialect(), date); }

  std::string SqlDateTime(const Date& date) override {
    return DateTimeText(database_.Dialect(), date);
  }

  void ClearFields(Form& form, int group) override {
    const std::string tag = std::to_string(group);
    for (Control* control : form.Controls()) {
      if (!control || !InGroup(*control, tag)) continue;
      // A control set makes each control of its layout row's kind.
      switch (control->Kind()) {
        case ControlKind::kTextBox:
          static_cast<TextBox*>(control)->SetText("");
          break;
        case ControlKind::kDateField:
          static_cast<DateField*>(control)->SetValue(Variant());
          break;
        case ControlKind::kComboBox:
          static_cast<ComboBox*>(control)->SetSelectedValue(Variant());
          break;
        case ControlKind::kListView:
          static_cast<ListView*>(control)->Items().Clear();
          break;
        default:
          break;
      }
    }
  }

  void EnableFields(Form& form, int group) override {
    const std::string tag = std::to_string(group);
    for (Control* control : form.Controls())
      if (control && InGroup(*control, tag)) control->SetEnabled(true);
  }

  std::string ReadExtendedText(const std::string& table, const std::string& key,
                               const std::string& entry) override {
    return records_.ExtendedText(table, key, entry).value_or("");
  }

  bool SaveExtendedText(const std::string& table, const std::string& key, const std::string& entry,
                        const std::string& text) override {
    try {
      records_.StoreExtendedText(table, key, entry, text);
      return true;
    } catch (const Error& failure) {
      dialogs_.NoteFailureCause(failure.Description());
      return false;
    }
  }

  std::string EditExtendedText(std::string& concept_text, const std::string& text,
                               int width) override {
    // The editor's texts go into statements: a NUL in them would cut the statement short.
    std::string edited = dialogs_.EditExtendedText(concept_text, text, width);
    std::erase(concept_text, '\0');
    std::erase(edited, '\0');
    return edited;
  }

  std::string GetProductText(const std::string& product) override {
    return records_.ProductText(product).value_or("");
  }

  std::string ResolveTransaction(const std::string& transaction,
                                 const std::string& application) override {
    return records_.TransactionCode(application, transaction).value_or(transaction);
  }

 private:
  Database& database_;
  Dialogs& dialogs_;
  SessionSettings settings_;
  HostRecords records_;
  ReplacementChain& chain_;
};

}  // namespace

std::unique_ptr<UtilityServices> MakeUtilityServices(Database& database, Dialogs& dialogs,
                                                     const SessionSettings& settings,
                                                     ReplacementChain& chain) {
  return std::make_unique<ReferenceUtilityServices>(database, dialogs, settings, chain);
}

}  // namespace nv407::host
