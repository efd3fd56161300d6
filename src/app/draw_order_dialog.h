// The draw-order dialog: which orders a full painting draws and how transparent each is. The
// command that opens it applies every OK and opens it again, until Cancel (RunDrawOrderCycle).
#pragma once

#include <QDialog>
#include <array>
#include <functional>

#include "figure/figure_params.h"

class QCheckBox;
class QLineEdit;
class UserPrompts;

// Control identifiers by order 0 to 9, shared with the settings dialog.
inline constexpr std::array<int, kOrderCount> kDrawOrderIds = {188, 179, 180, 181, 182,
                                                               183, 184, 185, 186, 187};
inline constexpr std::array<int, kOrderCount> kTransparencyIds = {198, 189, 190, 191, 192,
                                                                  193, 194, 195, 196, 197};

// Label of the draw switch of an order ("Order 3") and of its transparency in messages.
QString OrderLabel(int order);
QString TransparencyLabel(int order);

class CDrawOrderDialog : public QDialog {
    Q_OBJECT

  public:
    CDrawOrderDialog(UserPrompts& ui, QWidget* parent = nullptr);

    QCheckBox* DrawBox(int order) const { return m_drawBoxes[order]; }
    QLineEdit* TransparencyEdit(int order) const { return m_transparencyEdits[order]; }

    void accept() override;  // validates and takes the controls over; stays open on a refusal

    // Members, shown when the dialog opens.
    std::array<int, kOrderCount> m_drawOrder{};
    std::array<double, kOrderCount> m_transparency{};

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    UserPrompts& m_ui;
    std::array<QCheckBox*, kOrderCount> m_drawBoxes{};
    std::array<QLineEdit*, kOrderCount> m_transparencyEdits{};
};

// Copies the draw switches and transparencies of figure into the dialog, and back.
void FillDrawOrderDialog(CDrawOrderDialog& dialog, const FigureParams& figure);
void TakeDrawOrderDialog(const CDrawOrderDialog& dialog, FigureParams& figure);

// Runs the dialog on figure until Cancel: after each OK the values go into figure, applied()
// repaints, and the dialog opens again with the values just applied. run shows the dialog and
// returns its result (exec by default; tests drive it). Returns the number of OKs.
using DialogRunner = std::function<int(QDialog&)>;
int RunDrawOrderCycle(QWidget* parent, FigureParams& figure, const std::function<void()>& applied,
                      UserPrompts& ui, const DialogRunner& run = {});
