#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "component/host_services.h"
#include "host/qt/control_widgets.h"
#include "host/qt/label_keys.h"
#include "host/qt/look.h"
#include "host/qt/questions.h"
#include "host/qt/widget_support.h"

namespace nv407::host {
namespace {

Qt::Alignment ToQtAlignment(Alignment alignment) {
  switch (alignment) {
    case Alignment::kLeft:
      return Qt::AlignLeft | Qt::AlignVCenter;
    case Alignment::kRight:
      return Qt::AlignRight | Qt::AlignVCenter;
    case Alignment::kCentre:
      return Qt::AlignCenter;
  }
  return Qt::AlignLeft | Qt::AlignVCenter;
}

constexpr int kHeaderPadding = 4;  // pixels either side of a list header's text

Qt::Alignment LabelAlignment(int alignment) {
  if (alignment == 1) return Qt::AlignRight | Qt::AlignVCenter;
  if (alignment == 2) return Qt::AlignCenter;
  return Qt::AlignLeft | Qt::AlignVCenter;
}

struct CommandLook {
  ToolbarCommand command;
  const char* text;  // & marks the Alt key's letter
  QStyle::StandardPixmap icon;
};
constexpr CommandLook kCommandLooks[] = {
    {ToolbarCommand::kNuevo, "&Nuevo", QStyle::SP_FileIcon},
    {ToolbarCommand::kModificar, "&Modificar", QStyle::SP_FileDialogContentsView},
    {ToolbarCommand::kConsultar, "C&onsultar", QStyle::SP_FileDialogInfoView},
    {ToolbarCommand::kBaja, "&Baja", QStyle::SP_TrashIcon},
    {ToolbarCommand::kAceptar, "&Aceptar", QStyle::SP_DialogApplyButton},
    {ToolbarCommand::kCancelar, "&Cancelar", QStyle::SP_DialogCancelButton},
    {ToolbarCommand::kSalir, "&Salir", QStyle::SP_DialogCloseButton}};

}  // namespace

QtFlatButton::QtFlatButton(HeadlessFlatButton& control, ScreenCanvas& canvas)
    : QPushButton(ToQString(control.Caption()), &canvas), control_(control), canvas_(canvas) {
  setAutoDefault(false);
  setFlat(true);
  connect(this, &QPushButton::clicked, this, &QtFlatButton::Pressed);
  FollowControl(control_, this);
}

void QtFlatButton::Sync() {
  setEnabled(control_.Enabled());
}

void QtFlatButton::ApplyLook(const ControlLayout&) {
  const Look& look = control_.Layout().look;
  if (look.font) setFont(FittingFont(ToQFont(*look.font), text(), width() - 8));
  const QPalette colours = palette();
  auto name = [&](const std::optional<Colour>& colour, const char* fallback) {
    return colour ? ColourName(*colour, colours) : QString(fallback);
  };
  setStyleSheet(QString("QPushButton { color: %1; background-color: %2; border: 1px solid %3; }"
                        "QPushButton:focus { border: 2px solid %4; }"
                        "QPushButton:pressed { background-color: %4; }"
                        "QPushButton:disabled { color: #7d8b96; background-color: #d3dbe1;"
                        " border: 1px solid #c2ccd4; }")
                    .arg(name(look.fore, "#ffffff"), name(look.back, "#00538a"),
                         name(look.border, "#00538a"), name(look.focus_border, "#1f1f1f")));
}

void QtFlatButton::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    click();
    return;
  }
  QPushButton::keyPressEvent(event);
}

void QtFlatButton::focusInEvent(QFocusEvent* event) {
  QPushButton::focusInEvent(event);
  canvas_.WidgetFocused(*this);
}

bool QtFlatButton::focusNextPrevChild(bool next) {
  return canvas_.KeyboardMove(*this, next);
}

void QtFlatButton::Pressed() {
  canvas_.Run([this] {
    // What was typed may have changed the screen so that the button no longer applies, or
    // the record it acts on.
    const bool handed = ActsOnLiveRecord(control_.Layout())
                            ? canvas_.CommitPendingEditsOnShownRecord()
                            : canvas_.CommitPendingEdits();
    if (handed && control_.Enabled()) control_.UserClick();
  });
}

QtLabel::QtLabel(HeadlessLabel& control, ScreenCanvas& canvas)
    : QLabel(ToQString(control.Caption()), &canvas), control_(control) {
  setFocusPolicy(Qt::NoFocus);
  setContentsMargins(2, 0, 4, 0);
  FollowControl(control_, this);
}

