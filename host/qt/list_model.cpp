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
  PageQuery query{ToStdString(text), std::nullopt, std::nullopt, kPageRows};
  // Typed on from a text whose rows were all read: the rows are among those, each found by
  // its key, instead of in the whole list.
  if (read_ && !more_ && FindsWithin(query.text, text_)) {
    query.among.emplace();
    for (const FoundRow& row : rows_) query.among->push_back(row.front());
  }
  std::vector<FoundRow> page = ReadPage(database_, source_, query);
  beginResetModel();
  read_ = true;
  text_ = query.text;
  more_ = static_cast<int>(page.size()) == kPageRows;
  rows_ = std::move(page);
  endResetModel();
}

int ListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(source_.columns.size() + 1);
}

QVariant ListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || role != Qt::DisplayRole) return {};
  return ToQString(Row(index.row()).at(static_cast<std::size_t>(index.column())));
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
  std::vector<FoundRow> page;
  try {
    page = ReadPage(database_, source_, {text_, rows_.back().front(), std::nullopt, kPageRows});
  } catch (const std::exception& failure) {
    more_ = false;
    emit Failed(QString::fromUtf8(failure.what()));
    return;
  }
  more_ = static_cast<int>(page.size()) == kPageRows;
  if (page.empty()) return;
  const int first = rowCount();
  beginInsertRows({}, first, first + static_cast<int>(page.size()) - 1);
  for (FoundRow& row : page) rows_.push_back(std::move(row));
  endInsertRows();
}

}  // namespace nv407::host
