#include "app/select_lines_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

#include "app/dialog_fit.h"

namespace {

// The angle texts keep their leading blanks so that the degrees line up in the classic font.
const std::array<const char*, 5> kFamilyLabels = {"    0\u00ba", "  72\u00ba", "144\u00ba",
                                                  "216\u00ba", "288\u00ba"};

}  // namespace

CSelectLinesDialog::CSelectLinesDialog(const std::array<std::uint8_t, 5>& lines, QWidget* parent)
    : QDialog(parent), m_lines(lines) {
    setWindowTitle(QStringLiteral("Select lines to be drawn"));
    auto* group = new QGroupBox(QStringLiteral("Select the Lines"), this);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(new QLabel(QStringLiteral("Angle of the Normal"), group));
    for (int family = 0; family < 5; ++family) {
        auto* box = new QCheckBox(QString::fromUtf8(kFamilyLabels[family]), group);
        box->setObjectName(QString::number(kLineFamilyIds[family]));
        box->setLayoutDirection(Qt::RightToLeft);  // the text stands left of the box
        box->setChecked(m_lines[family] > 0);
        groupLayout->addWidget(box, 0, Qt::AlignLeft);
        m_boxes[family] = box;
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(DialogPage(this));
    layout->addWidget(group);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CSelectLinesDialog::accept() {
    for (int family = 0; family < 5; ++family) m_lines[family] = m_boxes[family]->isChecked();
    QDialog::accept();
}
