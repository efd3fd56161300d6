// The "Random Choice Dialog": which colours, per order and item, a random colouring changes, and
// whether it also chooses the line offset, the magnification and the background.
#pragma once

#include <QDialog>
#include <array>

#include "document/random_choice.h"
#include "figure/figure_params.h"

class QButtonGroup;
class QCheckBox;
class QPushButton;

class CRandomChoiceDialog : public QDialog {
    Q_OBJECT

  public:
    explicit CRandomChoiceDialog(const RandomChoice& choice, QWidget* parent = nullptr);

    // The control with the given identifier (221 is "Lines", 230 "Default Values" ...).
    QWidget* Control(int id) const;

    void accept() override;  // takes the boxes over into m_choice

    RandomChoice m_choice;  // the dialog's own copy; the caller takes it back after OK
    int m_nShownOrder = 0;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QWidget* BuildOrderGroup();
    QWidget* BuildItemGroup();
    QWidget* BuildGlobalGroup();
    QCheckBox* AddCheck(int id, const QString& text, QWidget* parent);

    void ShowItemBoxes();
    void StoreItemBoxes(int order);
    void OnOrderClicked(int order);
    void OnDefaultValues();

    std::array<QWidget*, 256> m_controls{};
    QButtonGroup* m_orderGroup = nullptr;
};

// Runs the dialog on a copy of choice and copies it back on OK; true on OK.
bool EditRandomChoice(QWidget* parent, RandomChoice& choice);
