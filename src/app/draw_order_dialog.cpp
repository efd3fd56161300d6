#include "app/draw_order_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "app/dialog_fit.h"
#include "app/validated_dialog.h"

QString OrderLabel(int order) {
    return QStringLiteral("Order %1").arg(order);
}

QString TransparencyLabel(int order) {
    return QStringLiteral("Transparency of order %1").arg(order);
}

CDrawOrderDialog::CDrawOrderDialog(UserPrompts& ui, QWidget* parent) : QDialog(parent), m_ui(ui) {
    setWindowTitle(QStringLiteral("Dialog"));
    auto* group = new QGroupBox(QStringLiteral("Draw Order"), this);
    auto* grid = new QGridLayout(group);
    grid->addWidget(new QLabel(QStringLiteral("Transparency"), group), 0, 1);
    for (int order = 0; order < kOrderCount; ++order) {
        auto* box = new QCheckBox(OrderLabel(order), group);
        box->setObjectName(QString::number(kDrawOrderIds[order]));
        auto* edit = new QLineEdit(group);
        edit->setObjectName(QString::number(kTransparencyIds[order]));
        edit->setMaximumWidth(fontMetrics().averageCharWidth() * 10);
        grid->addWidget(box, order + 1, 0);
        grid->addWidget(edit, order + 1, 1);
        m_drawBoxes[order] = box;
        m_transparencyEdits[order] = edit;
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDrawOrderDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(DialogPage(this));
    layout->addWidget(group);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CDrawOrderDialog::showEvent(QShowEvent* event) {
    for (int order = 0; order < kOrderCount; ++order) {
        m_drawBoxes[order]->setChecked(m_drawOrder[order] > 0);
        ShowReal(m_transparencyEdits[order], m_transparency[order]);
    }
    QDialog::showEvent(event);
}

void CDrawOrderDialog::accept() {
    std::array<double, kOrderCount> transparency{};
    for (int order = 0; order < kOrderCount; ++order)
        if (!ReadRealField(m_transparencyEdits[order], TransparencyLabel(order), 0.0, 1.0,
                           transparency[order], m_ui))
            return;
    for (int order = 0; order < kOrderCount; ++order)
        m_drawOrder[order] = m_drawBoxes[order]->isChecked() ? 1 : 0;
    m_transparency = transparency;
    QDialog::accept();
}

void FillDrawOrderDialog(CDrawOrderDialog& dialog, const FigureParams& figure) {
    for (int order = 0; order < kOrderCount; ++order) {
        dialog.m_drawOrder[order] = figure.m_orders[order].drawOrder;
        dialog.m_transparency[order] = figure.m_orders[order].transparency;
    }
}

void TakeDrawOrderDialog(const CDrawOrderDialog& dialog, FigureParams& figure) {
    for (int order = 0; order < kOrderCount; ++order) {
        figure.m_orders[order].drawOrder = dialog.m_drawOrder[order] > 0 ? 1 : 0;
        figure.m_orders[order].transparency = dialog.m_transparency[order];
    }
}

int RunDrawOrderCycle(QWidget* parent, FigureParams& figure, const std::function<void()>& applied,
                      UserPrompts& ui, const DialogRunner& run) {
    int accepted = 0;
    for (;;) {
        CDrawOrderDialog dialog(ui, parent);
        FillDrawOrderDialog(dialog, figure);
        int result = run ? run(dialog) : dialog.exec();
        if (result != QDialog::Accepted) return accepted;
        TakeDrawOrderDialog(dialog, figure);
        ++accepted;
        if (applied) applied();
    }
}