void QtLabel::Sync() {
  setEnabled(control_.Enabled());
}

void QtLabel::Link(QWidget& field, QChar key) {
  if (key.isNull()) return;
  setText(WithKey(ToQString(control_.Caption()), key));
  setBuddy(&field);
}

void QtLabel::ApplyLook(const ControlLayout& scheme) {
  const Look& look = control_.Layout().look;
  QFont font = look.font ? ToQFont(*look.font) : QApplication::font();
  // Never clipped: where the design font is missing, its stand-in shrinks to fit.
  setFont(FittingFont(font, ToQString(control_.Caption()), contentsRect().width()));
  setAlignment(LabelAlignment(look.alignment));
  QPalette colours = palette();
  if (look.fore) colours.setColor(QPalette::WindowText, ToQColor(*look.fore, colours));
  const std::optional<Colour> back = look.back ? look.back : scheme.look.back;
  if (back) colours.setColor(QPalette::Window, ToQColor(*back, colours));
  setPalette(colours);
  setAutoFillBackground(back.has_value());
}

QtListView::QtListView(HeadlessListView& control, ScreenCanvas& canvas)
    : QTreeWidget(&canvas), control_(control), canvas_(canvas), fitted_(control.FitCount()) {
  const std::vector<ListColumn>& columns = control_.Layout().columns;
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  setAlternatingRowColors(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setColumnCount(static_cast<int>(columns.size()));
  QStringList headers;
  for (const ListColumn& column : columns) headers << ToQString(column.header);
  setHeaderLabels(headers);
  header()->setStretchLastSection(false);
  for (int i = 0; i < static_cast<int>(columns.size()); ++i)
    headerItem()->setTextAlignment(i, ToQtAlignment(columns[i].alignment));
  FollowControl(control_, this);
}

// The screen fills a row cell by cell and the list tells of each change: rows shown are
// kept and only the cells that changed are written again, so that filling a list costs
// what it writes, not its rows times its cells.
void QtListView::Sync() {
  const std::vector<ListColumn>& columns = control_.Layout().columns;
  const std::vector<ListItem>& items = control_.Items().All();
  if (items.empty()) {
    clear();
    shown_.clear();
  }
  while (shown_.size() > items.size()) {
    delete takeTopLevelItem(static_cast<int>(shown_.size()) - 1);
    shown_.pop_back();
  }
  const auto cells = static_cast<std::size_t>(columnCount());
  static const std::string kUnset;
  for (std::size_t r = 0; r < items.size(); ++r) {
    if (r == shown_.size()) {
      auto* row = new QTreeWidgetItem(this);
      for (int i = 0; i < columnCount(); ++i)
        row->setTextAlignment(i, ToQtAlignment(columns[i].alignment));
      shown_.emplace_back(cells);
    }
    const std::vector<std::string>& sub_items = items[r].SubItems();
    for (std::size_t c = 0; c < cells; ++c) {
      const std::string& text = c == 0                  ? items[r].Text()
                                : c <= sub_items.size() ? sub_items[c - 1]
                                                        : kUnset;
      if (shown_[r][c] == text) continue;
      topLevelItem(static_cast<int>(r))->setText(static_cast<int>(c), ToQString(text));
      shown_[r][c] = text;
    }
  }
  setEnabled(control_.Enabled());
  if (control_.FitCount() != fitted_) {
    fitted_ = control_.FitCount();
    FitColumns();
  }
}

// Every column as wide as its header and contents; the column designed widest (the
// description) then takes the room that is left, or gives up what the others need, so
// that the quantities stay in sight without scrolling.
void QtListView::FitColumns() {
  const int count = columnCount();
  if (count == 0) return;
  int widest = 0;
  int others = 0;
  for (int i = 0; i < count; ++i) {
    if (DesignWidth(i) > DesignWidth(widest)) widest = i;
  }
  for (int i = 0; i < count; ++i) {
    const int fitted = std::max(HeaderWidth(i), sizeHintForColumn(i) + 6);
    setColumnWidth(i, fitted);
    if (i != widest) others += fitted;
  }
  // The scroll bar's width is kept free only when the rows will need it.
  const int rows = topLevelItemCount();
  const bool scrolls = rows > 0 && sizeHintForRow(0) * rows > maximumViewportSize().height() -
                                                                  header()->sizeHint().height();
  const int room =
      maximumViewportSize().width() - (scrolls ? verticalScrollBar()->sizeHint().width() : 0);
  setColumnWidth(widest, std::max(HeaderWidth(widest), room - others));
}

// The header's text in the list's font, with the room the style sheet puts around it.
int QtListView::HeaderWidth(int column) const {
  return fontMetrics().horizontalAdvance(headerItem()->text(column)) + 2 * kHeaderPadding + 4;
}

// As designed, but never narrower than the column's header.
int QtListView::DesignWidth(int column) const {
  const ListColumn& design = control_.Layout().columns[column];
  return std::max(ToPixels(design.width), HeaderWidth(column));
}

void QtListView::ApplyLook(const ControlLayout& scheme) {
  QPalette colours = palette();
  if (auto even = ColourSetting(scheme, "even_rows"))
    colours.setColor(QPalette::Base, ToQColor(*even, colours));
  if (auto odd = ColourSetting(scheme, "odd_rows"))
    colours.setColor(QPalette::AlternateBase, ToQColor(*odd, colours));
  setPalette(colours);
  const Colour grid = ColourSetting(scheme, "grid").value_or(Colour::Rgb(255, 255, 255));
  // Headers with room around their text, in the list's own font (a style sheet would
  // otherwise put the application's in its place); the widths below count both.
  const QFont& shown = font();
  setStyleSheet(QString("QTreeView { border: 1px solid #8a9aa8; gridline-color: %1; }"
                        "QHeaderView::section { padding: 1px %5px; background-color: #e4ebf0;"
                        " border: none; border-right: 1px solid #c2ccd4;"
                        " border-bottom: 1px solid #8a9aa8; font: %2 %3px \"%4\"; }")
                    .arg(ColourName(grid, colours), shown.bold() ? "bold" : "normal")
                    .arg(shown.pixelSize())
                    .arg(shown.family())
                    .arg(kHeaderPadding));
  for (int i = 0; i < columnCount(); ++i) setColumnWidth(i, DesignWidth(i));
}

void QtListView::focusInEvent(QFocusEvent* event) {
  QTreeWidget::focusInEvent(event);
  canvas_.WidgetFocused(*this);
}

bool QtListView::focusNextPrevChild(bool next) {
  return canvas_.KeyboardMove(*this, next);
}

QtToolbar::QtToolbar(HeadlessToolbar& control, ScreenCanvas& canvas)
    : QFrame(&canvas), control_(control), canvas_(canvas) {
  setFocusPolicy(Qt::NoFocus);
  setFrameShape(QFrame::StyledPanel);
  setAutoFillBackground(true);

  caption_ = new QLabel(ToQString(control_.Caption()), this);
  caption_->setObjectName("caption");
  mode_ = new QLabel(this);
  mode_->setObjectName("mode");
  cancelled_ = new QLabel("CANCELADA", this);
  cancelled_->setObjectName("cancelled");
  cancelled_->setToolTip("La póliza mostrada está cancelada: solo puede consultarse");
  cancelled_->hide();
  auto* state = new QHBoxLayout;
  state->setSpacing(8);
  state->addWidget(mode_);
  state->addWidget(cancelled_);
  state->addStretch();
  auto* titles = new QVBoxLayout;
  titles->setSpacing(1);
  titles->addStretch();
  titles->addWidget(caption_);
  titles->addLayout(state);
  titles->addStretch();

  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(10, 2, 6, 2);
  row->setSpacing(2);
  row->addLayout(titles);
  row->addStretch();
  for (const CommandLook& look : kCommandLooks) {
    auto* button = new QToolButton(this);
    button->setObjectName(ToQString(std::string(ToolbarCommandName(look.command))));
    button->setText(look.text);
    button->setIcon(style()->standardIcon(look.icon));
    button->setIconSize(QSize(22, 22));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setMinimumWidth(62);
    QString keys = QKeySequence::mnemonic(look.text).toString(QKeySequence::NativeText);
    if (look.command == ToolbarCommand::kAceptar) keys += ", Ctrl+S, F10";
    if (look.command == ToolbarCommand::kCancelar) keys += ", Esc";
    button->setToolTip(
        QString("%1 (%2)").arg(ToQString(std::string(ToolbarCommandName(look.command))), keys));
    const ToolbarCommand command = look.command;
    connect(button, &QToolButton::clicked, this, [this, command] { Press(command); });
    // The letter stays underlined, but Alt and the letter press the command at once
    // instead of through the button's animated click a moment later.
    button->setShortcut(QKeySequence());
    AddShortcut(QKeySequence::mnemonic(look.text), [this, command] { Press(command); });
    row->addWidget(button);
    buttons_[look.command] = button;
  }
  AddShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), [this] { Press(ToolbarCommand::kAceptar); });
  AddShortcut(QKeySequence(Qt::Key_F10), [this] { Press(ToolbarCommand::kAceptar); });
  AddShortcut(QKeySequence(Qt::Key_Escape), [this] {
    if (!canvas_.RevertFocusedEdit()) Press(ToolbarCommand::kCancelar);
  });
  FollowControl(control_, this);
}

