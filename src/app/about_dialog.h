// The about box: a picture of the default figure, the program icon, the JPEG credit and the
// summary of keys and functions (command 57664).
#pragma once

#include <QDialog>
#include <QImage>
#include <string>

class QLabel;
class QPlainTextEdit;
class UserPrompts;

constexpr int kAboutPictureWidth = 320;
constexpr int kAboutPictureHeight = 200;

// The default figure painted at 320 x 200 into a 24-bit picture of its own.
QImage PaintAboutPicture(UserPrompts& ui);

class CAboutDialog : public QDialog {
    Q_OBJECT

  public:
    explicit CAboutDialog(UserPrompts& ui, QWidget* parent = nullptr);

    QPlainTextEdit* HelpEdit() const { return m_helpEdit; }
    QLabel* PictureLabel() const { return m_picture; }
    QLabel* IconLabel() const { return m_icon; }
    QLabel* CreditLabel() const { return m_credit; }

    std::string m_strHelpText;  // shown in the help edit; empty until the command fills it

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QPlainTextEdit* m_helpEdit = nullptr;
    QLabel* m_picture = nullptr;
    QLabel* m_icon = nullptr;
    QLabel* m_credit = nullptr;
};

// The help text as an edit control shows it: CR LF line ends become single line breaks.
QString DisplayedText(const std::string& crlfText);

// Command 57664: builds the help text and runs the about box modally.
void ShowAboutBox(QWidget* parent, UserPrompts& ui);
