// The SVG export dialog: where to write the file, whether for a plotter (strokes only, one layer
// per pen) and, for print and cutting, a physical width and a stroke width on paper.
#pragma once

#include <QDialog>
#include <optional>
#include <string>

#include "view/view_dialogs.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class UserPrompts;

class CSvgExportDialog : public QDialog {
    Q_OBJECT

  public:
    CSvgExportDialog(const std::string& suggestedPath, UserPrompts& ui, QWidget* parent = nullptr);

    QLineEdit* PathEdit() const { return m_path; }
    QCheckBox* PlotterBox() const { return m_plotter; }
    QLineEdit* WidthEdit() const { return m_width; }
    QComboBox* StrokeBox() const { return m_stroke; }

    // Checks the fields; stays open with a message on a missing name, or a width or stroke
    // without unit or out of range.
    void accept() override;

    SvgExportChoice m_choice;

  private:
    void Browse();

    UserPrompts& m_ui;
    QLineEdit* m_path = nullptr;
    QCheckBox* m_plotter = nullptr;
    QLineEdit* m_width = nullptr;
    QComboBox* m_stroke = nullptr;
    std::string m_confirmedPath;
};

// Runs the dialog; the choice on OK, nothing on Cancel.
std::optional<SvgExportChoice> AskSvgExport(QWidget* parent, const std::string& suggestedPath,
                                            UserPrompts& ui);
