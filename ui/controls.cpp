#include "ui/controls.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>

namespace quorbel::controls {

QFont pixelFont(const QFont& base, int pixelSize, QFont::Weight weight) {
    QFont font = base;
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

QPushButton* plainButton(const QString& text, QWidget* parent, QRect geometry) {
    auto* button = new QPushButton(text, parent);
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setGeometry(geometry);
    return button;
}

QLabel* transparentLabel(const QString& text, QWidget* parent, QRect geometry, Qt::Alignment horizontal) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(horizontal | Qt::AlignVCenter);
    label->setAutoFillBackground(false);
    const int needed = QFontMetrics(label->font()).horizontalAdvance(text);
    if (needed > geometry.width()) {
        if (horizontal & Qt::AlignRight) {
            geometry.setLeft(geometry.right() + 1 - needed);
        } else {
            geometry.setWidth(needed);
        }
    }
    label->setGeometry(geometry);
    return label;
}

}  // namespace quorbel::controls
