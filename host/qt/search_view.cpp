#include "host/qt/search_view.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QToolTip>
#include <QVBoxLayout>

#include "host/qt/one_line_edit.h"

namespace nv407::host {
namespace {

class RowKeys final : public QObject {
 public:
  RowKeys(QLineEdit& text, QTableView& list) : QObject(&text), list_(list) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp ||
          key == Qt::Key_PageDown) {
        QCoreApplication::sendEvent(&list_, event);
        return true;
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  QTableView& list_;
};

// A cell whose text its column cuts shows the whole text as its tooltip; one that shows
// it whole has none.
class WholeTextTips final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                 const QModelIndex& index) override {
    if (event == nullptr || view == nullptr || event->type() != QEvent::ToolTip)
      return QStyledItemDelegate::helpEvent(event, view, option, index);
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    if (!Cut(cell, *view)) {
      QToolTip::hideText();
      event->ignore();
      return false;
    }
    QToolTip::showText(event->globalPos(), cell.text, view->viewport(), option.rect);
    return true;
  }

 private:
  // As the style lays the text out: its rectangle, less the margin on either side.
  static bool Cut(const QStyleOptionViewItem& cell, const QAbstractItemView& view) {
    const QStyle* style = view.style();
    const QRect room = style->subElementRect(QStyle::SE_ItemViewItemText, &cell, &view);
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &view) + 1;
    return cell.fontMetrics.horizontalAdvance(cell.text) > room.width() - 2 * margin;
  }
};

}  // namespace

OneLineEdit* MakeSearchText(const QString& text, const QString& hint, QWidget* parent) {
  auto* line = new OneLineEdit(text, parent);
  line->setObjectName("filter");
  line->setPlaceholderText(hint);
  line->setClearButtonEnabled(true);
  return line;
}

QTableView* MakeSearchList(QAbstractItemModel* model, QWidget* parent) {
  auto* list = new QTableView(parent);
  list->setObjectName("rows");
  list->setModel(model);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // Tab leaves the list for the buttons; moving through it cell by cell changed the row
  // that Enter picks. Up and Down move through the rows.
  list->setTabKeyNavigation(false);
  list->setAlternatingRowColors(true);
  list->setShowGrid(false);
  list->verticalHeader()->hide();
  list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 6);
  list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  list->setItemDelegate(new WholeTextTips(list));
  return list;
}

QDialogButtonBox* MakeSearchButtons(const QString& accept, QWidget* parent) {
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, parent);
  buttons->button(QDialogButtonBox::Ok)->setText(accept);
  buttons->button(QDialogButtonBox::Cancel)->setText("&Cancelar");
  return buttons;
}

void LayOutSearch(QDialog& dialog, QLineEdit* text, QLayout* between, QTableView* list,
                  QLabel* note, QDialogButtonBox* buttons) {
  auto* prompt = new QLabel("&Buscar:", &dialog);
  prompt->setBuddy(text);
  note->setObjectName("note");
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(prompt);
  layout->addWidget(text);
  if (between != nullptr) layout->addLayout(between);
  layout->addWidget(list);
  layout->addWidget(note);
  layout->addWidget(buttons);
}

void MoveThroughRowsFrom(QLineEdit& text, QTableView& list) {
  text.installEventFilter(new RowKeys(text, list));
}

}  // namespace nv407::host
