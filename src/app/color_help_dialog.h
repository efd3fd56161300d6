// "Help on Colors": a picture of part of the colour page with the eight explaining texts placed
// around it (command 32817).
#pragma once

#include <QDialog>
#include <QImage>
#include <array>

class QLabel;
class QPushButton;

// The part of the colour page the picture shows: the row names, the column heads and the first
// cells, 637 x 285 pixels.
constexpr int kColorHelpPictureWidth = 637;
constexpr int kColorHelpPictureHeight = 285;

// The colour page of the default figure, cut to the part the help explains.
QImage RenderColorHelpPicture();

class CColorHelpDialog : public QDialog {
    Q_OBJECT

  public:
    explicit CColorHelpDialog(QWidget* parent = nullptr);

    QLabel* PictureLabel() const { return m_picture; }
    QLabel* TextLabel(int index) const { return m_texts[index]; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }

  private:
    QLabel* m_picture = nullptr;
    std::array<QLabel*, 8> m_texts{};
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

// Command 32817: runs the dialog modally; its result does not matter.
void ShowColorHelp(QWidget* parent);
