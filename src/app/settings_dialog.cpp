#include "app/settings_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "app/dialog_fit.h"
#include "app/draw_order_dialog.h"
#include "app/select_lines_dialog.h"
#include "app/validated_dialog.h"
#include "document/comment_text.h"
#include "document/dat_file.h"
#include "document/dib_doc.h"
#include "document/file_names.h"
#include "picture/user_prompts.h"

namespace {

constexpr int ID_PROJECT_NAME = 116;
constexpr int ID_COMMENT = 123;
constexpr int ID_CENTRE_X = 117;
constexpr int ID_CENTRE_Y = 118;
constexpr int ID_MAGNIFICATION = 119;
constexpr int ID_WIDTH = 107;
constexpr int ID_HEIGHT = 108;
constexpr int ID_UNITS = 112;
constexpr int ID_GOLD_SECT = 113;
constexpr int ID_GRADIENT = 199;
constexpr int ID_SELECT_LINES = 175;
constexpr int ID_LOAD_FILE = 125;
constexpr int ID_SAVE_FILE = 126;
constexpr int ID_DRAW_ONE_ORDER = 128;
constexpr int ID_GOLDEN_FROM_UNITS = 176;
constexpr int ID_UNITS_FROM_GOLDEN = 177;
constexpr int ID_OK = IDOK;
constexpr int ID_CANCEL = IDCANCEL;

constexpr std::array<int, 8> kItemIds = {114, 122, 127, 129, 130, 131, 133, 134};
const std::array<const char*, 8> kItemLabels = {"Draw Lines",
                                                "Draw Big Pentagon",
                                                "Draw Big Star",
                                                "Draw Small Pentagon",
                                                "Draw Small Star",
                                                "Draw Reference Line",
                                                "Draw Big Solid Pentagon",
                                                "Draw Small Solid Pentagon"};
constexpr std::array<int, 7> kSizeIds = {101, 102, 103, 104, 105, 106, 109};
const std::array<const char*, 7> kSizeLabels = {
    "320 x 200", "640 x 480", "800 x 600", "1024 x 768", "1280 x 1024", "1680 x 1050", "Free size"};
constexpr std::array<int, kOrderCount> kOrderRadioIds = {110, 111, 120, 121, 124,
                                                         132, 135, 136, 137, 138};

constexpr int kNameLimit = 100;
constexpr int kCommentLimit = 90;
// Beyond this the scale 2^exp x half width is no longer a finite, non-zero number.
constexpr double kMagnExpLimit = 1000.0;

// The text of a NUL-terminated record field, never reading past its capacity.
template <std::size_t N>
std::string FieldText(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

// Copies text into a record field: at most limit bytes, never splitting a UTF-8 character,
// always NUL-terminated.
template <std::size_t N>
void CopyToField(char (&field)[N], const std::string& text, std::size_t limit) {
    std::size_t length = std::min({text.size(), limit, N - 1});
    while (length > 0 && length < text.size() &&
           (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
        --length;
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), length);
}

// Copies Windows-1252 text (one byte per character) into a record field, NUL-terminated.
template <std::size_t N>
void CopyBytesToField(char (&field)[N], const std::string& text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), text.size());
}

// Golden-ratio partner of a value, or false when it does not fit a 32-bit integer.
bool NearestInt(double value, int& result) {
    double rounded = std::floor(value + 0.5);
    if (!(rounded >= INT_MIN && rounded <= INT_MAX)) return false;
    result = static_cast<int>(rounded);
    return true;
}

}  // namespace

bool PictureSizeIsPaintable(std::int64_t width, std::int64_t height) {
    if (width < 1 || height < 1 || width > INT_MAX || height > INT_MAX) return false;
    std::int64_t stride = DibRowStride(width, 24);
    std::int64_t room = static_cast<std::int64_t>(DibImage::kMaxBytes) - kDibHeaderBytes;
    return stride <= room / height;
}

int SizeChoiceFor(int width, int height) {
    for (int choice = 0; choice < static_cast<int>(kPictureSizes.size()); ++choice)
        if (kPictureSizes[choice].width == width && kPictureSizes[choice].height == height)
            return choice;
    return kFreeSizeChoice;
}

