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
#include "host/qt/look.h"
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

// --- flat button ------------------------------------------------------------------------

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
                        "QPushButton:disabled { color: #9bb4c8; }")
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
    canvas_.CommitPendingEdits();
    // What was typed may have changed the screen so that the button no longer applies.
    if (control_.Enabled()) control_.UserClick();
  });
}

// --- label ------------------------------------------------------------------------------

QtLabel::QtLabel(HeadlessLabel& control, ScreenCanvas& canvas)
    : QLabel(ToQString(control.Caption()), &canvas), control_(control) {
  setFocusPolicy(Qt::NoFocus);
  setContentsMargins(2, 0, 4, 0);
  FollowControl(control_, this);
}

void QtLabel::Sync() {
  setEnabled(control_.Enabled());
}

void QtLabel::ApplyLook(const ControlLayout& scheme) {
  const Look& look = control_.Layout().look;
  QFont font = look.font ? ToQFont(*look.font) : QApplication::font();
  // Never clipped: where the design font is missing, its stand-in shrinks to fit.
  setFont(FittingFont(font, text(), contentsRect().width()));
  setAlignment(LabelAlignment(look.alignment));
  QPalette colours = palette();
  if (look.fore) colours.setColor(QPalette::WindowText, ToQColor(*look.fore, colours));
  const std::optional<Colour> back = look.back ? look.back : scheme.look.back;
  if (back) colours.setColor(QPalette::Window, ToQColor(*back, colours));
  setPalette(colours);
  setAutoFillBackground(back.has_value());
}

// --- list view --------------------------------------------------------------------------

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

void QtListView::Sync() {
  const std::vector<ListColumn>& columns = control_.Layout().columns;
  clear();
  for (const ListItem& item : control_.Items().All()) {
    auto* row = new QTreeWidgetItem(this);
    row->setText(0, ToQString(item.Text()));
    for (int i = 1; i < columnCount(); ++i) row->setText(i, ToQString(item.SubItem(i)));
    for (int i = 0; i < columnCount(); ++i)
      row->setTextAlignment(i, ToQtAlignment(columns[i].alignment));
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
    const int fitted = std::max(header()->sectionSizeHint(i), sizeHintForColumn(i) + 6);
    setColumnWidth(i, fitted);
    if (i != widest) others += fitted;
  }
  const int room = maximumViewportSize().width() - verticalScrollBar()->sizeHint().width();
  setColumnWidth(widest, std::max(header()->sectionSizeHint(widest), room - others));
}

// As designed, but never narrower than the column's header.
int QtListView::DesignWidth(int column) const {
  const ListColumn& design = control_.Layout().columns[column];
  return std::max(ToPixels(design.width), header()->sectionSizeHint(column));
}

void QtListView::ApplyLook(const ControlLayout& scheme) {
  for (int i = 0; i < columnCount(); ++i) setColumnWidth(i, DesignWidth(i));
  QPalette colours = palette();
  if (auto even = ColourSetting(scheme, "even_rows"))
    colours.setColor(QPalette::Base, ToQColor(*even, colours));
  if (auto odd = ColourSetting(scheme, "odd_rows"))
    colours.setColor(QPalette::AlternateBase, ToQColor(*odd, colours));
  setPalette(colours);
  if (auto grid = ColourSetting(scheme, "grid")) {
    setStyleSheet(QString("QTreeView { border: 1px solid #8a9aa8; gridline-color: %1; }")
                      .arg(ColourName(*grid, colours)));
  }
}

void QtListView::focusInEvent(QFocusEvent* event) {
  QTreeWidget::focusInEvent(event);
  canvas_.WidgetFocused(*this);
}

bool QtListView::focusNextPrevChild(bool next) {
  return canvas_.KeyboardMove(*this, next);
}

// --- toolbar ----------------------------------------------------------------------------

QtToolbar::QtToolbar(HeadlessToolbar& control, ScreenCanvas& canvas)
    : QFrame(&canvas), control_(control), canvas_(canvas) {
  setFocusPolicy(Qt::NoFocus);
  setFrameShape(QFrame::StyledPanel);
  setAutoFillBackground(true);

  caption_ = new QLabel(ToQString(control_.Caption()), this);
  caption_->setObjectName("caption");
  mode_ = new QLabel(this);
  mode_->setObjectName("mode");
  auto* titles = new QVBoxLayout;
  titles->setSpacing(0);
  titles->addStretch();
  titles->addWidget(caption_);
  titles->addWidget(mode_);
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
    button->setToolTip(QString("%1 (Alt+%2)")
                           .arg(ToQString(std::string(ToolbarCommandName(look.command))))
                           .arg(QKeySequence::mnemonic(look.text).toString().right(1)));
    const ToolbarCommand command = look.command;
    connect(button, &QToolButton::clicked, this, [this, command] { Press(command); });
    // The letter stays underlined, but Alt and the letter press the command at once
    // instead of through the button's animated click a moment later.
    button->setShortcut(QKeySequence());
    auto* shortcut = new QShortcut(QKeySequence::mnemonic(look.text), this);
    connect(shortcut, &QShortcut::activated, this, [this, button, command] {
      if (button->isEnabled()) Press(command);
    });
    row->addWidget(button);
    buttons_[look.command] = button;
  }
  FollowControl(control_, this);
}

void QtToolbar::Sync() {
  for (const auto& [command, button] : buttons_)
    button->setEnabled(control_.CommandEnabled(command));
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
}

void QtToolbar::Press(ToolbarCommand command) {
  canvas_.Run([&] {
    canvas_.CommitPendingEdits();
    // What was typed may have changed which commands apply.
    if (!control_.CommandEnabled(command)) return;
    if (command == ToolbarCommand::kBaja && !ConfirmBaja()) return;
    control_.UserPress(command);
  });
}

bool QtToolbar::ConfirmBaja() {
  MessageRequest question;
  question.text = "¿Dar de baja el registro mostrado?";
  question.style = message_style::kYesNoQuestion;
  question.title = control_.Caption();
  question.owner = canvas_.Owner();
  question.module = "NV407";
  return canvas_.dialogs().ShowMessage(question) == message_answer::kYes;
}

// --- colour scheme ----------------------------------------------------------------------

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
