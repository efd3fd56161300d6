#include "app/export_picture.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>

#include "app/jpeg_quality_dialog.h"
#include "app/validated_dialog.h"
#include "document/dib_doc.h"
#include "document/poster_file.h"
#include "figure/figure_engine.h"
#include "picture/png_file.h"

namespace {

constexpr double kFactorMin = 0.01;
constexpr double kFactorMax = 1000.0;

struct KindEntry {
    const char* name;
    int fileKind;
    const char* filter;
    const char* extension;
};
const KindEntry kKinds[] = {
    {"PNG", FILE_KIND_PNG, "Png files (*.png)|*.png|All files(*.*)|*.*||", ".png"},
    {"BMP", FILE_KIND_BMP, "Bitmap files (*.bmp)|*.bmp|All files(*.*)|*.*||", ".bmp"},
    {"JPEG", FILE_KIND_JPG, "Jpeg files (*.jpg)|*.jpg|All files(*.*)|*.*||", ".jpg"},
};

const KindEntry& KindOf(int fileKind) {
    for (const KindEntry& k : kKinds) {
        if (k.fileKind == fileKind) return k;
    }
    return kKinds[0];
}

}  // namespace

CExportPictureDialog::CExportPictureDialog(int width, int height, int quality, UserPrompts& ui,
                                           QWidget* parent)
    : QDialog(parent), m_currentWidth(width), m_currentHeight(height), m_ui(ui) {
    setWindowTitle(tr("Export Picture"));
    m_bySize = new QRadioButton(tr("&Size"), this);
    m_byFactor = new QRadioButton(tr("&Factor of the current picture"), this);
    m_width = new QSpinBox(this);
    m_height = new QSpinBox(this);
    // Wide ranges: a value outside the allowed one is refused on OK, not silently replaced.
    for (QSpinBox* side : {m_width, m_height}) side->setRange(INT_MIN, INT_MAX);
    m_width->setValue(width);
    m_height->setValue(height);
    m_factor = new QDoubleSpinBox(this);
    m_factor->setRange(-kFactorMax, kFactorMax);
    m_factor->setDecimals(2);
    m_factor->setValue(1.0);
    m_kind = new QComboBox(this);
    for (const KindEntry& k : kKinds) m_kind->addItem(k.name, k.fileKind);
    m_quality = new QSpinBox(this);
    m_quality->setRange(INT_MIN, INT_MAX);
    m_quality->setValue(quality);
    m_dpi = new QSpinBox(this);
    m_dpi->setRange(0, kPngMaxDotsPerInch);
    m_dpi->setSpecialValueText(tr("none"));
    m_dpi->setValue(0);
    m_bySize->setChecked(true);

    auto* sizes = new QGridLayout;
    sizes->addWidget(m_bySize, 0, 0);
    sizes->addWidget(m_width, 0, 1);
    sizes->addWidget(new QLabel(QStringLiteral("\u00d7"), this), 0, 2);
    sizes->addWidget(m_height, 0, 3);
    sizes->addWidget(m_byFactor, 1, 0);
    sizes->addWidget(m_factor, 1, 1);
    auto* kind = new QFormLayout;
    kind->addRow(tr("&Kind"), m_kind);
    kind->addRow(tr("JPEG &quality"), m_quality);
    kind->addRow(tr("PNG print &resolution (dpi)"), m_dpi);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(sizes);
    layout->addLayout(kind);
    layout->addWidget(buttons);

    connect(m_bySize, &QRadioButton::toggled, this, &CExportPictureDialog::UpdateFields);
    connect(m_kind, &QComboBox::currentIndexChanged, this, &CExportPictureDialog::UpdateFields);
    UpdateFields();
}

void CExportPictureDialog::UpdateFields() {
    const bool bySize = m_bySize->isChecked();
    m_width->setEnabled(bySize);
    m_height->setEnabled(bySize);
    m_factor->setEnabled(!bySize);
    m_quality->setEnabled(m_kind->currentData().toInt() == FILE_KIND_JPG);
    m_dpi->setEnabled(m_kind->currentData().toInt() == FILE_KIND_PNG);
}