std::int64_t WidthRoundedUp(std::int64_t width) {
    return (width + 3) / 4 * 4;
}

CSettingsDialog::CSettingsDialog(FigureEngine& edit, UserPrompts& ui, QWidget* parent)
    : QDialog(parent), m_edit(edit), m_ui(ui) {
    setWindowTitle(QStringLiteral("Dorvanta Settings"));
    BuildControls();
}

QWidget* CSettingsDialog::Control(int id) const {
    auto found = m_controls.find(id);
    return found == m_controls.end() ? nullptr : found->second;
}

// ---- Building the controls ----

QLineEdit* CSettingsDialog::AddEdit(int id) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QString::number(id));
    m_controls[id] = edit;
    return edit;
}

QCheckBox* CSettingsDialog::AddCheck(int id, const QString& text) {
    auto* box = new QCheckBox(text, this);
    box->setObjectName(QString::number(id));
    m_controls[id] = box;
    return box;
}

QPushButton* CSettingsDialog::AddButton(int id, const QString& text) {
    auto* button = new QPushButton(text, this);
    button->setObjectName(QString::number(id));
    button->setAutoDefault(false);
    m_controls[id] = button;
    return button;
}

void CSettingsDialog::BuildControls() {
    auto* left = new QVBoxLayout;
    left->addWidget(BuildNameFields());
    left->addWidget(BuildPictureSizeGroup());
    left->addWidget(BuildViewDataGroup());
    left->addWidget(BuildStartOffsetGroup());
    left->addStretch(1);
    auto* columns = new QHBoxLayout;
    columns->addLayout(left);
    columns->addWidget(BuildDrawItemGroup(), 0, Qt::AlignTop);
    columns->addWidget(BuildDrawOrderGroup(), 0, Qt::AlignTop);
    auto* layout = new QVBoxLayout(DialogPage(this));
    layout->addLayout(columns);
    layout->addWidget(BuildButtons());
    layout->setSizeConstraint(QLayout::SetFixedSize);

    auto* ok = static_cast<QPushButton*>(Control(ID_OK));
    ok->setDefault(true);
    setTabOrder(Control(ID_COMMENT), Control(ID_SAVE_FILE));
    Control(ID_WIDTH)->installEventFilter(this);
    Control(ID_COMMENT)->installEventFilter(this);
}

QWidget* CSettingsDialog::BuildNameFields() {
    auto* box = new QWidget(this);
    auto* form = new QFormLayout(box);
    form->setContentsMargins(0, 0, 0, 0);
    form->addRow(QStringLiteral("Project Name"), AddEdit(ID_PROJECT_NAME));
    form->addRow(QStringLiteral("Comment"), AddEdit(ID_COMMENT));
    return box;
}

QWidget* CSettingsDialog::BuildPictureSizeGroup() {
    auto* group = new QGroupBox(QStringLiteral("Picture Size"), this);
    auto* grid = new QGridLayout(group);
    m_sizeGroup = new QButtonGroup(this);
    for (int choice = 0; choice < static_cast<int>(kSizeIds.size()); ++choice) {
        auto* radio = new QRadioButton(QString::fromLatin1(kSizeLabels[choice]), group);
        radio->setObjectName(QString::number(kSizeIds[choice]));
        m_controls[kSizeIds[choice]] = radio;
        m_sizeGroup->addButton(radio, choice);
        grid->addWidget(radio, choice % 4, choice / 4);
    }
    auto* sizeFields = new QFormLayout;
    QLineEdit* width = AddEdit(ID_WIDTH);
    QLineEdit* height = AddEdit(ID_HEIGHT);
    for (QLineEdit* field : {width, height})
        field->setMaximumWidth(fontMetrics().averageCharWidth() * 10);
    sizeFields->addRow(QStringLiteral("X"), width);
    sizeFields->addRow(QStringLiteral("Y"), height);
    grid->addLayout(sizeFields, 3, 1, 2, 1);
    connect(m_sizeGroup, &QButtonGroup::idClicked, this, &CSettingsDialog::OnSizePreset);
    return group;
}