void QtToolbar::AddShortcut(const QKeySequence& keys, std::function<void()> action) {
  auto* shortcut = new QShortcut(keys, this);
  connect(shortcut, &QShortcut::activated, this, std::move(action));
}

void QtToolbar::ShowCancelled(bool cancelled) {
  shown_cancelled_ = cancelled && control_.ShowsInactiveRecord();
  cancelled_->setVisible(shown_cancelled_);
}

QString QtToolbar::Keys() const {
  QString keys;
  for (const CommandLook& look : kCommandLooks)
    keys += QKeySequence::mnemonic(look.text).toString().right(1);
  return keys;
}

void QtToolbar::Sync() {
  for (const auto& [command, button] : buttons_)
    button->setEnabled(control_.CommandEnabled(command));
  if (!control_.ShowsInactiveRecord()) shown_cancelled_ = false;
  cancelled_->setVisible(shown_cancelled_);
  switch (control_.Mode()) {
    case ToolbarMode::kIdle:
      mode_->clear();
      break;
    case ToolbarMode::kNew:
      mode_->setText("Nuevo registro");
      break;
    case ToolbarMode::kEditing:
      mode_->setText("Modificando registro");
      break;
  }
}

void QtToolbar::ApplyLook(const ControlLayout& scheme) {
  QPalette colours = palette();
  if (auto menu = ColourSetting(scheme, "menu"))
    colours.setColor(QPalette::Window, ToQColor(*menu, colours));
  setPalette(colours);
  QFont title = ToQFont(Font{"Calibri", 14, true});
  caption_->setFont(title);
  caption_->setStyleSheet("color: #00385e;");
  mode_->setFont(ToQFont(Font{"Calibri", 9, true}));
  mode_->setStyleSheet("color: #00538a;");
  cancelled_->setFont(ToQFont(Font{"Calibri", 9, true}));
  cancelled_->setStyleSheet(
      "color: #ffffff; background-color: #b00020; border-radius: 3px; padding: 1px 8px;");
}

