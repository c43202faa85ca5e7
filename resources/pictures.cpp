#include "resources/pictures.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPolygonF>
#include <QRadialGradient>
#include <QTransform>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace quorbel::pictures {
namespace {

constexpr int kToolbarSize = 32;
constexpr int kStateSize = 12;
constexpr int kTraySize = 24;
constexpr int kProgramSize = 48;
constexpr std::array kProgramIconSizes{16, 24, 32, 48};

QImage blankImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void prepare(QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
}

// Fills a shape with a top-to-bottom gradient and outlines it one pixel wide.
void fillOutlined(QPainter& painter, const QPainterPath& shape, QColor top, QColor bottom, QColor outline) {
    const QRectF bounds = shape.boundingRect();
    QLinearGradient gradient(bounds.topLeft(), bounds.bottomLeft());
    gradient.setColorAt(0.0, top);
    gradient.setColorAt(1.0, bottom);
    painter.setPen(QPen(outline, 1.0));
    painter.setBrush(gradient);
    painter.drawPath(shape);
}

// A glossy blue disc filling the 32x32 icon, the base of three toolbar icons.
void drawBlueDisc(QPainter& painter) {
    const QRectF disc(1.5, 1.5, 29.0, 29.0);
    QRadialGradient gradient(QPointF(12.0, 9.0), 22.0);
    gradient.setColorAt(0.0, QColor(120, 190, 255));
    gradient.setColorAt(0.6, QColor(30, 120, 220));
    gradient.setColorAt(1.0, QColor(10, 70, 160));
    painter.setPen(QPen(QColor(8, 50, 120), 1.0));
    painter.setBrush(gradient);
    painter.drawEllipse(disc);
}

void drawWhiteShape(QPainter& painter, const QPainterPath& shape) {
    painter.setPen(QPen(QColor(0, 40, 100, 90), 1.0));
    painter.setBrush(Qt::white);
    painter.drawPath(shape.simplified());
}

QPointF pointOnCircle(QPointF centre, double radius, double degrees) {
    const double radians = degrees * std::numbers::pi / 180.0;
    return centre + QPointF(radius * std::cos(radians), -radius * std::sin(radians));
}

// One arc running clockwise from `startDegrees`, ending in an arrowhead.
QPainterPath circlingArrow(QPointF centre, double radius, double startDegrees, double sweepDegrees) {
    const double width = 4.5;
    const double endDegrees = startDegrees + sweepDegrees;

    QPainterPath arc;
    const QRectF circle(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    arc.arcMoveTo(circle, startDegrees);
    arc.arcTo(circle, startDegrees, sweepDegrees);
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(Qt::FlatCap);
    QPainterPath shape = stroker.createStroke(arc);

    const double radians = endDegrees * std::numbers::pi / 180.0;
    const QPointF end = pointOnCircle(centre, radius, endDegrees);
    const QPointF forward(std::sin(radians), std::cos(radians));    // clockwise tangent
    const QPointF outward(std::cos(radians), -std::sin(radians));   // away from the centre
    QPolygonF head;
    head << end + outward * 5.5 << end + forward * 6.0 << end - outward * 5.5;
    QPainterPath headPath;
    headPath.addPolygon(head);
    headPath.closeSubpath();
    return shape.united(headPath);
}

void drawRefresh(QPainter& painter) {
    const QPointF centre(16.0, 16.0);
    const QColor top(120, 220, 100), bottom(30, 140, 40), outline(15, 85, 20);
    fillOutlined(painter, circlingArrow(centre, 10.0, 165.0, -115.0), top, bottom, outline);
    fillOutlined(painter, circlingArrow(centre, 10.0, 345.0, -115.0), top, bottom, outline);
}

void drawAdd(QPainter& painter) {
    drawBlueDisc(painter);
    QPainterPath across;
    across.addRoundedRect(QRectF(8.0, 13.75, 16.0, 4.5), 1.0, 1.0);
    QPainterPath down;
    down.addRoundedRect(QRectF(13.75, 8.0, 4.5, 16.0), 1.0, 1.0);
    drawWhiteShape(painter, across.united(down));
}

void drawDelete(QPainter& painter) {
    const QPointF centre(16.0, 16.0);
    const double radius = 12.0;
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(centre, radius, radius);

    QPainterPath sign;
    sign.addEllipse(centre, radius + 2.5, radius + 2.5);
    QPainterPath inner;
    inner.addEllipse(centre, radius - 2.0, radius - 2.0);
    sign = sign.subtracted(inner);
    QPainterPath bar;
    bar.addRect(QRectF(-radius, -2.25, 2 * radius, 4.5));
    bar = QTransform().translate(centre.x(), centre.y()).rotate(45.0).map(bar);
    QPainterPath disc;
    disc.addEllipse(centre, radius, radius);
    sign = sign.united(bar.intersected(disc));
    fillOutlined(painter, sign, QColor(240, 70, 60), QColor(180, 20, 20), QColor(120, 10, 10));
}

// The spanner along the x axis, centred on the origin: a closed ring at the
// left end and an open jaw at the right.
QPainterPath spanner() {
    QPainterPath shape;
    shape.addRoundedRect(QRectF(-10.0, -2.0, 20.0, 4.0), 1.5, 1.5);
    QPainterPath ring;
    ring.addEllipse(QPointF(-11.0, 0.0), 4.5, 4.5);
    QPainterPath ringHole;
    ringHole.addEllipse(QPointF(-11.0, 0.0), 2.0, 2.0);
    QPainterPath jaw;
    jaw.addEllipse(QPointF(11.0, 0.0), 5.0, 5.0);
    QPainterPath jawSlot;
    jawSlot.addRect(QRectF(10.0, -2.0, 8.0, 4.0));
    shape = shape.united(ring).united(jaw);
    return shape.subtracted(ringHole).subtracted(jawSlot);
}

void drawSettings(QPainter& painter) {
    painter.save();
    painter.translate(16.0, 16.0);
    painter.scale(1.05, 1.05);

    painter.save();
    painter.rotate(45.0);
    fillOutlined(painter, spanner(), QColor(235, 235, 240), QColor(130, 135, 145), QColor(70, 72, 80));
    painter.restore();

    painter.rotate(-45.0);
    QPainterPath shaft;
    shaft.addRect(QRectF(-2.0, -1.3, 13.0, 2.6));
    QPolygonF blade;
    blade << QPointF(11.0, -1.3) << QPointF(14.5, -0.6) << QPointF(14.5, 0.6) << QPointF(11.0, 1.3);
    shaft.addPolygon(blade);
    fillOutlined(painter, shaft.simplified(), QColor(240, 240, 245), QColor(140, 145, 155), QColor(70, 72, 80));
    QPainterPath handle;
    handle.addRoundedRect(QRectF(-15.0, -3.6, 13.0, 7.2), 2.5, 2.5);
    fillOutlined(painter, handle, QColor(255, 140, 60), QColor(200, 50, 20), QColor(110, 30, 10));
    painter.restore();
}

void drawHelp(QPainter& painter) {
    drawBlueDisc(painter);
    QPainterPath letter;
    letter.setFillRule(Qt::WindingFill);
    letter.addEllipse(QPointF(16.0, 9.5), 2.4, 2.4);
    letter.addRoundedRect(QRectF(13.9, 13.5, 4.2, 11.0), 1.0, 1.0);
    drawWhiteShape(painter, letter);
}

void drawMinimise(QPainter& painter) {
    drawBlueDisc(painter);
    QPolygonF arrow;
    arrow << QPointF(13.5, 7.0) << QPointF(18.5, 7.0) << QPointF(18.5, 15.0) << QPointF(23.5, 15.0)
          << QPointF(16.0, 24.5) << QPointF(8.5, 15.0) << QPointF(13.5, 15.0);
    QPainterPath shape;
    shape.addPolygon(arrow);
    shape.closeSubpath();
    drawWhiteShape(painter, shape);
}

QImage drawToolbarIcon(void (*draw)(QPainter&)) {
    QImage image = blankImage(kToolbarSize);
    QPainter painter(&image);
    prepare(painter);
    draw(painter);
    return image;
}

QImage drawStatePicture(QColor colour) {
    QImage image = blankImage(kStateSize);
    QPainter painter(&image);
    prepare(painter);
    QLinearGradient gradient(0.0, 0.0, 0.0, kStateSize);
    gradient.setColorAt(0.0, colour.lighter(140));
    gradient.setColorAt(1.0, colour);
    painter.setPen(QPen(colour.darker(160), 1.0));
    painter.setBrush(gradient);
    painter.drawRoundedRect(QRectF(0.5, 0.5, kStateSize - 1.0, kStateSize - 1.0), 2.0, 2.0);
    return image;
}

// A heater shield filling a square of `size` pixels, inset by `inset`.
QPainterPath shieldOutline(double size, double inset) {
    const double left = inset, right = size - inset;
    const double top = inset + size * 0.04, bottom = size - inset;
    const double middle = size / 2.0;
    const double shoulder = top + (bottom - top) * 0.45;
    QPainterPath path;
    path.moveTo(left, top);
    path.quadTo(middle, top + size * 0.07, right, top);
    path.lineTo(right, shoulder);
    path.cubicTo(right, bottom - size * 0.18, middle + size * 0.2, bottom - size * 0.06, middle, bottom);
    path.cubicTo(middle - size * 0.2, bottom - size * 0.06, left, bottom - size * 0.18, left, shoulder);
    path.closeSubpath();
    return path;
}

QImage drawShield(int size) {
    QImage image = blankImage(size);
    QPainter painter(&image);
    prepare(painter);

    const double rimWidth = std::max(1.0, size / 16.0);
    const QPainterPath outline = shieldOutline(size, rimWidth / 2.0 + 0.5);
    const double middleX = size / 2.0;
    const double middleY = size * 0.47;

    painter.save();
    painter.setClipPath(outline);
    painter.setPen(Qt::NoPen);
    painter.fillRect(QRectF(0, 0, middleX, middleY), QColor(225, 40, 40));
    painter.fillRect(QRectF(middleX, 0, size - middleX, middleY), QColor(40, 170, 60));
    painter.fillRect(QRectF(0, middleY, middleX, size - middleY), QColor(40, 90, 215));
    painter.fillRect(QRectF(middleX, middleY, size - middleX, size - middleY), QColor(250, 205, 30));
    QLinearGradient gloss(0.0, 0.0, size * 0.6, size * 0.8);
    gloss.setColorAt(0.0, QColor(255, 255, 255, 110));
    gloss.setColorAt(1.0, QColor(255, 255, 255, 0));
    painter.fillRect(QRectF(0, 0, size, size), gloss);
    painter.restore();

    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(140, 140, 145), rimWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(outline);
    if (size >= kTraySize) {
        painter.setPen(QPen(QColor(80, 80, 85), 1.0));
        painter.drawPath(shieldOutline(size, 0.5));
    }
    return image;
}

struct ToolbarImages {
    std::array<QImage, 7> byPosition;
};

const ToolbarImages& toolbarImages() {
    static const ToolbarImages images{{
        drawToolbarIcon(drawRefresh),
        drawToolbarIcon(drawAdd),
        drawToolbarIcon(drawDelete),
        QImage(),  // the separator
        drawToolbarIcon(drawSettings),
        drawToolbarIcon(drawHelp),
        drawToolbarIcon(drawMinimise),
    }};
    return images;
}

const std::array<QImage, 3>& stateImages() {
    static const std::array<QImage, 3> images{
        drawStatePicture(QColor(40, 175, 60)),
        drawStatePicture(QColor(150, 150, 150)),
        drawStatePicture(QColor(240, 165, 20)),
    };
    return images;
}

const std::array<QImage, kProgramIconSizes.size()>& shieldImages() {
    static const std::array<QImage, kProgramIconSizes.size()> images = [] {
        std::array<QImage, kProgramIconSizes.size()> drawn;
        for (std::size_t index = 0; index < kProgramIconSizes.size(); ++index) {
            drawn[index] = drawShield(kProgramIconSizes[index]);
        }
        return drawn;
    }();
    return images;
}

QImage shieldImage(int size) {
    for (std::size_t index = 0; index < kProgramIconSizes.size(); ++index) {
        if (kProgramIconSizes[index] == size) return shieldImages()[index];
    }
    return {};
}

}  // namespace

QIcon toolbarIcon(int position) {
    const auto& images = toolbarImages().byPosition;
    if (position < 0 || position >= static_cast<int>(images.size()) || images[position].isNull()) return {};
    return QIcon(QPixmap::fromImage(images[position]));
}

QPixmap statePicture(int state) {
    const auto& images = stateImages();
    if (state < 0 || state >= static_cast<int>(images.size())) return {};
    return QPixmap::fromImage(images[state]);
}

QIcon trayIcon() {
    return QIcon(QPixmap::fromImage(shieldImage(kTraySize)));
}

QPixmap programPicture() {
    return QPixmap::fromImage(shieldImage(kProgramSize));
}

QIcon programIcon() {
    QIcon icon;
    for (const QImage& image : shieldImages()) icon.addPixmap(QPixmap::fromImage(image));
    return icon;
}

}  // namespace quorbel::pictures
