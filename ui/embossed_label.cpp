#include "ui/embossed_label.h"

#include <QPainter>

namespace quorbel {

EmbossedLabel::EmbossedLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {}

void EmbossedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(font());
    const QRect area = contentsRect();
    const int flags = static_cast<int>(alignment()) | (wordWrap() ? Qt::TextWordWrap : 0);
    painter.setPen(Qt::white);
    painter.drawText(area.translated(1, 1), flags, text());
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(area, flags, text());
}

}  // namespace quorbel
