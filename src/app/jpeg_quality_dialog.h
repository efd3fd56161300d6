// The JPEG-quality dialog: the quality saved JPEG pictures get, 0 to 100 (the label's 5..95 is
// only a recommendation).
#pragma once

#include <QDialog>
#include <optional>

class QLineEdit;
class UserPrompts;

class CJpegQualityDialog : public QDialog {
    Q_OBJECT

  public:
    explicit CJpegQualityDialog(UserPrompts& ui, QWidget* parent = nullptr);

    QLineEdit* QualityEdit() const { return m_edit; }

    void accept() override;  // validates 0..100; stays open on a refusal

    int m_nQuality = 0;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    UserPrompts& m_ui;
    QLineEdit* m_edit = nullptr;
};

// Runs the dialog with quality; the chosen quality on OK, nothing on Cancel.
std::optional<int> AskJpegQuality(QWidget* parent, int quality, UserPrompts& ui);
