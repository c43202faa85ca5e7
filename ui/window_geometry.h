#pragma once

#include <QSize>

class QWidget;

namespace quorbel {

// Window sizes are given as outer sizes (frame and caption included) while
// control positions are client coordinates. A thin frame and a 19-pixel
// caption take this much; every window derives its client size from here.
inline constexpr QSize kWindowFrameAllowance{8, 27};

constexpr QSize clientSizeForOuter(QSize outer) { return outer - kWindowFrameAllowance; }
constexpr QSize outerSizeForClient(QSize client) { return client + kWindowFrameAllowance; }

// Places the window, frame included, in the middle of the primary screen's
// work area. Call once its size is set.
void centreOnPrimaryScreen(QWidget& window);

// Caption with minimise and close buttons and no maximise button; the
// window's type (main window or dialog) is kept.
void setMinimiseAndCloseButtons(QWidget& window);

// A fixed-size window of the given outer size, with minimise and close
// buttons, centred on the primary screen.
void makeFixedCentredWindow(QWidget& window, QSize outer);

}  // namespace quorbel
