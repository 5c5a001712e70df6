#include "host/qt/policy_finder.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

#include "host/qt/list_model.h"
#include "host/qt/look.h"
#include "host/qt/search_view.h"

namespace nv407::host {
namespace {

struct FilterCaption {
  PolicyFilter filter;
  const char* caption;
};
constexpr FilterCaption kFilterCaptions[] = {
    {PolicyFilter::kAll, "&Todas"},
    {PolicyFilter::kInForce, "Vi&gentes"},
    {PolicyFilter::kExpiring, "Por &vencer en"},
    {PolicyFilter::kExpired, "V&encidas"},
    {PolicyFilter::kNearlyUsedUp, "Casi &agotadas"},
    {PolicyFilter::kCancelled, "Ca&nceladas"},
};

const QStringList kHeaders = {"Folio",  "Cliente", "Nombre", "Sucursal", "Tipo",
                              "Inicio", "Fin",     "Estado", "Uso"};

// What follows the number in the days box: "1 día", "30 días".
QString DaysSuffix(int days) {
  return days == 1 ? " día" : " días";
}

// Dates and the usage as the finder writes them; the usage and the states in their colours.
QVariant Look(const FoundRow& row, int column, int role) {
  if (role == Qt::DisplayRole) return ToQString(ShownPolicyRow(row).at(column));
  if (role == Qt::TextAlignmentRole && column == kPolicyUsage)
    return QVariant(Qt::AlignRight | Qt::AlignVCenter);
  if (role != Qt::ForegroundRole) return {};
  if (column == kPolicyUsage) {
    const std::optional<double> share = UsageShare(row);
    if (share) return QColor(GradeColour(UsageGrade(*share, 1)));
  }
  if (column == kPolicyState && row.at(kPolicyState) != kInForceWord)
    return QColor(GradeColour(Grade::kAlarm));
  return {};
}

}  // namespace

PolicyFinder::PolicyFinder(Database& database, const Date& today, const QString& text,
                           QWidget* parent)
    : QDialog(parent), database_(database), today_(today.DateOnly()) {
  setObjectName("PolicyFinder");
  setWindowTitle("Buscar póliza");
  model_ = new ListModel(database_, PolicyList(database_, today_, selection_), kHeaders, this);
  model_->SetLook(&Look);
  filter_ = MakeSearchText(text, "Folio, clave o nombre del cliente", this);

  group_ = new QButtonGroup(this);
  group_->setExclusive(true);
  auto* filters = new QHBoxLayout;
  for (const FilterCaption& entry : kFilterCaptions) {
    auto* button = new QToolButton(this);
    button->setText(entry.caption);
    button->setCheckable(true);
    button->setAutoRaise(false);
    button->setChecked(entry.filter == selection_.filter);
    group_->addButton(button, static_cast<int>(entry.filter));
    buttons_[entry.filter] = button;
    filters->addWidget(button);
    if (entry.filter == PolicyFilter::kExpiring) {
      days_ = new QSpinBox(this);
      days_->setObjectName("days");
      days_->setRange(kFewestExpiringDays, kMostExpiringDays);
      days_->setValue(selection_.days);
      days_->setSuffix(DaysSuffix(selection_.days));
      filters->addWidget(days_);
    }
  }
  filters->addStretch();

  list_ = MakeSearchList(model_, this);
  list_->horizontalHeader()->setSectionResizeMode(kPolicyClientName, QHeaderView::Stretch);
  // Every column but the name as wide as what it holds at most; the name takes the rest.
  const QFontMetrics metrics = list_->fontMetrics();
  const char* widest[] = {"CDMX-000000", "C000000",    "",          "Sucursal", "SOPANUAL",
                          "00/00/0000",  "00/00/0000", "Cancelada", "100 %"};
  for (int column = 0; column < kHeaders.size(); ++column) {
    if (column == kPolicyClientName) continue;
    const int text = std::max(metrics.horizontalAdvance(widest[column]),
                              metrics.horizontalAdvance(kHeaders[column]));
    list_->setColumnWidth(column, text + 24);  // room for the sort arrow
  }
  // The header shows the order; a click on it sorts by that column (ListModel::sort).
  list_->horizontalHeader()->setSortIndicator(0, Qt::AscendingOrder);
  list_->setSortingEnabled(true);
  note_ = new QLabel(this);
  note_->setTextFormat(Qt::PlainText);  // a database's message is no markup
  // Alt+A is Casi agotadas here.
  QDialogButtonBox* buttons = MakeSearchButtons("Ace&ptar", this);
  LayOutSearch(*this, filter_, filters, list_, note_, buttons);
  resize(840, 460);

  connect(filter_, &OneLineEdit::TextHeld, this, &PolicyFinder::Find);
  connect(group_, &QButtonGroup::idClicked, this,
          [this](int id) { Choose(static_cast<PolicyFilter>(id)); });
  connect(days_, &QSpinBox::valueChanged, this, [this](int days) {
    days_->setSuffix(DaysSuffix(days));
    selection_.days = days;
    if (selection_.filter == PolicyFilter::kExpiring) Reselect();
  });
  connect(model_, &ListModel::Failed, note_, &QLabel::setText);
  // Whatever made the list afresh (the text, a filter, an order), its first row is current.
  connect(model_, &QAbstractItemModel::modelReset, this, [this] {
    if (model_->rowCount() > 0) list_->selectRow(0);
  });
  connect(list_, &QTableView::doubleClicked, this, [this] { Pick(); });
  connect(buttons, &QDialogButtonBox::accepted, this, &PolicyFinder::Pick);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  MoveThroughRowsFrom(*filter_, *list_);
  Find(text);
  filter_->setFocus();
}

void PolicyFinder::Choose(PolicyFilter filter) {
  buttons_.at(filter)->setChecked(true);
  selection_.filter = filter;
  // What is about to end is read soonest first, through the end date's index.
  std::optional<ListOrder> order;
  if (filter == PolicyFilter::kExpiring && model_->Order() == ListOrder{}) {
    order = ListOrder{kPolicyEnd, false};
    const QSignalBlocker quiet(list_->horizontalHeader());
    list_->horizontalHeader()->setSortIndicator(kPolicyEnd, Qt::AscendingOrder);
  }
  Reselect(order);
}

// The days box and the filters' buttons leave Enter to the dialog, whose default button
// would pick a row the user never chose.
void PolicyFinder::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  QWidget* focused = focusWidget();
  if (enter && focused == days_) {
    // The box took the typed number already; Enter asks for the list by it.
    if (selection_.filter != PolicyFilter::kExpiring) Choose(PolicyFilter::kExpiring);
    return;
  }
  auto* button = qobject_cast<QAbstractButton*>(focused);
  if (enter && button != nullptr && group_->buttons().contains(button)) {
    button->click();
    return;
  }
  QDialog::keyPressEvent(event);
}

void PolicyFinder::Reselect(std::optional<ListOrder> order) {
  Read([this, order] { model_->SetSource(PolicyList(database_, today_, selection_), order); });
}

void PolicyFinder::Find(const QString& text) {
  Read([this, &text] { model_->Find(text); });
}

// A read of the list, with a busy cursor while it lasts and a note on what it found.
void PolicyFinder::Read(const std::function<void()>& step) {
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  try {
    step();
    note_->setText(model_->rowCount() == 0 ? "Ninguna póliza coincide" : QString());
  } catch (const std::exception& failure) {
    note_->setText("No se pudo buscar: " + QString::fromUtf8(failure.what()));
  }
  QGuiApplication::restoreOverrideCursor();
}

void PolicyFinder::Pick() {
  const QModelIndex current = list_->currentIndex();
  if (!current.isValid()) return;
  picked_ = model_->Row(current.row()).front();
  accept();
}

}  // namespace nv407::host
