#include "host/qt/catalogue_dialog.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <exception>

#include "host/qt/list_model.h"
#include "host/qt/look.h"

namespace nv407::host {

CatalogueDialog::CatalogueDialog(const QString& title, Database& database, ListSource catalogue,
                                 const QString& text, QWidget* parent)
    : QDialog(parent) {
  setObjectName("CatalogueDialog");
  setWindowTitle(title);
  model_ = new ListModel(database, std::move(catalogue), {"Clave", "Descripción"}, this);
  filter_ = new QLineEdit(text, this);
  filter_->setObjectName("filter");
  filter_->setPlaceholderText("Clave o parte de la descripción");
  filter_->setClearButtonEnabled(true);
  list_ = new QTableView(this);
  list_->setObjectName("rows");
  list_->setModel(model_);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setAlternatingRowColors(true);
  list_->setShowGrid(false);
  list_->verticalHeader()->hide();
  list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 6);
  list_->horizontalHeader()->setStretchLastSection(true);
  list_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  list_->setColumnWidth(0, list_->fontMetrics().horizontalAdvance("MMMMMMMMMM"));
  note_ = new QLabel(this);
  note_->setObjectName("note");

  auto* prompt = new QLabel("&Buscar:", this);
  prompt->setBuddy(filter_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText("Aceptar");
  buttons->button(QDialogButtonBox::Cancel)->setText("Cancelar");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(prompt);
  layout->addWidget(filter_);
  layout->addWidget(list_);
  layout->addWidget(note_);
  layout->addWidget(buttons);
  resize(520, 380);

  connect(filter_, &QLineEdit::textChanged, this, &CatalogueDialog::Find);
  connect(model_, &ListModel::Failed, note_, &QLabel::setText);
  connect(list_, &QTableView::doubleClicked, this, [this] { Pick(); });
  connect(buttons, &QDialogButtonBox::accepted, this, &CatalogueDialog::Pick);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  filter_->installEventFilter(this);
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

bool CatalogueDialog::eventFilter(QObject* watched, QEvent* event) {
  // Up, Down and the page keys move through the rows while the user keeps typing.
  if (watched == filter_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp ||
        key == Qt::Key_PageDown) {
      QCoreApplication::sendEvent(list_, event);
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void CatalogueDialog::Pick() {
  const QModelIndex current = list_->currentIndex();
  if (!current.isValid()) return;
  picked_ = model_->Row(current.row()).front();
  accept();
}

}  // namespace nv407::host
