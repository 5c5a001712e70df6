#pragma once

#include <QObject>
#include <QString>

class QAbstractItemModel;
class QDialog;
class QDialogButtonBox;
class QLabel;
class QLayout;
class QLineEdit;
class QTableView;
class QWidget;

namespace nv407::host {

class OneLineEdit;

// The parts the host's search dialogs (F2 on a key field, the policy finder) share.

// The text the search finds rows by, opening on `text`, with its hint and a clear button.
OneLineEdit* MakeSearchText(const QString& text, const QString& hint, QWidget* parent);

// The list of rows: selected whole and one at a time, never edited, a line of text high,
// alternate colours, no grid, the headers to the left; a cell that its column cuts shows
// its whole text as a tooltip. Tab and Shift+Tab leave it, never moving the selection.
QTableView* MakeSearchList(QAbstractItemModel* model, QWidget* parent);

// Aceptar, captioned `accept` with its Alt letter marked ("&Aceptar"), and Cancelar (Alt+C).
QDialogButtonBox* MakeSearchButtons(const QString& accept, QWidget* parent);

// The dialog top to bottom: "Buscar:" over the text, what goes between (the finder's
// filters; may be none), the list, a note on what was found, the buttons.
void LayOutSearch(QDialog& dialog, QLineEdit* text, QLayout* between, QTableView* list,
                  QLabel* note, QDialogButtonBox* buttons);

// Up, Down and the page keys typed in the search's text move through the list while the
// user keeps typing. Lives as long as the text box.
void MoveThroughRowsFrom(QLineEdit& text, QTableView& list);

}  // namespace nv407::host
