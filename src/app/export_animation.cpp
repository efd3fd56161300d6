#include "app/export_animation.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <memory>

#include "app/animation_preview.h"
#include "app/validated_dialog.h"
#include "document/dib_doc.h"

namespace {

constexpr int kDefaultFps = 30;
constexpr const char* kDefaultDuration = "2s";
constexpr const char* kKeyframeFilter =
    "Dorvanta files (*.dat)|*.dat|Png files (*.png)|*.png|Svg files (*.svg)|*.svg|"
    "All files(*.*)|*.*||";

struct KindEntry {
    const char* name;
    AnimationKind kind;
    const char* filter;
    const char* ending;  // what the path ends with
};
const KindEntry kKinds[] = {
    {"MP4 video (H.264)", AnimationKind::Mp4, "MP4 videos (*.mp4)|*.mp4|All files(*.*)|*.*||",
     ".mp4"},
    {"WebM video (VP9)", AnimationKind::Webm, "WebM videos (*.webm)|*.webm|All files(*.*)|*.*||",
     ".webm"},
    {"Animated PNG", AnimationKind::AnimatedPng, "Png files (*.png)|*.png|All files(*.*)|*.*||",
     ".png"},
    {"PNG frames in a folder", AnimationKind::PngFrames,
     "Png files (*.png)|*.png|All files(*.*)|*.*||", "%05d.png"},
};

// The path without the ending of any kind (a frame pattern's number field included).
QString WithoutEnding(QString path) {
    static const QRegularExpression pattern(QStringLiteral("%0?\\d*d\\.png$"),
                                            QRegularExpression::CaseInsensitiveOption);
    path.remove(pattern);
    for (const KindEntry& k : kKinds) {
        const QString ending = QString::fromLatin1(k.ending);
        if (path.endsWith(ending, Qt::CaseInsensitive)) return path.chopped(ending.size());
    }
    return path;
}

QString IntervalLabel(int interval) {
    return QStringLiteral("Duration %1 to %2").arg(interval + 1).arg(interval + 2);
}

// Beside the dialog, on its right where the screen has room, else on its left, so that both can
// be seen at once.
void PlaceBeside(QWidget& window, const QWidget& dialog) {
    window.adjustSize();
    const QScreen* screen = dialog.screen();
    if (!screen) return;
    const QRect room = screen->availableGeometry();
    const QRect next = dialog.frameGeometry();
    const QSize size = window.size();
    int x = next.right() + 1;
    if (x + size.width() > room.right()) x = std::max(room.left(), next.left() - size.width());
    const int y =
        std::clamp(next.top(), room.top(), std::max(room.top(), room.bottom() - size.height()));
    window.move(x, y);
}

QString KeyframeText(const AnimationKeyframe& k) {
    return QStringLiteral("%1 (%2 \u00d7 %3)")
        .arg(QString::fromStdString(k.name))
        .arg(k.figure.m_nWidth)
        .arg(k.figure.m_nHeight);
}

}  // namespace

