#include "app/svg_export_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/validated_dialog.h"
#include "document/svg_export.h"
#include "picture/user_prompts.h"

CSvgExportDialog::CSvgExportDialog(const std::string& suggestedPath, UserPrompts& ui,
                                   QWidget* parent)
    : QDialog(parent), m_ui(ui) {
    setWindowTitle(QStringLiteral("Export SVG"));
    m_path = new QLineEdit(QString::fromStdString(suggestedPath), this);
    m_path->setMinimumWidth(fontMetrics().averageCharWidth() * 40);
    auto* browse = new QPushButton(QStringLiteral("&Browse..."), this);
    connect(browse, &QPushButton::clicked, this, &CSvgExportDialog::Browse);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(m_path);
    fileRow->addWidget(browse);
    m_width = new QLineEdit(this);
    m_width->setPlaceholderText(QStringLiteral("pixels"));
    m_width->setToolTip(
        QStringLiteral("For print: 400mm, 21cm, 8in or 300pt (0.1mm to 100m); empty for pixels"));
    m_stroke = new QComboBox(this);
    m_stroke->setEditable(true);
    m_stroke->addItems(
        {QString(), QStringLiteral("hairline"), QStringLiteral("0.1mm"), QStringLiteral("0.3mm")});
    m_stroke->lineEdit()->setPlaceholderText(QStringLiteral("one pixel"));
    m_stroke->setToolTip(QStringLiteral(
        "Stroke width on paper, whatever the width: hairline for laser cutters, or 0.001mm to "
        "10mm; empty for one pixel"));
    m_plotter = new QCheckBox(QStringLiteral("&Plotter: strokes only, one layer per pen"), this);
    m_plotter->setToolTip(QStringLiteral(
        "No background, fills or transparency; every stretch is drawn once and the strokes are "
        "ordered to keep the pen's travel short"));
    auto* form = new QFormLayout;
    auto* fileLabel = new QLabel(QStringLiteral("&File:"), this);
    fileLabel->setBuddy(m_path);  // a row of two widgets gets no buddy of its own
    form->addRow(fileLabel, fileRow);
    form->addRow(QStringLiteral("&Width:"), m_width);
    form->addRow(QStringLiteral("&Stroke:"), m_stroke);
    form->addRow(QString(), m_plotter);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSvgExportDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CSvgExportDialog::Browse() {
    std::string path = m_path->text().toStdString();
    if (m_ui.AskSavePath("SVG files (*.svg)|*.svg|All files(*.*)|*.*||", ".svg", path)) {
        m_path->setText(QString::fromStdString(path));
        m_confirmedPath = path;  // the file dialog has asked about replacing it
    }
}

void CSvgExportDialog::accept() {
    std::string path = m_path->text().trimmed().toStdString();
    if (path.empty()) {
        RefuseField(m_path, "Please give the name of the SVG file.", m_ui);
        return;
    }
    if (!IsSvgPath(path)) path += ".svg";
    const std::string width = m_width->text().trimmed().toStdString();
    SvgLength length;
    if (!width.empty() && !ParseSvgWidth(width, length)) {
        RefuseField(m_width,
                    "The width needs a positive number and a unit: mm, cm, in, pt, pc or px "
                    "(for example 400mm), from 0.1mm to 100m.",
                    m_ui);
        return;
    }
    const std::string stroke = m_stroke->currentText().trimmed().toStdString();
    if (double mm = 0; !stroke.empty() && !ParseSvgStroke(stroke, mm)) {
        RefuseField(m_stroke->lineEdit(),
                    "The stroke needs hairline, or a number and a unit: mm, cm, in, pt, pc or px "
                    "(for example 0.01mm), from 0.001mm to 10mm.",
                    m_ui);
        return;
    }
    if (path != m_confirmedPath && m_ui.FileExists(path) &&
        m_ui.ShowMessage(path + " already exists.\nDo you want to replace it?", MsgButtons::YesNo,
                         MsgIcon::Exclamation) != IDYES) {
        m_path->setFocus();
        return;
    }
    m_choice = {path, m_plotter->isChecked(), width, stroke};
    QDialog::accept();
}

std::optional<SvgExportChoice> AskSvgExport(QWidget* parent, const std::string& suggestedPath,
                                            UserPrompts& ui) {
    CSvgExportDialog dialog(suggestedPath, ui, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.m_choice;
}
