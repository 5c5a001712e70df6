#pragma once

#include <QDialog>
#include <optional>
#include <string>

#include "host/lists/catalogue_search.h"
#include "host/qt/one_line_edit.h"

class QLabel;
class QTableView;

namespace nv407::host {

class ListModel;

// The F2 search of a key field: the catalogue's rows that the text finds (key or
// description, any case), read from the database as the user types, a page at a time.
// It opens on the text the field holds. Up and Down move through the rows while typing;
// Enter, Aceptar or a double click pick the current row; Esc or Cancelar leave it.
class CatalogueDialog final : public QDialog {
  Q_OBJECT

 public:
  CatalogueDialog(const QString& title, Database& database, ListSource catalogue,
                  const QString& text, QWidget* parent);
  // The key of the picked row, once the dialog was accepted.
  std::optional<std::string> Picked() const { return picked_; }
  OneLineEdit* Filter() const { return filter_; }
  QTableView* List() const { return list_; }

 private:
  void Find(const QString& text);
  void Pick();

  ListModel* model_;
  OneLineEdit* filter_;
  QTableView* list_;
  QLabel* note_;
  std::optional<std::string> picked_;
};

}  // namespace nv407::host