// Labels of the View Data and Start Offset fields share one width, so both columns line up.
QLabel* CSettingsDialog::FieldLabel(const QString& text) {
    auto* label = new QLabel(text, this);
    label->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("Magnification (exp)")));
    return label;
}

QWidget* CSettingsDialog::BuildViewDataGroup() {
    auto* group = new QGroupBox(QStringLiteral("View Data"), this);
    auto* form = new QFormLayout(group);
    form->addRow(FieldLabel(QStringLiteral("Central Position X")), AddEdit(ID_CENTRE_X));
    form->addRow(FieldLabel(QStringLiteral("Central Position Y")), AddEdit(ID_CENTRE_Y));
    form->addRow(FieldLabel(QStringLiteral("Magnification (exp)")), AddEdit(ID_MAGNIFICATION));
    return group;
}

QWidget* CSettingsDialog::BuildStartOffsetGroup() {
    auto* group = new QGroupBox(QStringLiteral("Start Offset"), this);
    auto* form = new QFormLayout(group);
    form->addRow(FieldLabel(QStringLiteral("Units")), AddEdit(ID_UNITS));
    form->addRow(FieldLabel(QStringLiteral("Gold Sect")), AddEdit(ID_GOLD_SECT));
    auto* golden = new QHBoxLayout;
    golden->addWidget(new QLabel(QStringLiteral("Make ratio Golden Section"), group));
    QPushButton* fromUnits = AddButton(ID_GOLDEN_FROM_UNITS, QStringLiteral("\\/"));
    QPushButton* fromGolden = AddButton(ID_UNITS_FROM_GOLDEN, QStringLiteral("/\\"));
    for (QPushButton* button : {fromUnits, fromGolden})
        button->setMaximumWidth(fontMetrics().averageCharWidth() * 6);
    golden->addWidget(fromUnits);
    golden->addWidget(fromGolden);
    golden->addStretch(1);
    form->addRow(golden);
    connect(fromUnits, &QPushButton::clicked, this, &CSettingsDialog::OnGoldenFromUnits);
    connect(fromGolden, &QPushButton::clicked, this, &CSettingsDialog::OnUnitsFromGolden);
    return group;
}

QWidget* CSettingsDialog::BuildDrawItemGroup() {
    auto* group = new QGroupBox(QStringLiteral("Draw item"), this);
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(new QLabel(QStringLiteral("Select"), group));
    auto* radios = new QGridLayout;
    m_orderGroup = new QButtonGroup(this);
    for (int order = 0; order < kOrderCount; ++order) {
        auto* radio = new QRadioButton(QString::number(order), group);
        radio->setObjectName(QString::number(kOrderRadioIds[order]));
        m_controls[kOrderRadioIds[order]] = radio;
        m_orderGroup->addButton(radio, order);
        radios->addWidget(radio, order / 5, order % 5);
    }
    layout->addLayout(radios);
    layout->addSpacing(fontMetrics().height() / 2);
    for (int item = 0; item < 8; ++item)
        layout->addWidget(AddCheck(kItemIds[item], QString::fromLatin1(kItemLabels[item])));
    QPushButton* selectLines = AddButton(ID_SELECT_LINES, QStringLiteral("Select Lines"));
    layout->addWidget(selectLines, 0, Qt::AlignLeft);
    layout->addSpacing(fontMetrics().height() / 2);
    layout->addWidget(AddCheck(ID_GRADIENT, QStringLiteral("Gradient On")));
    connect(m_orderGroup, &QButtonGroup::idClicked, this, &CSettingsDialog::OnOrderClicked);
    connect(static_cast<QCheckBox*>(Control(kItemIds[ITEM_LINES])), &QCheckBox::clicked, this,
            &CSettingsDialog::ApplyEnableRules);
    connect(selectLines, &QPushButton::clicked, this, &CSettingsDialog::OnSelectLines);
    return group;
}

