#include "ui/ipv4_address_edit.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QStringList>

#include <algorithm>

namespace quorbel {
namespace {

constexpr int kFieldMaximum = 255;
constexpr int kFieldDigits = 3;

// A field's text as a number; blank reads as 0.
int fieldValue(const QString& text) {
    return text.isEmpty() ? 0 : text.toInt();
}

}  // namespace

Ipv4AddressEdit::Ipv4AddressEdit(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 1, 2, 1);
    layout->setSpacing(0);
    auto* digits = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), this);
    for (int index = 0; index < kFieldCount; ++index) {
        if (index > 0) {
            auto* dot = new QLabel(QStringLiteral("."), this);
            dot->setAlignment(Qt::AlignCenter);
            layout->addWidget(dot);
        }
        auto* field = new QLineEdit(this);
        field->setObjectName(QStringLiteral("addressField%1").arg(index + 1));
        field->setFrame(false);
        field->setAlignment(Qt::AlignCenter);
        field->setMaxLength(kFieldDigits);
        field->setValidator(digits);
        field->installEventFilter(this);
        connect(field, &QLineEdit::textEdited, this, [this, index] { fieldEdited(index); });
        layout->addWidget(field, 1);
        fields_[index] = field;
    }
    setFocusProxy(fields_[0]);
}

QString Ipv4AddressEdit::address() const {
    if (isBlank()) return {};
    QStringList parts;
    for (const QLineEdit* field : fields_) parts << QString::number(fieldValue(field->text()));
    return parts.join(u'.');
}

void Ipv4AddressEdit::setAddress(const QString& address) {
    const QStringList parts = address.isEmpty() ? QStringList() : address.split(u'.');
    for (int index = 0; index < kFieldCount; ++index) {
        QString text;
        if (index < parts.size()) {
            bool isNumber = false;
            const QString part = parts[index].trimmed();
            const qlonglong value = part.toLongLong(&isNumber);
            if (isNumber && value >= 0) text = QString::number(std::min<qlonglong>(value, kFieldMaximum));
        }
        fields_[index]->setText(text);
    }
}

bool Ipv4AddressEdit::isBlank() const {
    for (const QLineEdit* field : fields_) {
        if (!field->text().isEmpty()) return false;
    }
    return true;
}

bool Ipv4AddressEdit::eventFilter(QObject* watched, QEvent* event) {
    const int index = fieldIndex(watched);
    if (index >= 0 && event->type() == QEvent::KeyPress) {
        if (handleFieldKey(index, static_cast<QKeyEvent*>(event))) return true;
    }
    return QFrame::eventFilter(watched, event);
}

int Ipv4AddressEdit::fieldIndex(const QObject* object) const {
    for (int index = 0; index < kFieldCount; ++index) {
        if (fields_[index] == object) return index;
    }
    return -1;
}

// True when the key was dealt with here and the field must not see it.
bool Ipv4AddressEdit::handleFieldKey(int index, QKeyEvent* event) {
    QLineEdit* field = fields_[index];
    const bool atStart = field->cursorPosition() == 0 && !field->hasSelectedText();
    const bool atEnd = field->cursorPosition() == field->text().size() && !field->hasSelectedText();

    if (event->matches(QKeySequence::Paste)) {
        const QString pasted = QGuiApplication::clipboard()->text().trimmed();
        if (!pasted.contains(u'.')) return false;
        setAddress(pasted);
        moveToField(kFieldCount - 1, CursorPlace::AtEnd);
        return true;
    }
    if (event->text() == QStringLiteral(".")) {
        if (!field->text().isEmpty() && index + 1 < kFieldCount) moveToField(index + 1, CursorPlace::SelectAll);
        return true;
    }
    switch (event->key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Left:
        if (atStart && index > 0) {
            moveToField(index - 1, CursorPlace::AtEnd);
            return true;
        }
        return false;
    case Qt::Key_Right:
        if (atEnd && index + 1 < kFieldCount) {
            moveToField(index + 1, CursorPlace::AtStart);
            return true;
        }
        return false;
    default:
        return false;
    }
}

void Ipv4AddressEdit::fieldEdited(int index) {
    QLineEdit* field = fields_[index];
    if (fieldValue(field->text()) > kFieldMaximum) field->setText(QString::number(kFieldMaximum));
    const bool full = field->text().size() == kFieldDigits && field->cursorPosition() == kFieldDigits;
    if (full && index + 1 < kFieldCount) moveToField(index + 1, CursorPlace::SelectAll);
}

void Ipv4AddressEdit::moveToField(int index, CursorPlace place) {
    QLineEdit* field = fields_[index];
    field->setFocus(Qt::OtherFocusReason);
    switch (place) {
    case CursorPlace::AtStart: field->setCursorPosition(0); break;
    case CursorPlace::AtEnd: field->setCursorPosition(field->text().size()); break;
    case CursorPlace::SelectAll: field->selectAll(); break;
    }
}

}  // namespace quorbel
