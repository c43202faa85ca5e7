#include "ui/window_geometry.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

namespace quorbel {

void centreOnPrimaryScreen(QWidget& window) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QSize outer = outerSizeForClient(window.size());
    const QRect area = screen->availableGeometry();
    // move() places a top-level window's frame, so centre the outer size.
    window.move(area.center() - QPoint(outer.width() / 2, outer.height() / 2));
}

void setMinimiseAndCloseButtons(QWidget& window) {
    const Qt::WindowFlags type = window.windowFlags() & Qt::WindowType_Mask;
    window.setWindowFlags(type | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
}

void makeFixedCentredWindow(QWidget& window, QSize outer) {
    setMinimiseAndCloseButtons(window);
    window.setFixedSize(clientSizeForOuter(outer));
    centreOnPrimaryScreen(window);
}

}  // namespace quorbel