CExportAnimationDialog::CExportAnimationDialog(std::vector<AnimationKeyframe> keyframes,
                                               const std::vector<std::string>& pictures,
                                               std::string basePath, UserPrompts& ui,
                                               QWidget* parent)
    : QDialog(parent), m_ui(ui), m_keyframes(std::move(keyframes)) {
    setWindowTitle(tr("Export Animation"));
    m_durations.assign(m_keyframes.size() > 1 ? m_keyframes.size() - 1 : 0,
                       QString::fromLatin1(kDefaultDuration));
    m_table = new QTableWidget(0, 2, this);
    m_table->setHorizontalHeaderLabels({tr("Keyframe"), tr("Then, for")});
    m_table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setMinimumWidth(fontMetrics().averageCharWidth() * 56);
    m_pictureNote = new QLabel(this);
    m_pictureNote->setWordWrap(true);
    if (!pictures.empty()) {
        QStringList names;
        for (const std::string& name : pictures) names << QString::fromStdString(name);
        m_pictureNote->setText(tr("A picture cannot be a keyframe, only a figure: %1 left out.")
                                   .arg(names.join(QStringLiteral(", "))));
    }
    m_pictureNote->setVisible(!pictures.empty());
    m_add = new QPushButton(tr("&Add File..."), this);
    m_remove = new QPushButton(tr("&Remove"), this);
    m_up = new QPushButton(tr("Move &Up"), this);
    m_down = new QPushButton(tr("Move &Down"), this);
    connect(m_add, &QPushButton::clicked, this, &CExportAnimationDialog::AddFile);
    connect(m_remove, &QPushButton::clicked, this, &CExportAnimationDialog::RemoveKeyframe);
    connect(m_up, &QPushButton::clicked, this, [this] { MoveKeyframe(-1); });
    connect(m_down, &QPushButton::clicked, this, [this] { MoveKeyframe(1); });
    auto* listButtons = new QVBoxLayout;
    for (QPushButton* b : {m_add, m_remove, m_up, m_down}) listButtons->addWidget(b);
    listButtons->addStretch();
    auto* list = new QHBoxLayout;
    list->addWidget(m_table);
    list->addLayout(listButtons);

    // Wide ranges: a value outside the allowed one is refused on OK, not silently replaced.
    m_fps = new QSpinBox(this);
    m_fps->setRange(INT_MIN, INT_MAX);
    m_fps->setValue(kDefaultFps);
    m_width = new QSpinBox(this);
    m_height = new QSpinBox(this);
    for (QSpinBox* side : {m_width, m_height}) side->setRange(INT_MIN, INT_MAX);
    const FigureParams first = m_keyframes.empty() ? FigureParams{} : m_keyframes[0].figure;
    m_width->setValue(m_keyframes.empty() ? 1200 : first.m_nWidth);
    m_height->setValue(m_keyframes.empty() ? 900 : first.m_nHeight);
    auto* size = new QHBoxLayout;
    size->addWidget(m_width);
    size->addWidget(new QLabel(QStringLiteral("\u00d7"), this));
    size->addWidget(m_height);
    size->addStretch();
    m_easing = new QComboBox(this);
    m_easing->addItem(tr("Linear"), static_cast<int>(Easing::Linear));
    m_easing->addItem(tr("Ease in and out"), static_cast<int>(Easing::EaseInOut));
    m_kind = new QComboBox(this);
    for (const KindEntry& k : kKinds) m_kind->addItem(tr(k.name), static_cast<int>(k.kind));
    m_path = new QLineEdit(QString::fromStdString(basePath) + kKinds[0].ending, this);
    m_path->setMinimumWidth(fontMetrics().averageCharWidth() * 40);
    m_browse = new QPushButton(tr("&Browse..."), this);
    connect(m_browse, &QPushButton::clicked, this, &CExportAnimationDialog::Browse);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(m_path);
    fileRow->addWidget(m_browse);
    auto* form = new QFormLayout;
    form->addRow(tr("Frame ra&te (fps)"), m_fps);
    auto* sizeLabel = new QLabel(tr("&Size"), this);
    sizeLabel->setBuddy(m_width);  // a row of several widgets gets no buddy of its own
    form->addRow(sizeLabel, size);
    form->addRow(tr("&Easing"), m_easing);
    form->addRow(tr("&Kind"), m_kind);
    auto* fileLabel = new QLabel(tr("Fi&le"), this);
    fileLabel->setBuddy(m_path);
    form->addRow(fileLabel, fileRow);
    m_summary = new QLabel(this);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("E&xport"));
    m_previewButton = buttons->addButton(tr("&Preview"), QDialogButtonBox::ActionRole);
    connect(m_previewButton, &QPushButton::clicked, this, &CExportAnimationDialog::ShowPreview);
    connect(buttons, &QDialogButtonBox::accepted, this, &CExportAnimationDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    auto* tableLabel = new QLabel(tr("Key&frames, in the order they are shown:"), this);
    tableLabel->setBuddy(m_table);
    layout->addWidget(tableLabel);
    layout->addLayout(list);
    layout->addWidget(m_pictureNote);
    layout->addLayout(form);
    layout->addWidget(m_summary);
    layout->addWidget(buttons);

    connect(m_kind, &QComboBox::currentIndexChanged, this, &CExportAnimationDialog::KindChanged);
    connect(m_fps, &QSpinBox::valueChanged, this, &CExportAnimationDialog::UpdateSummary);
    FillTable();
}

