#pragma once

#include <QFont>
#include <QRect>
#include <QString>

class QLabel;
class QPushButton;
class QWidget;

// Building blocks shared by the windows, which place their controls at
// fixed client coordinates.
namespace quorbel::controls {

// `base` at a size given in pixels, so texts keep their size on any screen.
QFont pixelFont(const QFont& base, int pixelSize, QFont::Weight weight = QFont::Normal);

// A plain push button that Enter never presses.
QPushButton* plainButton(const QString& text, QWidget* parent, QRect geometry);

// A transparent single-line label, vertically centred. When its text needs
// more room than `geometry` gives, it grows away from its aligned edge.
QLabel* transparentLabel(const QString& text, QWidget* parent, QRect geometry, Qt::Alignment horizontal);

}  // namespace quorbel::controls