// A factor scales both sides of the current picture; the painting keeps the centre and the
// magnification, which scale with the width, so it shows the same view.
ExportRequest CExportPictureDialog::Request() const {
    ExportRequest request;
    request.fileKind = m_kind->currentData().toInt();
    request.quality = m_quality->value();
    if (request.fileKind == FILE_KIND_PNG) request.dotsPerInch = m_dpi->value();
    if (m_bySize->isChecked()) {
        request.width = m_width->value();
        request.height = m_height->value();
    } else {
        const double factor = m_factor->value();
        auto scaled = [factor](int side) {
            const double v = std::floor(side * factor + 0.5);
            return v < 1.0 ? 1 : v > INT_MAX ? INT_MAX : static_cast<int>(v);
        };
        request.width = scaled(m_currentWidth);
        request.height = scaled(m_currentHeight);
    }
    return request;
}

bool CExportPictureDialog::ReadFields() {
    int value = 0;
    double factor = 0.0;
    if (m_bySize->isChecked()) {
        if (!ReadIntField(m_width, tr("Width"), 1, INT_MAX, value, m_ui) ||
            !ReadIntField(m_height, tr("Height"), 1, INT_MAX, value, m_ui))
            return false;
    } else if (!ReadRealField(m_factor, tr("Factor"), kFactorMin, kFactorMax, factor, m_ui)) {
        return false;
    }
    return m_kind->currentData().toInt() != FILE_KIND_JPG ||
           ReadIntField(m_quality, tr("JPEG quality"), kJpegQualityMin, kJpegQualityMax, value,
                        m_ui);
}

void CExportPictureDialog::accept() {
    if (!ReadFields()) return;
    const ExportRequest r = Request();
    const std::string problem = PosterSizeProblem(r.fileKind, r.width, r.height);
    if (!problem.empty()) {
        m_ui.ShowMessage("Cannot export " + std::to_string(r.width) + " x " +
                         std::to_string(r.height) + ": " + problem);
        return;
    }
    QDialog::accept();
}

namespace {

QString PaintingLabel(const std::string& path, int width, int height) {
    return QObject::tr("Painting %1 (%2 \u00d7 %3)...")
        .arg(QFileInfo(QString::fromStdString(path)).fileName())
        .arg(width)
        .arg(height);
}

}  // namespace

CPictureExport::CPictureExport(const FigureEngine& figure, int order, const ExportRequest& request,
                               std::string path, std::string parameterText, int threads,
                               UserPrompts& ui, QWidget* parent)
    : CBackgroundExport(
          tr("Export Picture"), PaintingLabel(path, request.width, request.height),
          [figure = std::make_shared<FigureEngine>(figure), order, request, path,
           text = std::move(parameterText),
           threads](UserPrompts& held, const PaintingProgress& progress) {
              figure->m_nWidth = request.width;
              figure->m_nHeight = request.height;
              return WritePosterFile(*figure, order, path, request.fileKind, request.quality, text,
                                     threads, held, progress, request.dotsPerInch);
          },
          ui, parent) {}

void ExportPicture(CDibDoc& doc, UserPrompts& ui, QWidget* parent) {
    if (doc.m_bBitmapMode) return;
    // The figure as the picture shows it: the accepted values, not the working ones.
    auto shown = std::make_unique<FigureEngine>(doc.m_figure);
    std::memcpy(shown->m_colours, doc.m_acceptedColours, sizeof shown->m_colours);
    shown->m_orders = doc.m_acceptedOrders;
    RestoreAcceptedTransform(*shown, doc.m_acceptedTransform);
    CExportPictureDialog dialog(shown->m_nWidth, shown->m_nHeight, doc.m_nJpegQuality, ui, parent);
    if (dialog.exec() != QDialog::Accepted) return;
    const ExportRequest request = dialog.Request();
    const KindEntry& kind = KindOf(request.fileKind);
    // A new figure has no name yet.
    const std::string name = shown->m_szName[0] != '\0' ? shown->m_szName : "Figure";
    std::string path = std::string(shown->m_szDirectory) + name + kind.extension;
    if (!ui.AskSavePath(kind.filter, kind.extension, path)) return;
    new CPictureExport(*shown, doc.m_nPaintedOrder, request, path, doc.PictureParameterText(),
                       doc.m_nPaintThreads, ui, parent);
}
