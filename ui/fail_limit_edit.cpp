#include "ui/fail_limit_edit.h"

#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>

#include "hostdata/text_number.h"

namespace quorbel {
namespace {

bool isAcceptedCharacter(QChar character) {
    return (character >= u'0' && character <= u'9') || character == u'-';
}

// Printable text other than digits and "-" is refused; editing keys carry
// no printable text.
bool isRefusedTyping(const QString& text) {
    for (const QChar character : text) {
        if (character.isPrint() && !isAcceptedCharacter(character)) return true;
    }
    return false;
}

}  // namespace

FailLimitEdit::FailLimitEdit(QWidget* parent) : QLineEdit(parent) {
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

QString FailLimitEdit::normalised(const QString& text) {
    const std::int32_t value = textToInteger(text.toStdString());
    return value == 0 ? QString() : QString::number(value);
}

void FailLimitEdit::keyPressEvent(QKeyEvent* event) {
    // Ctrl combinations (paste, undo, select all...) are commands, not typing,
    // whatever text the platform attaches to them.
    const bool isCommand = event->modifiers().testFlag(Qt::ControlModifier);
    if (!isCommand && isRefusedTyping(event->text())) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void FailLimitEdit::inputMethodEvent(QInputMethodEvent* event) {
    if (!isRefusedTyping(event->commitString())) {
        QLineEdit::inputMethodEvent(event);
        return;
    }
    // Keep the composition going but commit only the accepted characters.
    QString accepted;
    for (const QChar character : event->commitString()) {
        if (isAcceptedCharacter(character)) accepted += character;
    }
    QInputMethodEvent filtered(event->preeditString(), event->attributes());
    filtered.setCommitString(accepted, event->replacementStart(), event->replacementLength());
    QLineEdit::inputMethodEvent(&filtered);
    event->accept();
}

void FailLimitEdit::focusOutEvent(QFocusEvent* event) {
    // A context menu taking the focus for a moment is not leaving the box.
    if (event->reason() != Qt::PopupFocusReason) {
        const QString text = normalised(this->text());
        if (text != this->text()) setText(text);
    }
    QLineEdit::focusOutEvent(event);
}

}  // namespace quorbel