QWidget* CSettingsDialog::BuildDrawOrderGroup() {
    auto* group = new QGroupBox(QStringLiteral("Draw Order"), this);
    auto* grid = new QGridLayout(group);
    grid->addWidget(new QLabel(QStringLiteral("Draw"), group), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Transparency"), group), 0, 1);
    for (int order = 0; order < kOrderCount; ++order) {
        grid->addWidget(AddCheck(kDrawOrderIds[order], OrderLabel(order)), order + 1, 0);
        QLineEdit* transparency = AddEdit(kTransparencyIds[order]);
        transparency->setMaximumWidth(fontMetrics().averageCharWidth() * 10);
        grid->addWidget(transparency, order + 1, 1);
    }
    return group;
}

QWidget* CSettingsDialog::BuildButtons() {
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    QPushButton* load = AddButton(ID_LOAD_FILE, QStringLiteral("Load file.."));
    QPushButton* save = AddButton(ID_SAVE_FILE, QStringLiteral("Save file.."));
    QPushButton* drawOne = AddButton(ID_DRAW_ONE_ORDER, QStringLiteral("Draw One Order"));
    QPushButton* ok = AddButton(ID_OK, QStringLiteral("OK"));
    QPushButton* cancel = AddButton(ID_CANCEL, QStringLiteral("Cancel"));
    drawOne->setToolTip(QStringLiteral("Exit dialog and draw one order only"));
    layout->addWidget(load);
    layout->addWidget(save);
    layout->addStretch(1);
    layout->addWidget(drawOne);
    layout->addWidget(ok);
    layout->addWidget(cancel);
    connect(load, &QPushButton::clicked, this, &CSettingsDialog::OnLoadFile);
    connect(save, &QPushButton::clicked, this, &CSettingsDialog::OnSaveFile);
    connect(drawOne, &QPushButton::clicked, this, &CSettingsDialog::OnDrawOneOrder);
    connect(ok, &QPushButton::clicked, this, &CSettingsDialog::OnOk);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    return row;
}

// ---- Working copy ----

void CSettingsDialog::LoadFromWorkingCopy() {
    m_strName = StripAtFirstDot(FieldText(m_edit.m_szName));
    m_strComment = FieldText(m_edit.m_szComment);
    m_dCentreX = m_edit.m_dCentreX;
    m_dCentreY = m_edit.m_dCentreY;
    m_dMagnExp = m_edit.m_dMagnExp;
    m_nWidth = m_edit.m_nWidth;
    m_nHeight = m_edit.m_nHeight;
    m_nUn = m_edit.m_nUn;
    m_nGs = m_edit.m_nGs;
    // A stored order outside 0..9 (a damaged file) shows order 0 rather than reading past the
    // table.
    bool valid = m_edit.m_nCurrentOrder >= 0 && m_edit.m_nCurrentOrder < kOrderCount;
    m_nShownOrder = valid ? m_edit.m_nCurrentOrder : 0;
    const OrderSettings& shown = m_edit.m_orders[m_nShownOrder];
    for (int item = 0; item < 8; ++item) m_items[item] = shown.drawItems[item];
    m_lineSwitches = shown.drawLines;
    for (int order = 0; order < kOrderCount; ++order) {
        m_transparency[order] = m_edit.m_orders[order].transparency;
        m_drawOrder[order] = m_edit.m_orders[order].drawOrder;
    }
    m_bGradient = m_edit.m_bGradient;
}

void CSettingsDialog::StoreToWorkingCopy(int order) {
    CopyToField(m_edit.m_szName, m_strName, kNameLimit);
    CopyBytesToField(m_edit.m_szComment, m_strComment);
    m_edit.m_dCentreX = m_dCentreX;
    m_edit.m_dCentreY = m_dCentreY;
    m_edit.m_dMagnExp = m_dMagnExp;
    m_edit.m_nWidth = m_nWidth;
    m_edit.m_nHeight = m_nHeight;
    m_edit.m_nUn = m_nUn;
    m_edit.m_nGs = m_nGs;
    OrderSettings& target = m_edit.m_orders[std::clamp(order, 0, kOrderCount - 1)];
    for (int item = 0; item < 8; ++item) target.drawItems[item] = m_items[item] > 0 ? 1 : 0;
    for (int family = 0; family < 5; ++family)
        target.drawLines[family] = m_lineSwitches[family] > 0 ? 1 : 0;
    m_edit.m_nCurrentOrder = m_nShownOrder;
    for (int order = 0; order < kOrderCount; ++order) {
        m_edit.m_orders[order].transparency = m_transparency[order];
        m_edit.m_orders[order].drawOrder = m_drawOrder[order] > 0 ? 1 : 0;
    }
    m_edit.m_bGradient = m_bGradient > 0 ? 1 : 0;
}

// ---- Exchange between members and controls ----

QLineEdit* CSettingsDialog::EditControl(int id) const {
    return static_cast<QLineEdit*>(Control(id));
}

int CSettingsDialog::CheckState(int id) const {
    return static_cast<QCheckBox*>(Control(id))->isChecked() ? 1 : 0;
}

bool CSettingsDialog::ReadViewFields(TypedFields& fields) {
    fields.name = EditControl(ID_PROJECT_NAME)->text().toStdString();
    return ReadCommentField(fields.comment) &&
           ReadNumberField(EditControl(ID_CENTRE_X), QStringLiteral("Central Position X"),
                           fields.centreX, m_ui) &&
           ReadNumberField(EditControl(ID_CENTRE_Y), QStringLiteral("Central Position Y"),
                           fields.centreY, m_ui) &&
           ReadRealField(EditControl(ID_MAGNIFICATION), QStringLiteral("Magnification (exp)"),
                         -kMagnExpLimit, kMagnExpLimit, fields.magnExp, m_ui);
}

// The comment is stored as Windows-1252 text: a character that code page cannot hold is refused
// by name, rather than lost in the file.
bool CSettingsDialog::ReadCommentField(std::string& comment) {
    std::string typed;
    if (!ReadTextField(EditControl(ID_COMMENT), QStringLiteral("Comment"), kCommentLimit, typed,
                       m_ui))
        return false;
    char32_t unheld = 0;
    if (Windows1252FromUtf8(typed, comment, &unheld)) return true;
    RefuseField(Control(ID_COMMENT),
                QStringLiteral("The character \"%1\" (U+%2) cannot be stored in \"Comment\": "
                               "parameter files hold Western European (Windows-1252) characters "
                               "only. Please replace it.")
                    .arg(QString::fromUcs4(&unheld, 1))
                    .arg(static_cast<unsigned>(unheld), 4, 16, QLatin1Char('0'))
                    .toStdString(),
                m_ui);
    return false;
}

bool CSettingsDialog::ReadSizeFields(TypedFields& fields) {
    if (!ReadIntField(EditControl(ID_WIDTH), QStringLiteral("X"), 1, INT_MAX, fields.width, m_ui) ||
        !ReadIntField(EditControl(ID_HEIGHT), QStringLiteral("Y"), 1, INT_MAX, fields.height, m_ui))
        return false;
    if (PictureSizeIsPaintable(fields.width, fields.height)) return true;
    RefuseField(Control(ID_WIDTH),
                QStringLiteral("A picture of %1 x %2 pixels needs more than 2 GiB and cannot be "
                               "painted. Please enter a smaller size in \"X\" and \"Y\".")
                    .arg(fields.width)
                    .arg(fields.height)
                    .toStdString(),
                m_ui);
    return false;
}

bool CSettingsDialog::ReadOffsetFields(TypedFields& fields) {
    return ReadIntField(EditControl(ID_UNITS), QStringLiteral("Units"), INT_MIN, INT_MAX, fields.un,
                        m_ui) &&
           ReadIntField(EditControl(ID_GOLD_SECT), QStringLiteral("Gold Sect"), INT_MIN, INT_MAX,
                        fields.gs, m_ui);
}

bool CSettingsDialog::ReadTransparencies(TypedFields& fields) {
    for (int order = 0; order < kOrderCount; ++order)
        if (!ReadRealField(EditControl(kTransparencyIds[order]), TransparencyLabel(order), 0.0, 1.0,
                           fields.transparency[order], m_ui))
            return false;
    return true;
}

void CSettingsDialog::AdoptFields(const TypedFields& fields) {
    m_strName = fields.name;
    m_strComment = fields.comment;
    m_dCentreX = fields.centreX;
    m_dCentreY = fields.centreY;
    m_dMagnExp = fields.magnExp;
    m_nWidth = fields.width;
    m_nHeight = fields.height;
    m_nUn = fields.un;
    m_nGs = fields.gs;
    m_transparency = fields.transparency;
}

void CSettingsDialog::TakeOverSwitches() {
    for (int item = 0; item < 8; ++item) m_items[item] = CheckState(kItemIds[item]);
    m_nSizeChoice = std::max(0, m_sizeGroup->checkedId());
    m_nShownOrder = std::max(0, m_orderGroup->checkedId());
    for (int order = 0; order < kOrderCount; ++order)
        m_drawOrder[order] = CheckState(kDrawOrderIds[order]);
    m_bGradient = CheckState(ID_GRADIENT);
}

// Fields are read in the order of the dialog; the first refusal stops and takes nothing over.
bool CSettingsDialog::TakeOverValues() {
    TypedFields fields;
    if (!ReadViewFields(fields) || !ReadSizeFields(fields) || !ReadOffsetFields(fields) ||
        !ReadTransparencies(fields))
        return false;
    AdoptFields(fields);
    TakeOverSwitches();
    ApplyEnableRules();
    return true;
}

void CSettingsDialog::ShowValues() {
    auto check = [this](int id, int value) {
        static_cast<QCheckBox*>(Control(id))->setChecked(value > 0);
    };
    EditControl(ID_PROJECT_NAME)->setText(FromUtf8(m_strName));
    EditControl(ID_COMMENT)->setText(FromUtf8(Utf8FromWindows1252(m_strComment)));
    ShowReal(EditControl(ID_CENTRE_X), m_dCentreX);
    ShowReal(EditControl(ID_CENTRE_Y), m_dCentreY);
    ShowReal(EditControl(ID_MAGNIFICATION), m_dMagnExp);
    ShowInt(EditControl(ID_WIDTH), m_nWidth);
    ShowInt(EditControl(ID_HEIGHT), m_nHeight);
    ShowInt(EditControl(ID_UNITS), m_nUn);
    ShowInt(EditControl(ID_GOLD_SECT), m_nGs);
    for (int item = 0; item < 8; ++item) check(kItemIds[item], m_items[item]);
    m_sizeGroup->button(std::clamp(m_nSizeChoice, 0, kFreeSizeChoice))->setChecked(true);
    m_orderGroup->button(std::clamp(m_nShownOrder, 0, kOrderCount - 1))->setChecked(true);
    for (int order = 0; order < kOrderCount; ++order) {
        ShowReal(EditControl(kTransparencyIds[order]), m_transparency[order]);
        check(kDrawOrderIds[order], m_drawOrder[order]);
    }
    check(ID_GRADIENT, m_bGradient);
    ApplyEnableRules();
}

void CSettingsDialog::ApplyEnableRules() {
    bool freeSize = m_sizeGroup->checkedId() == kFreeSizeChoice;
    Control(ID_WIDTH)->setEnabled(freeSize);
    Control(ID_HEIGHT)->setEnabled(freeSize);
    bool lines = static_cast<QCheckBox*>(Control(kItemIds[ITEM_LINES]))->isChecked();
    Control(ID_SELECT_LINES)->setEnabled(lines);
}

// ---- Events ----

void CSettingsDialog::showEvent(QShowEvent* event) {
    if (!m_bOpened) {
        m_bOpened = true;
        OnOpening();
    }
    QDialog::showEvent(event);
}

void CSettingsDialog::OnOpening() {
    LoadFromWorkingCopy();
    m_strSavedPath.clear();
    m_nSizeChoice = SizeChoiceFor(m_nWidth, m_nHeight);
    ShowValues();
}

bool CSettingsDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Control(ID_WIDTH) && event->type() == QEvent::FocusOut) {
        OnWidthLeft();
    } else if (watched == Control(ID_COMMENT) && event->type() == QEvent::FocusIn) {
        static_cast<QPushButton*>(Control(ID_SAVE_FILE))->setDefault(true);
    } else if (watched == Control(ID_COMMENT) && event->type() == QEvent::FocusOut) {
        static_cast<QPushButton*>(Control(ID_OK))->setDefault(true);
    }
    return QDialog::eventFilter(watched, event);
}

