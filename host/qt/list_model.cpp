#include "host/qt/list_model.h"

#include <exception>

#include "host/qt/look.h"

namespace nv407::host {

ListModel::ListModel(Database& database, ListSource source, QStringList headers, QObject* parent)
    : QAbstractTableModel(parent),
      database_(database),
      source_(std::move(source)),
      headers_(std::move(headers)) {}

void ListModel::Find(const QString& text) {
  PageQuery query{ToStdString(text), std::nullopt, std::nullopt, kPageRows, order_};
  // Typed on from a text whose rows were all read: the rows are among those, each found by
  // its key, instead of in the whole list.
  if (read_ && !more_ && FindsWithin(source_, query.text, text_)) {
    query.among.emplace();
    for (const FoundRow& row : rows_) query.among->push_back(row.front());
  }
  NextPage page = ReadNextPage(database_, source_, query);
  beginResetModel();
  read_ = true;
  text_ = query.text;
  more_ = page.more;
  rows_ = std::move(page.rows);
  last_ = std::move(page.last);
  endResetModel();
}

void ListModel::SetSource(ListSource source, std::optional<ListOrder> order) {
  source_ = std::move(source);
  if (order) order_ = *order;
  Reread();
}

void ListModel::SetOrder(ListOrder order) {
  order_ = order;
  Reread();
}

// The first page of the current text again, not among the rows read before.
void ListModel::Reread() {
  read_ = false;
  Find(ToQString(text_));
}

void ListModel::sort(int column, Qt::SortOrder order) {
  const ListOrder before = order_;
  try {
    SetOrder({column, order == Qt::DescendingOrder});
  } catch (const std::exception& failure) {
    order_ = before;
    emit Failed(QString::fromUtf8(failure.what()));
  }
}

int ListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(source_.columns.size() + 1);
}

QVariant ListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const FoundRow& row = Row(index.row());
  if (look_) {
    QVariant looked = look_(row, index.column(), role);
    if (looked.isValid()) return looked;
  }
  if (role != Qt::DisplayRole) return {};
  return ToQString(row.at(static_cast<std::size_t>(index.column())));
}

QVariant ListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section >= headers_.size())
    return {};
  return headers_[section];
}

bool ListModel::canFetchMore(const QModelIndex& parent) const {
  return !parent.isValid() && more_;
}

void ListModel::fetchMore(const QModelIndex& parent) {
  if (!canFetchMore(parent)) return;
  NextPage page;
  try {
    page = ReadNextPage(database_, source_, {text_, last_, std::nullopt, kPageRows, order_});
  } catch (const std::exception& failure) {
    // The list ends here, short of what the text finds: text typed on is not looked for
    // among these rows alone.
    more_ = false;
    read_ = false;
    emit Failed(QString::fromUtf8(failure.what()));
    return;
  }
  more_ = page.more;
  if (page.rows.empty()) return;
  last_ = std::move(page.last);
  const int first = rowCount();
  beginInsertRows({}, first, first + static_cast<int>(page.rows.size()) - 1);
  for (FoundRow& row : page.rows) rows_.push_back(std::move(row));
  endInsertRows();
}

}  // namespace nv407::host
