#pragma once

#include <QFrame>
#include <QString>

#include <array>

class QLineEdit;

namespace quorbel {

// A four-field IPv4 address box. Each field holds 0 to 255: a larger number
// is clamped to 255 as it is typed. "." or a third digit moves on to the
// next field; Backspace (or Left) at the start of a field goes back to the
// previous one. Pasting a dotted address into any field fills all four.
class Ipv4AddressEdit : public QFrame {
    Q_OBJECT
public:
    static constexpr int kFieldCount = 4;

    explicit Ipv4AddressEdit(QWidget* parent = nullptr);

    // Dotted decimal without leading zeros ("%d.%d.%d.%d"); blank fields of
    // a partly filled box read as 0 and a blank box reads as the empty text.
    QString address() const;
    // Fills the fields from dotted text; parts that are not numbers stay
    // blank, numbers over 255 become 255. The empty text blanks the box.
    void setAddress(const QString& address);
    bool isBlank() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class CursorPlace { AtStart, AtEnd, SelectAll };

    int fieldIndex(const QObject* object) const;
    bool handleFieldKey(int index, QKeyEvent* event);
    void fieldEdited(int index);
    void moveToField(int index, CursorPlace place);

    std::array<QLineEdit*, kFieldCount> fields_{};
};

}  // namespace quorbel
