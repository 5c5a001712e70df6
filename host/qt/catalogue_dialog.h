#pragma once

#include <QDialog>
#include <optional>
#include <string>
#include <vector>

#include "host/qt/catalogue_search.h"

class QLineEdit;
class QTreeWidget;

namespace nv407::host {

// The F2 search of a key field: the catalogue's rows, narrowed as the user types (key or
// description, any case); Enter or a double click picks the current row, Esc cancels.
class CatalogueDialog final : public QDialog {
  Q_OBJECT

 public:
  CatalogueDialog(const std::string& title, std::vector<CatalogueRow> rows, QWidget* parent);
  // The key of the picked row, once the dialog was accepted.
  std::optional<std::string> Picked() const { return picked_; }
  QLineEdit* Filter() const { return filter_; }
  QTreeWidget* List() const { return list_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Narrow(const QString& text);
  void Pick();

  std::vector<CatalogueRow> rows_;
  QLineEdit* filter_;
  QTreeWidget* list_;
  std::optional<std::string> picked_;
};

}  // namespace nv407::host
