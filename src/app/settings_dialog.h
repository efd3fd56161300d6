// The "Dorvanta Settings" dialog: edits every figure parameter on the working copy (normally
// g_figureEdit), loads and saves parameter files, and ends with OK, Cancel or "Draw One Order".
#pragma once

#include <QDialog>
#include <array>
#include <cstdint>
#include <map>
#include <string>

#include "figure/figure_engine.h"
#include "picture/dib_image.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class UserPrompts;

// Presets of the size radio group by choice index; choice 6 is "Free size".
inline constexpr std::array<PictureSize, 6> kPictureSizes = {
    {{320, 200}, {640, 480}, {800, 600}, {1024, 768}, {1280, 1024}, {1680, 1050}}};
constexpr int kFreeSizeChoice = 6;

// Parameter files as the file dialogs offer them.
inline constexpr const char* kDatFilter = "Dorvanta files (*.dat)|*.dat|All files(*.*)|*.*||";
inline constexpr const char* kDatExtension = ".dat";

// True when a width x height picture can be allocated and painted: both at least 1 and the
// block (40-byte header plus rows) within the picture ceiling.
bool PictureSizeIsPaintable(std::int64_t width, std::int64_t height);

// The first preset equal to width x height, or kFreeSizeChoice.
int SizeChoiceFor(int width, int height);

// The width raised to the next multiple of 4, as the X field does when it loses the focus.
std::int64_t WidthRoundedUp(std::int64_t width);

class CSettingsDialog : public QDialog {
    Q_OBJECT

  public:
    CSettingsDialog(FigureEngine& edit, UserPrompts& ui, QWidget* parent = nullptr);

    // Members from the working copy; item and line switches of its current order.
    void LoadFromWorkingCopy();
    // Members into the working copy; item and line switches into the given order.
    void StoreToWorkingCopy(int order);

    // The control with the given identifier (107 is "X", 128 "Draw One Order", 1 OK ...).
    QWidget* Control(int id) const;

    void reject() override;  // ends with IDCANCEL, as Escape and the window's close box do

    std::string m_strSavedPath;  // the path (without extension) a parameter file was saved to

    // Members exchanged with the controls.
    std::string m_strName;
    std::string m_strComment;  // Windows-1252, as the record holds it
    double m_dCentreX = 0.0;
    double m_dCentreY = 0.0;
    double m_dMagnExp = 0.0;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nUn = 0;
    int m_nGs = 0;
    std::array<int, 8> m_items{};
    int m_nSizeChoice = kFreeSizeChoice;
    int m_nShownOrder = 0;
    std::array<double, kOrderCount> m_transparency{};
    std::array<int, kOrderCount> m_drawOrder{};
    int m_bGradient = 0;
    std::array<std::uint8_t, 5> m_lineSwitches{};

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildControls();
    QWidget* BuildPictureSizeGroup();
    QWidget* BuildNameFields();
    QWidget* BuildViewDataGroup();
    QWidget* BuildStartOffsetGroup();
    QWidget* BuildDrawItemGroup();
    QWidget* BuildDrawOrderGroup();
    QWidget* BuildButtons();
    QLabel* FieldLabel(const QString& text);
    QLineEdit* AddEdit(int id);
    QCheckBox* AddCheck(int id, const QString& text);
    QPushButton* AddButton(int id, const QString& text);

    // The typed fields as read, before they become members.
    struct TypedFields {
        std::string name;
        std::string comment;  // Windows-1252
        double centreX = 0.0;
        double centreY = 0.0;
        double magnExp = 0.0;
        int width = 0;
        int height = 0;
        int un = 0;
        int gs = 0;
        std::array<double, kOrderCount> transparency{};
    };

    QLineEdit* EditControl(int id) const;
    int CheckState(int id) const;
    bool ReadViewFields(TypedFields& fields);
    bool ReadCommentField(std::string& comment);
    bool ReadSizeFields(TypedFields& fields);
    bool ReadOffsetFields(TypedFields& fields);
    bool ReadTransparencies(TypedFields& fields);
    void AdoptFields(const TypedFields& fields);
    void TakeOverSwitches();

    // Controls -> members with validation; false (and nothing taken over) on the first refusal.
    bool TakeOverValues();
    // Members -> controls.
    void ShowValues();
    void ApplyEnableRules();

    void OnOpening();
    void OnSizePreset(int choice);
    void OnWidthLeft();
    void OnOrderClicked(int order);
    void OnSelectLines();
    void OnGoldenFromUnits();
    void OnUnitsFromGolden();
    void OnLoadFile();
    void OnSaveFile();
    void OnDrawOneOrder();
    void OnOk();

    FigureEngine& m_edit;
    UserPrompts& m_ui;
    bool m_bOpened = false;
    std::map<int, QWidget*> m_controls;
    QButtonGroup* m_sizeGroup = nullptr;
    QButtonGroup* m_orderGroup = nullptr;
};

// Runs the dialog modally on edit; returns IDOK, IDCANCEL or RESULT_DRAW_ONE_ORDER and the
// path a parameter file was saved to from the dialog (empty when none).
int RunSettingsDialog(QWidget* parent, FigureEngine& edit, std::string& savedPath, UserPrompts& ui);
