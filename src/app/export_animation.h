// File > Export Animation...: the figure in motion. The open documents' figures are the keyframes
// in their window order (more may be added from files), with a duration between each pair, a
// frame rate, a size, an easing and the kind of file. A preview plays the animation in a window
// of its own; the export then paints it in the background with progress and Cancel, as Export
// Picture does, and leaves no file behind when it is cancelled or fails.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <string>
#include <vector>

#include "app/animation_preview.h"
#include "app/background_export.h"
#include "document/animation.h"

class CDibDoc;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

struct AnimationKeyframe {
    std::string name;  // the document's title or the file's name
    FigureParams figure;
};

class CExportAnimationDialog : public QDialog {
    Q_OBJECT

  public:
    // The keyframes in order; pictures names the documents that show a picture rather than a
    // figure (they cannot be keyframes, which the dialog says); basePath is the suggested output
    // without its extension.
    CExportAnimationDialog(std::vector<AnimationKeyframe> keyframes,
                           const std::vector<std::string>& pictures, std::string basePath,
                           UserPrompts& ui, QWidget* parent = nullptr);

    QTableWidget* KeyframeTable() const { return m_table; }
    // The duration from keyframe `interval` to the next.
    QLineEdit* DurationEdit(int interval) const;
    QLabel* PictureNote() const { return m_pictureNote; }
    QPushButton* AddFileButton() const { return m_add; }
    QPushButton* RemoveButton() const { return m_remove; }
    QPushButton* UpButton() const { return m_up; }
    QPushButton* DownButton() const { return m_down; }
    QPushButton* PreviewButton() const { return m_previewButton; }
    QSpinBox* FpsEdit() const { return m_fps; }
    QSpinBox* WidthEdit() const { return m_width; }
    QSpinBox* HeightEdit() const { return m_height; }
    QComboBox* EasingChoice() const { return m_easing; }
    QComboBox* KindChoice() const { return m_kind; }
    QLineEdit* PathEdit() const { return m_path; }
    QPushButton* BrowseButton() const { return m_browse; }
    QLabel* Summary() const { return m_summary; }
    // The preview window once Preview has opened it.
    CAnimationPreview* Preview() const { return m_preview; }

    const std::vector<AnimationKeyframe>& Keyframes() const { return m_keyframes; }
    // The plan as the fields give it now (a duration that cannot be read counts as 0).
    AnimationPlan Plan() const;
    // After OK: the file (or folder pattern) to write.
    const std::string& ChosenPath() const { return m_chosenPath; }

    // Refuses values out of their range, a plan that cannot be made and a file that cannot be
    // written, with the reason; the dialog stays open.
    void accept() override;

  private:
    void FillTable();
    void KeepDurationTexts();
    void AddFile();
    void RemoveKeyframe();
    void MoveKeyframe(int step);
    void Browse();
    void ShowPreview();
    void KindChanged();
    void UpdateSummary();
    // The checked plan, or false after saying what is wrong.
    bool ReadPlan(AnimationPlan& plan);
    bool ReadPath(const AnimationPlan& plan, std::string& path);

    UserPrompts& m_ui;
    std::vector<AnimationKeyframe> m_keyframes;
    std::vector<QString> m_durations;  // per interval, kept when keyframes move
    QTableWidget* m_table = nullptr;
    QLabel* m_pictureNote = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_remove = nullptr;
    QPushButton* m_up = nullptr;
    QPushButton* m_down = nullptr;
    QPushButton* m_previewButton = nullptr;
    QSpinBox* m_fps = nullptr;
    QSpinBox* m_width = nullptr;
    QSpinBox* m_height = nullptr;
    QComboBox* m_easing = nullptr;
    QComboBox* m_kind = nullptr;
    QLineEdit* m_path = nullptr;
    QPushButton* m_browse = nullptr;
    QLabel* m_summary = nullptr;
    QPointer<CAnimationPreview> m_preview;
    std::string m_confirmedPath;
    std::string m_chosenPath;
};

// One animation export in the background. Deletes itself when it has finished and reported.
class CAnimationExport : public CBackgroundExport {
    Q_OBJECT

  public:
    CAnimationExport(const AnimationPlan& plan, std::string path, int threads, UserPrompts& ui,
                     QWidget* parent);
};

// The keyframes of documents in the order given: their figures as last painted; documents that
// show a picture go to pictures instead.
std::vector<AnimationKeyframe> KeyframesOf(const std::vector<CDibDoc*>& documents,
                                           std::vector<std::string>& pictures);

// The whole command: the dialog over the documents (in their window order), then the export.
void ExportAnimationOf(const std::vector<CDibDoc*>& documents, UserPrompts& ui, QWidget* parent);
