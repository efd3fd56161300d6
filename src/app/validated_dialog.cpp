#include "app/validated_dialog.h"

#include <QDoubleSpinBox>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QSpinBox>
#include <cmath>

#include "picture/user_prompts.h"

namespace {

std::string WholeNumberMessage(const QString& label, int min, int max) {
    return QStringLiteral("Please enter a whole number from %1 to %2 in \"%3\".")
        .arg(min)
        .arg(max)
        .arg(label)
        .toStdString();
}

std::string RealMessage(const QString& label, double min, double max) {
    return QStringLiteral("Please enter a number from %1 to %2 in \"%3\".")
        .arg(QString::number(min, 'g', 15), QString::number(max, 'g', 15), label)
        .toStdString();
}

// The number in field, or false when the text is not a finite number.
bool ParseReal(const QLineEdit* field, double& value) {
    bool ok = false;
    value = field->text().trimmed().toDouble(&ok);
    return ok && std::isfinite(value);
}

// Takes read when it was typed as a number from min to max; otherwise refuses the field.
template <typename Number>
bool TakeInRange(QWidget* field, bool typed, Number read, Number min, Number max, Number& value,
                 const std::string& refusal, UserPrompts& ui) {
    if (!typed || read < min || read > max) {
        RefuseField(field, refusal, ui);
        return false;
    }
    value = read;
    return true;
}

// Whether a spin box holds a typed number, taken over as its value. Checked before it is taken
// over: taking over a half-typed text restores the old value.
bool TakeTyped(QAbstractSpinBox* field) {
    const bool typed = field->hasAcceptableInput();
    if (typed) field->interpretText();
    return typed;
}

}  // namespace

void RefuseField(QWidget* field, const std::string& text, UserPrompts& ui) {
    ui.ShowMessage(text, MsgButtons::Ok, MsgIcon::Exclamation);
    field->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(field)) edit->selectAll();
    if (auto* spin = qobject_cast<QAbstractSpinBox*>(field)) spin->selectAll();
}

bool ReadIntField(QLineEdit* field, const QString& label, int min, int max, int& value,
                  UserPrompts& ui) {
    bool ok = false;
    const int read = field->text().trimmed().toInt(&ok);
    return TakeInRange(field, ok, read, min, max, value, WholeNumberMessage(label, min, max), ui);
}

bool ReadRealField(QLineEdit* field, const QString& label, double min, double max, double& value,
                   UserPrompts& ui) {
    double read = 0.0;
    const bool ok = ParseReal(field, read);
    return TakeInRange(field, ok, read, min, max, value, RealMessage(label, min, max), ui);
}

bool ReadIntField(QSpinBox* field, const QString& label, int min, int max, int& value,
                  UserPrompts& ui) {
    const bool typed = TakeTyped(field);
    return TakeInRange(field, typed, field->value(), min, max, value,
                       WholeNumberMessage(label, min, max), ui);
}

bool ReadRealField(QDoubleSpinBox* field, const QString& label, double min, double max,
                   double& value, UserPrompts& ui) {
    const bool typed = TakeTyped(field);
    return TakeInRange(field, typed, field->value(), min, max, value, RealMessage(label, min, max),
                       ui);
}

bool ReadNumberField(QLineEdit* field, const QString& label, double& value, UserPrompts& ui) {
    double read = 0.0;
    if (!ParseReal(field, read)) {
        RefuseField(
            field, QStringLiteral("Please enter a number in \"%1\".").arg(label).toStdString(), ui);
        return false;
    }
    value = read;
    return true;
}

bool ReadTextField(QLineEdit* field, const QString& label, int maxChars, std::string& value,
                   UserPrompts& ui) {
    const QString text = field->text();
    // Characters as the user sees them: neither UTF-8 bytes nor UTF-16 halves of one character.
    if (text.toUcs4().size() > maxChars) {
        RefuseField(field,
                    QStringLiteral("Please enter no more than %1 characters in \"%2\".")
                        .arg(maxChars)
                        .arg(label)
                        .toStdString(),
                    ui);
        return false;
    }
    value = text.toStdString();
    return true;
}

void ShowInt(QLineEdit* field, int value) {
    field->setText(QString::number(value));
}

void ShowReal(QLineEdit* field, double value) {
    field->setText(QString::number(value, 'g', 15));
}

DialogUnits::DialogUnits(const QWidget* dialog) {
    QFontMetricsF metrics(dialog->font());
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    m_baseX = metrics.horizontalAdvance(letters) / letters.size();
    m_baseY = metrics.height();
}

int DialogUnits::X(int units) const {
    return static_cast<int>(std::lround(units * m_baseX / 4));
}

int DialogUnits::Y(int units) const {
    return static_cast<int>(std::lround(units * m_baseY / 8));
}

QRect DialogUnits::Rect(int x, int y, int width, int height) const {
    return QRect(X(x), Y(y), X(width), Y(height));
}