void CSettingsDialog::OnSizePreset(int choice) {
    m_nSizeChoice = choice;
    if (choice >= 0 && choice < kFreeSizeChoice) {
        m_nWidth = kPictureSizes[choice].width;
        m_nHeight = kPictureSizes[choice].height;
        ShowInt(EditControl(ID_WIDTH), m_nWidth);
        ShowInt(EditControl(ID_HEIGHT), m_nHeight);
    }
    ApplyEnableRules();
}

// Only a valid number is rounded here; anything else is reported when the dialog is confirmed,
// so that leaving the field never traps the user between message boxes.
void CSettingsDialog::OnWidthLeft() {
    auto* field = EditControl(ID_WIDTH);
    bool ok = false;
    int width = field->text().trimmed().toInt(&ok);
    if (!ok) return;
    std::int64_t rounded = WidthRoundedUp(width);
    if (rounded > INT_MAX) return;
    ShowInt(field, static_cast<int>(rounded));
}

void CSettingsDialog::OnOrderClicked(int order) {
    int shownSoFar = m_nShownOrder;
    if (!TakeOverValues()) {
        m_orderGroup->button(shownSoFar)->setChecked(true);
        return;
    }
    m_nShownOrder = order;
    StoreToWorkingCopy(shownSoFar);
    LoadFromWorkingCopy();
    ShowValues();
}

