#include "host/qt/catalogue_dialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QVBoxLayout>
#include <exception>

#include "host/qt/list_model.h"
#include "host/qt/look.h"
#include "host/qt/search_view.h"

namespace nv407::host {

CatalogueDialog::CatalogueDialog(const QString& title, Database& database, ListSource catalogue,
                                 const QString& text, QWidget* parent)
    : QDialog(parent) {
  setObjectName("CatalogueDialog");
  setWindowTitle(title);
  model_ = new ListModel(database, std::move(catalogue), {"Clave", "Descripción"}, this);
  filter_ = MakeSearchText(text, "Clave o parte de la descripción", this);
  list_ = MakeSearchList(model_, this);
  list_->horizontalHeader()->setStretchLastSection(true);
  list_->setColumnWidth(0, list_->fontMetrics().horizontalAdvance("MMMMMMMMMM"));
  note_ = new QLabel(this);
  note_->setTextFormat(Qt::PlainText);  // a database's message is no markup
  QDialogButtonBox* buttons = MakeSearchButtons("&Aceptar", this);
  LayOutSearch(*this, filter_, nullptr, list_, note_, buttons);
  resize(520, 380);

  connect(filter_, &OneLineEdit::TextHeld, this, &CatalogueDialog::Find);
  connect(model_, &ListModel::Failed, note_, &QLabel::setText);
  connect(list_, &QTableView::doubleClicked, this, [this] { Pick(); });
  connect(buttons, &QDialogButtonBox::accepted, this, &CatalogueDialog::Pick);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  MoveThroughRowsFrom(*filter_, *list_);
  Find(text);
  filter_->setFocus();
}

void CatalogueDialog::Find(const QString& text) {
  try {
    model_->Find(text);
    note_->setText(model_->rowCount() == 0 ? "Nada coincide con lo escrito" : QString());
  } catch (const std::exception& failure) {
    note_->setText("No se pudo buscar: " + QString::fromUtf8(failure.what()));
  }
  if (model_->rowCount() > 0) list_->selectRow(0);
}

void CatalogueDialog::Pick() {
  const QModelIndex current = list_->currentIndex();
  if (!current.isValid()) return;
  picked_ = model_->Row(current.row()).front();
  accept();
}

}  // namespace nv407::host