QLineEdit* CExportAnimationDialog::DurationEdit(int interval) const {
    if (interval < 0 || interval + 1 >= m_table->rowCount()) return nullptr;
    return qobject_cast<QLineEdit*>(m_table->cellWidget(interval, 1));
}

// Rows from the keyframes; every row but the last has its interval's duration.
void CExportAnimationDialog::FillTable() {
    const int selected = m_table->currentRow();
    m_table->setRowCount(static_cast<int>(m_keyframes.size()));
    for (int row = 0; row < m_table->rowCount(); ++row) {
        m_table->setItem(row, 0, new QTableWidgetItem(KeyframeText(m_keyframes[row])));
        m_table->removeCellWidget(row, 1);
        if (row + 1 == m_table->rowCount()) continue;
        auto* duration = new QLineEdit(m_durations[row]);
        duration->setToolTip(tr("Seconds (2s, 2.5s) or milliseconds (500ms)"));
        connect(duration, &QLineEdit::textChanged, this, &CExportAnimationDialog::UpdateSummary);
        m_table->setCellWidget(row, 1, duration);
    }
    m_table->setCurrentCell(std::min(selected, m_table->rowCount() - 1), 0);
    UpdateSummary();
}

void CExportAnimationDialog::KeepDurationTexts() {
    for (int i = 0; i < static_cast<int>(m_durations.size()); ++i) {
        if (QLineEdit* edit = DurationEdit(i)) m_durations[i] = edit->text();
    }
}

void CExportAnimationDialog::AddFile() {
    std::string path;
    if (!m_ui.AskOpenPath(kKeyframeFilter, ".dat", path)) return;
    AnimationKeyframe keyframe;
    std::string cause;
    if (!LoadKeyframe(path, keyframe.figure, cause)) {
        m_ui.ShowMessage("Cannot take " + path + " as a keyframe:\n" + cause);
        return;
    }
    keyframe.name = QFileInfo(QString::fromStdString(path)).fileName().toStdString();
    KeepDurationTexts();
    if (m_keyframes.empty()) {
        m_width->setValue(keyframe.figure.m_nWidth);
        m_height->setValue(keyframe.figure.m_nHeight);
    } else {
        m_durations.push_back(QString::fromLatin1(kDefaultDuration));
    }
    m_keyframes.push_back(std::move(keyframe));
    FillTable();
    m_table->setCurrentCell(m_table->rowCount() - 1, 0);
}

// The durations stay with their places: the intervals keep their lengths whatever moves.
void CExportAnimationDialog::RemoveKeyframe() {
    const int row = m_table->currentRow();
    if (row < 0 || row >= static_cast<int>(m_keyframes.size())) return;
    KeepDurationTexts();
    m_keyframes.erase(m_keyframes.begin() + row);
    if (!m_durations.empty()) {
        m_durations.erase(m_durations.begin() +
                          std::min<int>(row, static_cast<int>(m_durations.size()) - 1));
    }
    FillTable();
}

void CExportAnimationDialog::MoveKeyframe(int step) {
    const int row = m_table->currentRow();
    const int to = row + step;
    if (row < 0 || to < 0 || to >= static_cast<int>(m_keyframes.size())) return;
    KeepDurationTexts();
    std::swap(m_keyframes[row], m_keyframes[to]);
    FillTable();
    m_table->setCurrentCell(to, 0);
}

void CExportAnimationDialog::KindChanged() {
    const KindEntry& kind = kKinds[m_kind->currentIndex()];
    const QString path = m_path->text().trimmed();
    if (!path.isEmpty()) m_path->setText(WithoutEnding(path) + kind.ending);
    UpdateSummary();
}