void CSettingsDialog::OnSelectLines() {
    CSelectLinesDialog dialog(m_lineSwitches, this);
    if (dialog.exec() == QDialog::Accepted) m_lineSwitches = dialog.m_lines;
}

void CSettingsDialog::OnGoldenFromUnits() {
    if (!TakeOverValues()) return;
    int gs = 0;
    if (!NearestInt(m_nUn * kPhi, gs)) {
        RefuseField(Control(ID_UNITS),
                    "\"Units\" is too large for a \"Gold Sect\" value to be computed from it.",
                    m_ui);
        return;
    }
    m_nGs = gs;
    ShowValues();
}

void CSettingsDialog::OnUnitsFromGolden() {
    if (!TakeOverValues()) return;
    NearestInt(m_nGs / kPhi, m_nUn);  // |Gs / phi| always fits
    ShowValues();
}

void CSettingsDialog::OnLoadFile() {
    if (!TakeOverValues()) return;
    std::string path = FieldText(m_edit.m_szDirectory) + m_strName;
    if (!m_ui.AskOpenPath(kDatFilter, kDatExtension, path)) return;
    if (LoadDatFile(m_edit, path, m_ui) == DAT_OK)
        m_edit.SetNamesFromPath(path.substr(DirectoryOf(path).size()));
    // A loaded file never changes the picture size the dialog shows.
    m_edit.m_nWidth = m_nWidth;
    m_edit.m_nHeight = m_nHeight;
    LoadFromWorkingCopy();
    ShowValues();
}

