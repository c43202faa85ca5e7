#pragma once

#include <QLineEdit>

namespace quorbel {

// The failure-limit box: right-aligned, accepts only the digits and "-" as
// typed characters (control keys such as paste pass), and rewrites its text
// as a plain 32-bit integer when it loses the focus, 0 as the empty text.
class FailLimitEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit FailLimitEdit(QWidget* parent = nullptr);

    // The text as it is rewritten on losing the focus.
    static QString normalised(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};

}  // namespace quorbel
