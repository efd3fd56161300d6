#include "app/order_number_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "app/dialog_fit.h"
#include "app/validated_dialog.h"

COrderNumberDialog::COrderNumberDialog(UserPrompts& ui, QWidget* parent)
    : QDialog(parent), m_ui(ui) {
    setWindowTitle(QStringLiteral("Dialog"));
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("190"));
    m_edit->setMaximumWidth(fontMetrics().averageCharWidth() * 8);
    auto* explanation = new QLabel(QString::fromLatin1(kOrderNumberExplanation), this);
    explanation->setWordWrap(true);
    explanation->setFixedWidth(fontMetrics().averageCharWidth() * 40);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Order Nr"), m_edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &COrderNumberDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(DialogPage(this));
    layout->addLayout(form);
    layout->addWidget(explanation);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void COrderNumberDialog::showEvent(QShowEvent* event) {
    ShowInt(m_edit, m_nOrder);
    QDialog::showEvent(event);
}

void COrderNumberDialog::accept() {
    if (!ReadIntField(m_edit, QStringLiteral("Order Nr"), 0, 9, m_nOrder, m_ui)) return;
    QDialog::accept();
}

std::optional<int> AskOrderNumber(QWidget* parent, int current, UserPrompts& ui) {
    COrderNumberDialog dialog(ui, parent);
    dialog.m_nOrder = current;
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.m_nOrder;
}