// The values shown are stored first, so that the file holds what the user sees.
void CSettingsDialog::OnSaveFile() {
    if (!TakeOverValues()) return;
    std::string path = m_strName;
    if (!m_ui.AskSavePath(kDatFilter, kDatExtension, path)) return;
    StoreToWorkingCopy(m_nShownOrder);
    if (SaveDatFile(m_edit, path) != DAT_OK) {
        m_ui.ShowMessage("The parameter file could not be written:\n" + path, MsgButtons::Ok,
                         MsgIcon::Exclamation);
        return;
    }
    m_strSavedPath = StripAtFirstDot(path);
    m_strName = FileTitleOf(path);
    m_edit.SetNamesFromPath(path);
    ShowValues();
}

void CSettingsDialog::OnDrawOneOrder() {
    if (!TakeOverValues()) return;
    StoreToWorkingCopy(m_nShownOrder);
    done(RESULT_DRAW_ONE_ORDER);
}

void CSettingsDialog::OnOk() {
    if (!TakeOverValues()) return;
    StoreToWorkingCopy(m_nShownOrder);
    done(IDOK);
}

void CSettingsDialog::reject() {
    done(IDCANCEL);
}

int RunSettingsDialog(QWidget* parent, FigureEngine& edit, std::string& savedPath,
                      UserPrompts& ui) {
    CSettingsDialog dialog(edit, ui, parent);
    int result = dialog.exec();
    savedPath = dialog.m_strSavedPath;
    return result;
}
