// "Select lines to be drawn": which of the five line families an order draws.
#pragma once

#include <QDialog>
#include <array>
#include <cstdint>

class QCheckBox;

// Control identifiers of the families 0 to 4 (normals at 0°, 72°, 144°, 216°, 288°).
inline constexpr std::array<int, 5> kLineFamilyIds = {114, 122, 127, 129, 130};

class CSelectLinesDialog : public QDialog {
    Q_OBJECT

  public:
    explicit CSelectLinesDialog(const std::array<std::uint8_t, 5>& lines,
                                QWidget* parent = nullptr);

    QCheckBox* FamilyBox(int family) const { return m_boxes[family]; }

    void accept() override;  // takes the boxes over into m_lines

    std::array<std::uint8_t, 5> m_lines{};

  private:
    std::array<QCheckBox*, 5> m_boxes{};
};
