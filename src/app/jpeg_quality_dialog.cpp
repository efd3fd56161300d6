#include "app/jpeg_quality_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "app/dialog_fit.h"
#include "app/validated_dialog.h"

CJpegQualityDialog::CJpegQualityDialog(UserPrompts& ui, QWidget* parent)
    : QDialog(parent), m_ui(ui) {
    setWindowTitle(QStringLiteral("Dialog Jpeg Quality"));
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("232"));
    m_edit->setAlignment(Qt::AlignRight);
    m_edit->setMaximumWidth(fontMetrics().averageCharWidth() * 8);
    auto* label = new QLabel(QStringLiteral("Jpeg Quality\n (5..95)"), this);
    label->setBuddy(m_edit);
    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(m_edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CJpegQualityDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(DialogPage(this));
    layout->addLayout(row);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CJpegQualityDialog::showEvent(QShowEvent* event) {
    ShowInt(m_edit, m_nQuality);
    QDialog::showEvent(event);
}

void CJpegQualityDialog::accept() {
    if (!ReadIntField(m_edit, QStringLiteral("Jpeg Quality"), kJpegQualityMin, kJpegQualityMax,
                      m_nQuality, m_ui))
        return;
    QDialog::accept();
}

std::optional<int> AskJpegQuality(QWidget* parent, int quality, UserPrompts& ui) {
    CJpegQualityDialog dialog(ui, parent);
    dialog.m_nQuality = quality;
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.m_nQuality;
}
