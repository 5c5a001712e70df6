#pragma once

#include <QDialog>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "component/date.h"
#include "host/lists/policy_list.h"
#include "host/qt/one_line_edit.h"

class QAbstractButton;
class QButtonGroup;
class QKeyEvent;
class QLabel;
class QSpinBox;
class QTableView;

namespace nv407::host {

class ListModel;

// The policy finder (F2 on the folio field): policies by folio, client key or name, read
// as the user types a page at a time, with quick filters (in force, about to end within a
// number of days, expired, nearly used up, cancelled) and an order chosen by clicking a
// column's header. Up and Down move through the rows while typing; Enter (in the text or
// the list), Aceptar or a double click pick the current policy; Esc or Cancelar leave.
// Enter in the days box lists what ends within them, and on a quick filter presses it.
class PolicyFinder final : public QDialog {
  Q_OBJECT

 public:
  PolicyFinder(Database& database, const Date& today, const QString& text, QWidget* parent);
  // The folio of the picked row, once the dialog was accepted.
  std::optional<std::string> Picked() const { return picked_; }
  // As clicking the quick filter's button.
  void Choose(PolicyFilter filter);
  QAbstractButton* FilterButton(PolicyFilter filter) const { return buttons_.at(filter); }
  QSpinBox* Days() const { return days_; }
  OneLineEdit* Filter() const { return filter_; }
  QTableView* List() const { return list_; }
  const ListModel& Model() const { return *model_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Find(const QString& text);
  // The list again for the quick filter and days chosen, in another order if given.
  void Reselect(std::optional<ListOrder> order = std::nullopt);
  void Read(const std::function<void()>& step);
  void Pick();

  Database& database_;
  Date today_;
  PolicySelection selection_;
  ListModel* model_;
  OneLineEdit* filter_;
  QButtonGroup* group_;
  std::map<PolicyFilter, QAbstractButton*> buttons_;
  QSpinBox* days_;
  QTableView* list_;
  QLabel* note_;
  std::optional<std::string> picked_;
};

}  // namespace nv407::host
