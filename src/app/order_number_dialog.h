// The order-number dialog: picks the working order 0 to 9.
#pragma once

#include <QDialog>
#include <optional>

class QLineEdit;
class UserPrompts;

inline constexpr const char* kOrderNumberExplanation =
    "Orders can be chosen by simply pressing the number of the order on the key board. Pressing "
    "\"1\" selects order 1.  Down left on the  pane you will see the current status.";

class COrderNumberDialog : public QDialog {
    Q_OBJECT

  public:
    explicit COrderNumberDialog(UserPrompts& ui, QWidget* parent = nullptr);

    QLineEdit* OrderEdit() const { return m_edit; }

    void accept() override;  // validates 0..9; stays open on a refusal

    int m_nOrder = 0;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    UserPrompts& m_ui;
    QLineEdit* m_edit = nullptr;
};

// Runs the dialog with current; the chosen order on OK, nothing on Cancel.
std::optional<int> AskOrderNumber(QWidget* parent, int current, UserPrompts& ui);
