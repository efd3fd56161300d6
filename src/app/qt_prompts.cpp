#include "app/qt_prompts.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QMessageBox>
#include <QStringList>

#include "app/dialog_fit.h"
#include "app/settings_dialog.h"

namespace {

QMessageBox::StandardButtons ButtonsOf(MsgButtons buttons) {
    switch (buttons) {
        case MsgButtons::OkCancel:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case MsgButtons::YesNo:
            return QMessageBox::Yes | QMessageBox::No;
        case MsgButtons::YesNoCancel:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        case MsgButtons::Ok:
            break;
    }
    return QMessageBox::Ok;
}

QMessageBox::Icon IconOf(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::Information:
            return QMessageBox::Information;
        case MsgIcon::Question:
            return QMessageBox::Question;
        case MsgIcon::Exclamation:
            return QMessageBox::Warning;
        case MsgIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

int ResultOf(int button) {
    switch (button) {
        case QMessageBox::Cancel:
            return IDCANCEL;
        case QMessageBox::Yes:
            return IDYES;
        case QMessageBox::No:
            return IDNO;
        default:
            return IDOK;
    }
}

// Closing a box with the window's close button counts as its escape button.
int EscapeResult(MsgButtons buttons) {
    switch (buttons) {
        case MsgButtons::OkCancel:
        case MsgButtons::YesNoCancel:
            return IDCANCEL;
        case MsgButtons::YesNo:
            return IDNO;
        case MsgButtons::Ok:
            break;
    }
    return IDOK;
}

void PrepareDialog(QFileDialog& dialog, const std::string& filter, const std::string& defaultExt,
                   const std::string& path) {
    dialog.setNameFilter(DialogFilterOf(filter));
    QString suffix = QString::fromStdString(defaultExt);
    if (suffix.startsWith('.')) suffix.remove(0, 1);
    dialog.setDefaultSuffix(suffix);
    // Saves without a folder of their own go to the current directory, so the dialogs start
    // there (and a name without a folder lies there), never in the folder Qt visited last.
    const QDir current = QDir::current();
    dialog.setDirectory(current);
    if (!path.empty()) dialog.selectFile(current.absoluteFilePath(QString::fromStdString(path)));
}

// A message box as wide as its title needs (window managers cut a title that does not fit, and a
// short message makes a narrow box), centred on the window it belongs to. Both once the box has
// its size, before the window system places it.
class MessageBox : public QMessageBox {
  public:
    using QMessageBox::QMessageBox;

  protected:
    void showEvent(QShowEvent* event) override {
        // The box sizes itself to its layout whenever the layout changes: room in the layout.
        auto* grid = qobject_cast<QGridLayout*>(layout());
        if (grid && !m_titleRoom) {
            m_titleRoom = new QSpacerItem(TitleBarWidthFor(this), 0, QSizePolicy::Minimum,
                                          QSizePolicy::Fixed);
            grid->addItem(m_titleRoom, grid->rowCount(), 0, 1, grid->columnCount());
        }
        QMessageBox::showEvent(event);
        CentreOnOwner(this);
    }

  private:
    QSpacerItem* m_titleRoom = nullptr;  // owned by the layout
};

}  // namespace

QString DialogFilterOf(const std::string& filter) {
    QStringList parts = QString::fromStdString(filter).split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i];
        const QString patterns = parts[i + 1].split(';', Qt::SkipEmptyParts).join(' ');
        if (description.isEmpty()) break;
        // The dialog reads the patterns from the parenthesis that ends the description.
        filters << (description.endsWith(')') ? description : description + " (" + patterns + ")");
    }
    return filters.join(";;");
}

QtPrompts::QtPrompts(std::function<QWidget*()> parent) : m_parent(std::move(parent)) {}

QWidget* QtPrompts::Parent() const {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    return m_parent ? m_parent() : nullptr;
}

int QtPrompts::ShowMessage(const std::string& text, MsgButtons buttons, MsgIcon icon) {
    MessageBox box(IconOf(icon), kMessageCaption, QString::fromStdString(text), ButtonsOf(buttons),
                   Parent());
    const int chosen = box.exec();
    if (box.clickedButton() == nullptr) return EscapeResult(buttons);
    return ResultOf(chosen);
}

void QtPrompts::BeginWaitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtPrompts::EndWaitCursor() {
    QApplication::restoreOverrideCursor();
}

int QtPrompts::RunSettingsDialog(FigureEngine& edit, std::string& savedPath) {
    return ::RunSettingsDialog(Parent(), edit, savedPath, *this);
}

bool QtPrompts::AskOpenPath(const std::string& filter, const std::string& defaultExt,
                            std::string& path) {
    QFileDialog dialog(Parent());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    PrepareDialog(dialog, filter, defaultExt, path);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    const QString chosen = dialog.selectedFiles().first();
    // The open dialog leaves the chosen folder as the current directory, as the document's
    // open command relies on.
    QDir::setCurrent(QFileInfo(chosen).absolutePath());
    path = QDir::toNativeSeparators(chosen).toStdString();
    return true;
}

bool QtPrompts::AskSavePath(const std::string& filter, const std::string& defaultExt,
                            std::string& path) {
    QFileDialog dialog(Parent());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    PrepareDialog(dialog, filter, defaultExt, path);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    path = QDir::toNativeSeparators(dialog.selectedFiles().first()).toStdString();
    return true;
}
