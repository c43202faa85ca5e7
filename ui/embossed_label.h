#pragma once

#include <QLabel>

namespace quorbel {

// A label whose text is drawn over a white copy of itself, offset one pixel
// right and down, so it stands out on any background.
class EmbossedLabel : public QLabel {
    Q_OBJECT
public:
    explicit EmbossedLabel(const QString& text, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace quorbel
