#include <algorithm>
#include <string>
#include <utility>

#include "component/controls.h"
#include "component/error.h"

namespace nv407 {

std::string ListItem::SubItem(int index) const {
  if (index < 1) throw Error("Invalid property value");
  return static_cast<std::size_t>(index) <= sub_items_.size() ? sub_items_[index - 1]
                                                              : std::string();
}

void ListItem::SetSubItem(int index, std::string text) {
  if (index < 1) throw Error("Invalid property value");
  const auto needed = static_cast<std::size_t>(index);
  if (sub_items_.size() < needed) {
    // Rows are filled column by column: room for the usual four at once.
    sub_items_.reserve(std::max<std::size_t>(needed, 4));
    sub_items_.resize(needed);
  }
  sub_items_[index - 1] = std::move(text);
  owner_->Changed();
}

void ListItems::Clear() {
  items_.clear();
  Changed();
}

ListItem& ListItems::Add(std::string key, std::string text) {
  for (const ListItem& item : items_)
    if (!key.empty() && item.Key() == key) throw Error("Key is not unique in collection");
  items_.emplace_back(this, std::move(key), std::move(text));
  Changed();
  return items_.back();
}

ListItem& ListItems::Item(const std::string& key) {
  for (ListItem& item : items_)
    if (item.Key() == key) return item;
  throw Error("Element not found");
}

ListItem& ListItems::Item(int index) {
  if (index < 1 || index > Count()) throw Error("Index out of bounds");
  return items_[index - 1];
}

}  // namespace nv407