void QtToolbar::Press(ToolbarCommand command) {
  if (!control_.CommandEnabled(command)) return;
  // Cancelar and Salir throw the capture away: what is being typed is asked about as a
  // change, not taken first, so that a date typed part way does not hold them up.
  const bool discards = command == ToolbarCommand::kCancelar || command == ToolbarCommand::kSalir;
  const bool on_record = command == ToolbarCommand::kBaja || command == ToolbarCommand::kModificar;
  canvas_.Run([&] {
    // What was typed may have changed which commands apply, or which record they act on.
    if (!discards) {
      const bool handed =
          on_record ? canvas_.CommitPendingEditsOnShownRecord() : canvas_.CommitPendingEdits();
      if (!handed || !control_.CommandEnabled(command)) return;
    }
    if (!Confirmed(command)) return;
    if (discards) canvas_.RevertPendingEdits();
    control_.UserPress(command);
  });
}

bool QtToolbar::HasUnsavedWork() const {
  return control_.HasUnsavedChanges() || (control_.Busy() && canvas_.HasPendingEdits());
}

// Baja, and throwing away what the user changed, are asked first.
bool QtToolbar::Confirmed(ToolbarCommand command) {
  const char* question = nullptr;
  if (command == ToolbarCommand::kBaja) question = kBajaQuestion;
  if (HasUnsavedWork()) {
    if (command == ToolbarCommand::kCancelar) question = kCancelQuestion;
    if (command == ToolbarCommand::kSalir) question = kCloseQuestion;
  }
  return question == nullptr ||
         AskYesNo(canvas_.dialogs(), canvas_.Owner(), control_.Caption(), question);
}

QtColorScheme::QtColorScheme(HeadlessColorScheme& control, ScreenCanvas& canvas)
    : control_(control), canvas_(canvas), applied_(control.ApplyCount()) {
  QPointer<ScreenCanvas> guard(&canvas);
  control_.Observe([guard, this] {
    if (guard) Sync();  // the canvas owns this view
  });
}

void QtColorScheme::Sync() {
  if (control_.ApplyCount() == applied_) return;
  applied_ = control_.ApplyCount();
  canvas_.ApplyScheme(control_.Layout());
}

}  // namespace nv407::host