// A frame pattern needs its number field: a plain name chosen in the file dialog gets one.
void CExportAnimationDialog::Browse() {
    const KindEntry& kind = kKinds[m_kind->currentIndex()];
    std::string path = m_path->text().trimmed().toStdString();
    if (kind.kind == AnimationKind::PngFrames) path = WithoutEnding(m_path->text()).toStdString();
    const char* extension = kind.kind == AnimationKind::PngFrames ? ".png" : kind.ending;
    if (!m_ui.AskSavePath(kind.filter, extension, path)) return;
    QString chosen = QString::fromStdString(path);
    if (kind.kind == AnimationKind::PngFrames && !chosen.contains('%')) {
        chosen = WithoutEnding(chosen) + kind.ending;
    }
    m_path->setText(chosen);
    m_confirmedPath = chosen.toStdString();  // the file dialog has asked about replacing it
}

AnimationPlan CExportAnimationDialog::Plan() const {
    AnimationPlan plan;
    for (const AnimationKeyframe& k : m_keyframes) plan.keyframes.push_back(k.figure);
    for (int i = 0; i + 1 < static_cast<int>(m_keyframes.size()); ++i) {
        const QLineEdit* edit = DurationEdit(i);
        plan.durations.push_back(
            ParseSeconds(edit ? edit->text().trimmed().toStdString() : "").value_or(0.0));
    }
    plan.fps = m_fps->value();
    plan.width = m_width->value();
    plan.height = m_height->value();
    plan.easing = static_cast<Easing>(m_easing->currentData().toInt());
    return plan;
}

void CExportAnimationDialog::UpdateSummary() {
    const AnimationPlan plan = Plan();
    if (!AnimationPlanProblem(plan).empty()) {
        m_summary->setText(
            plan.keyframes.size() < 2 ? tr("Two or more keyframes make an animation.") : QString());
        return;
    }
    double seconds = 0.0;
    for (double d : plan.durations) seconds += d;
    m_summary->setText(tr("%1 frames, %2 seconds").arg(FrameCount(plan)).arg(seconds, 0, 'g', 6));
}

bool CExportAnimationDialog::ReadPlan(AnimationPlan& plan) {
    if (m_keyframes.size() < 2) {
        RefuseField(m_add,
                    "An animation needs two or more keyframes: open the figures or add their "
                    "files.",
                    m_ui);
        return false;
    }
    for (int i = 0; i + 1 < static_cast<int>(m_keyframes.size()); ++i) {
        QLineEdit* edit = DurationEdit(i);
        const std::optional<double> seconds = ParseSeconds(edit->text().trimmed().toStdString());
        if (!seconds || *seconds <= 0.0) {
            RefuseField(edit,
                        QStringLiteral("Please enter a duration above 0, such as 2s, 2.5s or "
                                       "500ms, in \"%1\".")
                            .arg(IntervalLabel(i))
                            .toStdString(),
                        m_ui);
            return false;
        }
    }
    int value = 0;
    if (!ReadIntField(m_fps, tr("Frame rate"), 1, kMaxAnimationFps, value, m_ui) ||
        !ReadIntField(m_width, tr("Width"), 1, kMaxAnimationSide, value, m_ui) ||
        !ReadIntField(m_height, tr("Height"), 1, kMaxAnimationSide, value, m_ui))
        return false;
    plan = Plan();
    const std::string problem = AnimationPlanProblem(plan);
    if (!problem.empty()) {
        m_ui.ShowMessage("Cannot make this animation: " + problem);
        return false;
    }
    return true;
}

bool CExportAnimationDialog::ReadPath(const AnimationPlan& plan, std::string& path) {
    const KindEntry& kind = kKinds[m_kind->currentIndex()];
    path = m_path->text().trimmed().toStdString();
    if (path.empty() || WithoutEnding(QString::fromStdString(path)).isEmpty()) {
        RefuseField(m_path, "Please give the name of the animation's file.", m_ui);
        return false;
    }
    if (AnimationKindOfPath(path) != kind.kind) {
        path = (WithoutEnding(QString::fromStdString(path)) + kind.ending).toStdString();
        m_path->setText(QString::fromStdString(path));
    }
    const std::string problem = AnimationOutputProblem(plan, path);
    if (!problem.empty()) {
        RefuseField(m_path, "Cannot write " + path + ": " + problem, m_ui);
        return false;
    }
    // Frames of an earlier export under the same pattern would be written over: asked about by
    // their first.
    const bool frames = kind.kind == AnimationKind::PngFrames;
    const std::string existing = frames ? FramePathOf(path, 0) : path;
    if ((frames || path != m_confirmedPath) && m_ui.FileExists(existing) &&
        m_ui.ShowMessage(existing + " already exists.\nDo you want to replace it?",
                         MsgButtons::YesNo, MsgIcon::Exclamation) != IDYES) {
        m_path->setFocus();
        return false;
    }
    return true;
}

