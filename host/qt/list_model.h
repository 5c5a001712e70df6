#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/lists/catalogue_search.h"

namespace nv407::host {

// The rows of a list source that the user's text finds, for a QTableView: the first page
// is read when the text changes, the next ones as the view scrolls to them (fetchMore),
// so the model never holds more than the user has scrolled through.
class ListModel final : public QAbstractTableModel {
  Q_OBJECT

 public:
  // What a cell shows for a role other than the plain text (alignment, colour), or its
  // text in another form; an invalid QVariant leaves the role to the model.
  using Look = std::function<QVariant(const FoundRow& row, int column, int role)>;

  // One header for the key, then one per shown column.
  ListModel(Database& database, ListSource source, QStringList headers, QObject* parent);

  // Reads the first page of what `text` finds; a text typed on from one whose rows were all
  // read looks among those alone. Raises what the database raises, with the rows left as
  // they were.
  void Find(const QString& text);
  // A list of other rows (new conditions), in another order if given, or the same rows in
  // another order: the first page again.
  void SetSource(ListSource source, std::optional<ListOrder> order = std::nullopt);
  void SetOrder(ListOrder order);
  ListOrder Order() const { return order_; }
  void SetLook(Look look) { look_ = std::move(look); }
  const FoundRow& Row(int row) const { return rows_.at(static_cast<std::size_t>(row)); }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  bool canFetchMore(const QModelIndex& parent) const override;
  // A page that cannot be read ends the list there and says so through Failed.
  void fetchMore(const QModelIndex& parent) override;
  // A click on a column's header: that column's order, read from the first page; a failure
  // says so through Failed and keeps the rows.
  void sort(int column, Qt::SortOrder order) override;

 signals:
  void Failed(const QString& reason);

 private:
  void Reread();

  Database& database_;
  ListSource source_;
  QStringList headers_;
  ListOrder order_;
  Look look_;
  std::string text_;
  std::vector<FoundRow> rows_;
  // Where the last row read stood as it was read: the next page reads on from there.
  std::optional<PagePlace> last_;
  bool read_ = false;  // the rows are the first pages of what text_ finds, none failed
  bool more_ = false;  // the last page read was full
};

}  // namespace nv407::host
