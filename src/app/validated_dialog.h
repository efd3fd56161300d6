// What every dialog of the program shares: reading typed fields with the standard validation
// (a message naming the field and its allowed range, the focus back on the field, the dialog kept
// open), writing values into fields, and placing controls in dialog units.
#pragma once

#include <QRect>
#include <QString>
#include <string>

class QDoubleSpinBox;
class QLineEdit;
class QSpinBox;
class QWidget;
class UserPrompts;

// Reads a whole number from min to max; otherwise reports it for label and returns false.
bool ReadIntField(QLineEdit* field, const QString& label, int min, int max, int& value,
                  UserPrompts& ui);
// Reads a finite number from min to max; otherwise reports it for label and returns false.
bool ReadRealField(QLineEdit* field, const QString& label, double min, double max, double& value,
                   UserPrompts& ui);
// Reads any finite number; otherwise reports it for label and returns false.
bool ReadNumberField(QLineEdit* field, const QString& label, double& value, UserPrompts& ui);
// Reads text (as UTF-8) of at most maxChars characters; otherwise reports it and returns false.
bool ReadTextField(QLineEdit* field, const QString& label, int maxChars, std::string& value,
                   UserPrompts& ui);

// The same for spin boxes. Their own range is left wide, so that a value outside the allowed
// one (or a field left empty) is refused with the message instead of being silently replaced.
bool ReadIntField(QSpinBox* field, const QString& label, int min, int max, int& value,
                  UserPrompts& ui);
bool ReadRealField(QDoubleSpinBox* field, const QString& label, double min, double max,
                   double& value, UserPrompts& ui);

// Shows text and puts the focus on field with its text selected, so the user can retype it.
void RefuseField(QWidget* field, const std::string& text, UserPrompts& ui);

// Numbers are shown the way they are read back: C locale, up to 15 significant digits.
void ShowInt(QLineEdit* field, int value);
void ShowReal(QLineEdit* field, double value);

// Converts between dialog units of the dialog's font and pixels, as the classic dialog
// templates lay out their controls.
class DialogUnits {
  public:
    explicit DialogUnits(const QWidget* dialog);
    // Units of the classic 8-point dialog font (6 x 13 pixels), in which pictures made for a
    // dialog template fit their frames exactly.
    static DialogUnits Classic() { return DialogUnits(6.0, 13.0); }

    QRect Rect(int x, int y, int width, int height) const;
    int X(int units) const;
    int Y(int units) const;

  private:
    DialogUnits(double baseX, double baseY) : m_baseX(baseX), m_baseY(baseY) {}

    double m_baseX;  // average character width in pixels
    double m_baseY;  // character height in pixels
};