void CExportAnimationDialog::ShowPreview() {
    AnimationPlan plan;
    if (!ReadPlan(plan)) return;
    if (m_preview) m_preview->close();
    m_preview = new CAnimationPreview(plan, m_ui, this);
    PlaceBeside(*m_preview, *this);
    m_preview->show();
}

void CExportAnimationDialog::accept() {
    AnimationPlan plan;
    std::string path;
    if (!ReadPlan(plan) || !ReadPath(plan, path)) return;
    m_chosenPath = path;
    if (m_preview) m_preview->close();
    QDialog::accept();
}

namespace {

QString WritingLabel(const AnimationPlan& plan, const std::string& path) {
    return QObject::tr("Writing %1 (%2 frames, %3 \u00d7 %4)...")
        .arg(QFileInfo(QString::fromStdString(path)).fileName())
        .arg(FrameCount(plan))
        .arg(plan.width)
        .arg(plan.height);
}

StreamResult AsStreamResult(AnimationResult result) {
    switch (result) {
        case AnimationResult::Written:
            return StreamResult::Written;
        case AnimationResult::Cancelled:
            return StreamResult::Cancelled;
        case AnimationResult::Failed:
            break;
    }
    return StreamResult::Failed;
}

}  // namespace

CAnimationExport::CAnimationExport(const AnimationPlan& plan, std::string path, int threads,
                                   UserPrompts& ui, QWidget* parent)
    : CBackgroundExport(
          tr("Export Animation"), WritingLabel(plan, path),
          [plan = std::make_shared<const AnimationPlan>(plan), path, threads](
              UserPrompts& held, const PaintingProgress& progress) {
              return AsStreamResult(ExportAnimation(*plan, path, held, progress, nullptr, threads));
          },
          ui, parent) {}

std::vector<AnimationKeyframe> KeyframesOf(const std::vector<CDibDoc*>& documents,
                                           std::vector<std::string>& pictures) {
    std::vector<AnimationKeyframe> keyframes;
    for (const CDibDoc* doc : documents) {
        if (doc->m_bBitmapMode) {
            pictures.push_back(doc->GetTitle());
            continue;
        }
        // The figure as its picture shows it, a single order shown alone included.
        const std::string title = doc->GetTitle();
        AnimationKeyframe keyframe{title.empty() ? "new figure" : title, *doc->PaintedFigure()};
        DrawOnlyOrder(keyframe.figure, doc->m_nPaintedOrder);
        keyframes.push_back(std::move(keyframe));
    }
    return keyframes;
}

void ExportAnimationOf(const std::vector<CDibDoc*>& documents, UserPrompts& ui, QWidget* parent) {
    std::vector<std::string> pictures;
    std::vector<AnimationKeyframe> keyframes = KeyframesOf(documents, pictures);
    const std::string folder = ui.CurrentDirectory();
    std::string base = folder.empty() ? "Animation" : folder + "/Animation";
    if (!keyframes.empty() && keyframes[0].figure.m_szName[0] != '\0') {
        base = std::string(keyframes[0].figure.m_szDirectory) + keyframes[0].figure.m_szName;
    }
    CExportAnimationDialog dialog(std::move(keyframes), pictures, base, ui, parent);
    if (dialog.exec() != QDialog::Accepted) return;
    const int threads =
        documents.empty() ? DefaultPaintingThreads() : documents.front()->m_nPaintThreads;
    new CAnimationExport(dialog.Plan(), dialog.ChosenPath(), threads, ui, parent);
}
