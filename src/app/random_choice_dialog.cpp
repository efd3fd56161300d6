#include "app/random_choice_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/dialog_fit.h"

namespace {

constexpr std::array<int, kOrderCount> kOrderRadioIds = {231, 192, 193, 194, 195,
                                                         196, 197, 198, 199, 200};
constexpr int ID_BACKGROUND = 220;
constexpr int ID_LINES_OFFSET = 229;
constexpr int ID_MAGNIFICATION = 232;
constexpr int ID_DEFAULT_VALUES = 230;

// The items with a box; the reference line (5) and the spare items 8 and 9 pass through.
struct ItemBox {
    int item;
    int id;
    const char* label;
};
constexpr std::array<ItemBox, 7> kItemBoxes = {{{0, 221, "Lines"},
                                                {1, 222, "Big Pentagon"},
                                                {2, 223, "Big Star"},
                                                {3, 224, "Small Pentagon"},
                                                {4, 225, "Small Star"},
                                                {6, 227, "Big Solid Pentagon"},
                                                {7, 228, "Small Solid Pentagon"}}};

}  // namespace

CRandomChoiceDialog::CRandomChoiceDialog(const RandomChoice& choice, QWidget* parent)
    : QDialog(parent), m_choice(choice) {
    setWindowTitle(QStringLiteral("Random Choice Dialog"));
    auto* defaults = new QPushButton(QStringLiteral("Default Values"), this);
    defaults->setObjectName(QString::number(ID_DEFAULT_VALUES));
    defaults->setAutoDefault(false);
    m_controls[ID_DEFAULT_VALUES] = defaults;
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("1"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("2"));
    m_controls[1] = buttons->button(QDialogButtonBox::Ok);
    m_controls[2] = buttons->button(QDialogButtonBox::Cancel);

    auto* right = new QVBoxLayout;
    right->addWidget(BuildItemGroup());
    right->addWidget(BuildGlobalGroup());
    auto* columns = new QHBoxLayout;
    columns->addWidget(BuildOrderGroup(), 0, Qt::AlignTop);
    columns->addLayout(right);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(defaults);
    bottom->addStretch(1);
    bottom->addWidget(buttons);
    auto* layout = new QVBoxLayout(DialogPage(this));
    layout->addLayout(columns);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(defaults, &QPushButton::clicked, this, &CRandomChoiceDialog::OnDefaultValues);
    connect(buttons, &QDialogButtonBox::accepted, this, &CRandomChoiceDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QWidget* CRandomChoiceDialog::Control(int id) const {
    return id >= 0 && id < static_cast<int>(m_controls.size()) ? m_controls[id] : nullptr;
}

QCheckBox* CRandomChoiceDialog::AddCheck(int id, const QString& text, QWidget* parent) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(QString::number(id));
    m_controls[id] = box;
    return box;
}

QWidget* CRandomChoiceDialog::BuildOrderGroup() {
    auto* group = new QGroupBox(QStringLiteral("Order"), this);
    auto* layout = new QVBoxLayout(group);
    m_orderGroup = new QButtonGroup(this);
    for (int order = 0; order < kOrderCount; ++order) {
        auto* radio = new QRadioButton(QString::number(order), group);
        radio->setObjectName(QString::number(kOrderRadioIds[order]));
        m_controls[kOrderRadioIds[order]] = radio;
        m_orderGroup->addButton(radio, order);
        layout->addWidget(radio);
    }
    connect(m_orderGroup, &QButtonGroup::idClicked, this, &CRandomChoiceDialog::OnOrderClicked);
    return group;
}

QWidget* CRandomChoiceDialog::BuildItemGroup() {
    auto* group = new QGroupBox(QStringLiteral("Select Color Item"), this);
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(AddCheck(ID_BACKGROUND, QStringLiteral("Back Ground (no order)"), group));
    for (const ItemBox& box : kItemBoxes)
        layout->addWidget(AddCheck(box.id, QString::fromLatin1(box.label), group));
    return group;
}

QWidget* CRandomChoiceDialog::BuildGlobalGroup() {
    auto* group = new QGroupBox(QStringLiteral("Lines Offset and Magnification"), this);
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(AddCheck(ID_LINES_OFFSET, QStringLiteral("Choose Lines Offset"), group));
    layout->addWidget(AddCheck(ID_MAGNIFICATION, QStringLiteral("Choose Magnification"), group));
    return group;
}

void CRandomChoiceDialog::showEvent(QShowEvent* event) {
    static_cast<QCheckBox*>(Control(ID_LINES_OFFSET))->setChecked(m_choice.chooseLinesOffset > 0);
    static_cast<QCheckBox*>(Control(ID_MAGNIFICATION))
        ->setChecked(m_choice.chooseMagnification > 0);
    static_cast<QCheckBox*>(Control(ID_BACKGROUND))->setChecked(m_choice.chooseBackground > 0);
    m_orderGroup->button(m_nShownOrder)->setChecked(true);
    ShowItemBoxes();
    QDialog::showEvent(event);
}

void CRandomChoiceDialog::ShowItemBoxes() {
    for (const ItemBox& box : kItemBoxes)
        static_cast<QCheckBox*>(Control(box.id))
            ->setChecked(m_choice.itemFlags[m_nShownOrder][box.item] > 0);
}

void CRandomChoiceDialog::StoreItemBoxes(int order) {
    for (const ItemBox& box : kItemBoxes)
        m_choice.itemFlags[order][box.item] =
            static_cast<QCheckBox*>(Control(box.id))->isChecked() ? 1 : 0;
}

void CRandomChoiceDialog::OnOrderClicked(int order) {
    StoreItemBoxes(m_nShownOrder);
    m_nShownOrder = order;
    ShowItemBoxes();
}

void CRandomChoiceDialog::OnDefaultValues() {
    for (auto& flags : m_choice.itemFlags)
        for (const ItemBox& box : kItemBoxes) flags[box.item] = 1;
    ShowItemBoxes();
}

void CRandomChoiceDialog::accept() {
    StoreItemBoxes(m_nShownOrder);
    auto checked = [this](int id) {
        return static_cast<QCheckBox*>(Control(id))->isChecked() ? std::uint8_t{1}
                                                                 : std::uint8_t{0};
    };
    m_choice.chooseLinesOffset = checked(ID_LINES_OFFSET);
    m_choice.chooseMagnification = checked(ID_MAGNIFICATION);
    m_choice.chooseBackground = checked(ID_BACKGROUND);
    QDialog::accept();
}

bool EditRandomChoice(QWidget* parent, RandomChoice& choice) {
    CRandomChoiceDialog dialog(choice, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    choice = dialog.m_choice;
    return true;
}
