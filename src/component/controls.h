#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "component/control_layout.h"
#include "component/variant.h"

namespace nv407 {

class Form;
using Handler = std::function<void()>;

// Every control keeps the layout row it was made from; its run-time state is its own.
class Control {
 public:
  virtual ~Control() = default;
  virtual const ControlLayout& Layout() const = 0;
  const std::string& Name() const { return Layout().name; }
  ControlKind Kind() const { return Layout().kind; }
  virtual bool Enabled() const = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual void SetFocus() = 0;
};

// A text box; with `esclave` and a `sql` setting it is a key field that looks its
// value up when the user changes it.
class TextBox : public Control {
 public:
  virtual const std::string& Text() const = 0;
  // Writing from code fills the result control as a typed key does and raises nothing.
  virtual void SetText(const std::string& text) = 0;
  virtual Variant Formato() const = 0;
  virtual void SetFormato(const Variant& format) = 0;
  virtual void Refresh() = 0;

  void OnLookupDone(Handler h) { lookup_done_ = std::move(h); }
  void OnLookupReset(Handler h) { lookup_reset_ = std::move(h); }
  // The first notification of the field's list: the user confirmed an accepted value again.
  void OnLookupRepeated(Handler h) { lookup_repeated_ = std::move(h); }

 protected:
  void RaiseLookupDone() {
    if (lookup_done_) lookup_done_();
  }
  void RaiseLookupReset() {
    if (lookup_reset_) lookup_reset_();
  }
  void RaiseLookupRepeated() {
    if (lookup_repeated_) lookup_repeated_();
  }

 private:
  Handler lookup_done_, lookup_reset_, lookup_repeated_;
};

class DateField : public Control {
 public:
  virtual Variant Value() const = 0;  // a Date, or Empty when the field was cleared
  virtual void SetValue(const Variant& value) = 0;
};

class ComboBox : public Control {
 public:
  virtual void Clear() = 0;
  virtual void AddItem(const std::string& text, const Variant& value) = 0;
  virtual std::string Text() const = 0;  // the chosen item's text, "" when none is chosen
  virtual Variant SelectedValue() const = 0;
  // Chooses the item whose value equals the given one (compared as text); none when no item does.
  virtual void SetSelectedValue(const Variant& value) = 0;
  virtual int ItemCount() const = 0;
  virtual std::string ItemText(int index) const = 0;  // 0-based
};

class FlatButton : public Control {
 public:
  void OnClick(Handler h) { click_ = std::move(h); }

 protected:
  void RaiseClick() {
    if (click_) click_();
  }

 private:
  Handler click_;
};

class Label : public Control {};

class ColorScheme : public Control {
 public:
  virtual void Apply() = 0;
};

enum class ToolbarFlag { kLoaded, kActive1, kActive2, kExtra1, kExtra2 };

struct ToolbarEvents {
  Handler Nuevo, Modificar, Consultar, Baja, Cancelar, Salir;
  std::function<void(std::int16_t&)> Aceptar;  // 0: the save replaces the policy shown
};

class Toolbar : public Control {
 public:
  virtual bool Ready() const = 0;
  virtual void SetReady(bool ready) = 0;
  virtual bool Busy() const = 0;
  virtual bool Flag(ToolbarFlag flag) const = 0;
  virtual void SetFlag(ToolbarFlag flag, bool value) = 0;
  virtual void StartNew() = 0;
  virtual void StartEdit() = 0;
  virtual void AcceptSucceeded() = 0;
  virtual void AcceptFailed() = 0;
  virtual bool SaveAdditionalFields(const std::string& folio) = 0;
  virtual void LoadAdditionalFields(const std::string& folio) = 0;

  void SetEvents(ToolbarEvents events) { events_ = std::move(events); }

 protected:
  const ToolbarEvents& Events() const { return events_; }

 private:
  ToolbarEvents events_;
};

class ListItems;

class ListItem {
 public:
  ListItem(ListItems* owner, std::string key, std::string text)
      : owner_(owner), key_(std::move(key)), text_(std::move(text)) {}
  const std::string& Key() const { return key_; }
  const std::string& Text() const { return text_; }
  // Sub-items 1 to 4 (or as many columns as the list has); an unset one reads "".
  std::string SubItem(int index) const;
  void SetSubItem(int index, std::string text);
  const std::vector<std::string>& SubItems() const { return sub_items_; }

 private:
  ListItems* owner_;
  std::string key_, text_;
  std::vector<std::string> sub_items_;
};

// The rows of a list view. Keys are unique; a missing key or index raises an Error.
class ListItems {
 public:
  void Clear();
  ListItem& Add(std::string key, std::string text);
  int Count() const { return static_cast<int>(items_.size()); }
  ListItem& Item(const std::string& key);
  ListItem& Item(int index);  // 1-based, as the list view numbers its rows
  const std::vector<ListItem>& All() const { return items_; }
  // Called after every change, so that a view can redraw.
  void OnChange(Handler h) { changed_ = std::move(h); }

 private:
  friend class ListItem;
  void Changed() {
    if (changed_) changed_();
  }
  std::vector<ListItem> items_;
  Handler changed_;
};

class ListView : public Control {
 public:
  virtual ListItems& Items() = 0;
  // Widens the columns to their contents when the host's list formatter asks; a control set
  // that cannot size its columns leaves them as they are.
  virtual void FitColumns() {}
};

// The control set of a host: it makes each control of a form from its layout row.
class ControlFactory {
 public:
  virtual ~ControlFactory() = default;
  virtual std::unique_ptr<TextBox> CreateTextBox(const ControlLayout& layout, Form& owner) = 0;
  virtual std::unique_ptr<DateField> CreateDateField(const ControlLayout& layout, Form& owner) = 0;
  virtual std::unique_ptr<ComboBox> CreateComboBox(const ControlLayout& layout, Form& owner) = 0;
  virtual std::unique_ptr<FlatButton> CreateFlatButton(const ControlLayout& layout,
                                                       Form& owner) = 0;
  virtual std::unique_ptr<Label> CreateLabel(const ControlLayout& layout, Form& owner) = 0;
  virtual std::unique_ptr<Toolbar> CreateToolbar(const ControlLayout& layout, Form& owner) = 0;
  virtual std::unique_ptr<ListView> CreateListView(const ControlLayout& layout, Form& owner) = 0;
  virtual std::unique_ptr<ColorScheme> CreateColorScheme(const ControlLayout& layout,
                                                         Form& owner) = 0;
};

}  // namespace nv407
