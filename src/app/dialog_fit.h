// Dialogs that fit the screen at any scaling. A dialog lays its controls out on a page; the page
// keeps the dialog's own size wherever the screen holds it, and a dialog larger than the
// screen's available area shrinks to it and scrolls. The dialog is never narrower than its
// title, and it opens centred on the window it belongs to.
#pragma once

#include <QSize>

class QDialog;
class QWidget;

// The page of dialog to place the controls on (by layout or by geometry, with a fixed size).
QWidget* DialogPage(QDialog* dialog);

// The narrowest width at which a window's title bar shows the whole title.
int TitleBarWidthFor(const QWidget* window);

// Centres window (a dialog or message box about to show) on the window it belongs to, or on
// its screen, and keeps it inside the screen's available area.
void CentreOnOwner(QWidget* window);

// The size a dialog gets for a page of the given size: the page's own size where the screen
// holds it, the available area otherwise (with room for the scroll bars), never narrower than
// the title.
QSize FittedDialogSize(QSize page, QSize available, int titleWidth, int scrollBarExtent);
