// File > Export Picture...: the figure of a document painted at any size into a BMP, JPEG or PNG
// file. The dialog asks for the size (width × height, or a factor of the current picture, which
// keeps the view) and the kind; the painting then runs on other threads, band after band straight
// into the file, with a progress dialog whose Cancel stops it. The window stays responsive; a
// cancel or any failure leaves no file behind and an older file of that name intact. A PNG may
// state its print resolution, so that the poster's size on paper is known.
#pragma once

#include <QDialog>
#include <string>

#include "app/background_export.h"
#include "picture/user_prompts.h"

class CDibDoc;
class FigureEngine;
class QComboBox;
class QDoubleSpinBox;
class QRadioButton;
class QSpinBox;

struct ExportRequest {
    int width = 0;
    int height = 0;
    int fileKind = 0;  // FILE_KIND_PNG, FILE_KIND_BMP or FILE_KIND_JPG
    int quality = 90;
    int dotsPerInch = 0;  // a PNG's print resolution; 0: none
};

class CExportPictureDialog : public QDialog {
    Q_OBJECT

  public:
    // Starts with the current picture's size, factor 1, PNG and the document's JPEG quality.
    CExportPictureDialog(int width, int height, int quality, UserPrompts& ui,
                         QWidget* parent = nullptr);

    QRadioButton* SizeChoice() const { return m_bySize; }
    QRadioButton* FactorChoice() const { return m_byFactor; }
    QSpinBox* WidthEdit() const { return m_width; }
    QSpinBox* HeightEdit() const { return m_height; }
    QDoubleSpinBox* FactorEdit() const { return m_factor; }
    QComboBox* KindChoice() const { return m_kind; }
    QSpinBox* QualityEdit() const { return m_quality; }
    QSpinBox* DpiEdit() const { return m_dpi; }

    // The request as the fields give it now.
    ExportRequest Request() const;
    // Refuses fields out of their range, as the other dialogs do, and sizes the chosen kind
    // cannot hold, with the reason; the dialog stays open.
    void accept() override;

  private:
    void UpdateFields();
    bool ReadFields();

    int m_currentWidth, m_currentHeight;
    UserPrompts& m_ui;
    QRadioButton* m_bySize = nullptr;
    QRadioButton* m_byFactor = nullptr;
    QSpinBox* m_width = nullptr;
    QSpinBox* m_height = nullptr;
    QDoubleSpinBox* m_factor = nullptr;
    QComboBox* m_kind = nullptr;
    QSpinBox* m_quality = nullptr;
    QSpinBox* m_dpi = nullptr;
};

// One export painting in the background. Deletes itself when it has finished and reported.
class CPictureExport : public CBackgroundExport {
    Q_OBJECT

  public:
    // Paints a copy of the figure at the request's size (order -1: every drawn order) into path.
    CPictureExport(const FigureEngine& figure, int order, const ExportRequest& request,
                   std::string path, std::string parameterText, int threads, UserPrompts& ui,
                   QWidget* parent);
};

// The whole command: the dialog, the file name, then the background painting. Nothing for a
// document that shows an opened picture rather than its figure.
void ExportPicture(CDibDoc& doc, UserPrompts& ui, QWidget* parent);
