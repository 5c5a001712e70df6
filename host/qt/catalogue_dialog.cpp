#include "host/qt/catalogue_dialog.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "host/qt/look.h"

namespace nv407::host {

CatalogueDialog::CatalogueDialog(const std::string& title, std::vector<CatalogueRow> rows,
                                 QWidget* parent)
    : QDialog(parent), rows_(std::move(rows)) {
  setObjectName("CatalogueDialog");
  setWindowTitle(QString("Buscar: %1").arg(ToQString(title)));
  filter_ = new QLineEdit(this);
  filter_->setObjectName("filter");
  filter_->setPlaceholderText("Clave o descripción");
  list_ = new QTreeWidget(this);
  list_->setObjectName("rows");
  list_->setRootIsDecorated(false);
  list_->setHeaderLabels({"Clave", "Descripción"});
  list_->header()->setStretchLastSection(true);
  for (const CatalogueRow& row : rows_)
    list_->addTopLevelItem(new QTreeWidgetItem({ToQString(row.key), ToQString(row.description)}));
  list_->resizeColumnToContents(0);
  if (list_->topLevelItemCount() > 0) list_->setCurrentItem(list_->topLevelItem(0));

  auto* layout = new QVBoxLayout(this);
  auto* prompt = new QLabel("&Buscar:", this);
  prompt->setBuddy(filter_);
  layout->addWidget(prompt);
  layout->addWidget(filter_);
  layout->addWidget(list_);
  resize(460, 320);

  connect(filter_, &QLineEdit::textChanged, this, &CatalogueDialog::Narrow);
  connect(list_, &QTreeWidget::itemActivated, this, [this] { Pick(); });
  filter_->installEventFilter(this);
  list_->installEventFilter(this);
  filter_->setFocus();
}

bool CatalogueDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      Pick();
      return true;
    }
    // Up and Down move through the rows while the user keeps typing.
    if (watched == filter_ && (key == Qt::Key_Down || key == Qt::Key_Up)) {
      QTreeWidgetItem* current = list_->currentItem();
      QTreeWidgetItem* next = current == nullptr    ? nullptr
                              : key == Qt::Key_Down ? list_->itemBelow(current)
                                                    : list_->itemAbove(current);
      if (next != nullptr) list_->setCurrentItem(next);
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void CatalogueDialog::Narrow(const QString& text) {
  QTreeWidgetItem* first_shown = nullptr;
  for (int i = 0; i < list_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = list_->topLevelItem(i);
    const bool shown = text.isEmpty() || item->text(0).contains(text, Qt::CaseInsensitive) ||
                       item->text(1).contains(text, Qt::CaseInsensitive);
    item->setHidden(!shown);
    if (shown && first_shown == nullptr) first_shown = item;
  }
  QTreeWidgetItem* current = list_->currentItem();
  if (current == nullptr || current->isHidden()) list_->setCurrentItem(first_shown);
}

void CatalogueDialog::Pick() {
  QTreeWidgetItem* current = list_->currentItem();
  if (current == nullptr || current->isHidden()) return;
  picked_ = ToStdString(current->text(0));
  accept();
}

}  // namespace nv407::host
