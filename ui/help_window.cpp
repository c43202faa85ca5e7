#include "ui/help_window.h"

#include <QLabel>

#include <algorithm>

#include "resources/pictures.h"
#include "ui/controls.h"
#include "ui/embossed_label.h"
#include "ui/texts.h"
#include "ui/window_geometry.h"

namespace quorbel {
namespace {

constexpr QSize kOuterSize{486, 213};
constexpr int kAboutFontPixels = 16;
constexpr int kUsageFontPixels = 12;
const QColor kAboutColour(0, 136, 255);

void setTextColour(QLabel& label, const QColor& colour) {
    QPalette palette = label.palette();
    palette.setColor(QPalette::WindowText, colour);
    label.setPalette(palette);
}

}  // namespace

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent) {
    setWindowTitle(texts::helpTitle());
    setFont(controls::pixelFont(font(), kUsageFontPixels));
    makeFixedCentredWindow(*this, kOuterSize);

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("helpPicture"));
    picture->setGeometry(16, 24, 48, 48);
    picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picture->setPixmap(pictures::programPicture());

    auto* about = new EmbossedLabel(texts::aboutText(), this);
    about->setObjectName(QStringLiteral("aboutLabel"));
    about->setGeometry(81, 25, 272, 64);
    about->setFont(controls::pixelFont(font(), kAboutFontPixels, QFont::Bold));
    about->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    about->setWordWrap(true);
    setTextColour(*about, kAboutColour);

    auto* usage = new QLabel(texts::usageText(), this);
    usage->setObjectName(QStringLiteral("usageLabel"));
    usage->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    usage->setWordWrap(true);
    setTextColour(*usage, Qt::black);
    // Five lines need more than the 64 pixels the layout gives once the
    // font's line spacing exceeds 12 pixels: let the label use the room
    // down to the window's bottom edge.
    const QRect usageArea(80, 112, 392, 64);
    const int needed = usage->heightForWidth(usageArea.width());
    const int available = height() - usageArea.top();
    usage->setGeometry(usageArea.adjusted(0, 0, 0, std::clamp(needed, usageArea.height(), available) - usageArea.height()));
}

}  // namespace quorbel
