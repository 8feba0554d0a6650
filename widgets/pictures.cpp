#include "widgets/pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>

namespace corvana::widgets::pictures {
namespace {

const QColor kNavy(0, 0, 128);
const QColor kBody(0x2b, 0x2d, 0x31);
const QColor kTick(0x2e, 0xa0, 0x43);
const QColor kRed(0xd3, 0x2f, 0x2f);
const QColor kBlue(0x15, 0x65, 0xd8);

QImage canvas(int w, int h, bool opaque) {
    QImage img(w, h, opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
    img.fill(opaque ? QColor(Qt::white) : QColor(Qt::transparent));
    return img;
}

// A soft white card, so the pictures sit on the sheets' gradient like photographs.
// The GIF's frames stay flat: its small palette would turn a gradient into bands.
void background(QPainter& p, bool flat = false) {
    QLinearGradient g(0, 0, 0, kPictureSize);
    g.setColorAt(0, QColor(0xff, 0xff, 0xff));
    g.setColorAt(1, flat ? QColor(0xff, 0xff, 0xff) : QColor(0xee, 0xf3, 0xfa));
    p.fillRect(QRect(0, 0, kPictureSize, kPictureSize), g);
    p.setPen(QPen(QColor(0xc5, 0xd3, 0xe6), 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(1, 1, kPictureSize - 2, kPictureSize - 2));
}

void label(QPainter& p, const QRectF& r, const QString& text, int px, const QColor& c,
           bool bold = true, int flags = Qt::AlignCenter) {
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(px);
    f.setBold(bold);
    p.setFont(f);
    p.setPen(c);
    p.drawText(r, flags, text);
}

// The PC as a tower seen from the front; `port` is where its upper USB socket is.
QPointF drawPc(QPainter& p) {
    const QRectF tower(25, 150, 120, 250);
    QLinearGradient g(tower.topLeft(), tower.topRight());
    g.setColorAt(0, QColor(0x6b, 0x71, 0x7a));
    g.setColorAt(1, QColor(0x3a, 0x3e, 0x44));
    p.setPen(QPen(QColor(0x22, 0x24, 0x28), 2));
    p.setBrush(g);
    p.drawRoundedRect(tower, 8, 8);
    p.setBrush(QColor(0x25, 0x27, 0x2b));
    p.drawRoundedRect(QRectF(40, 172, 90, 14), 3, 3); // drive bay
    p.drawRoundedRect(QRectF(40, 194, 90, 14), 3, 3);
    p.setBrush(QColor(0x1e, 0x88, 0xe5));
    p.setPen(QPen(QColor(0xbb, 0xde, 0xfb), 2));
    p.drawEllipse(QPointF(85, 245), 11, 11); // power button
    for (int i = 0; i < 2; ++i) {
        const qreal y = 330 + i * 22;
        p.setPen(QPen(QColor(0xc0, 0xc4, 0xca), 1.5));
        p.setBrush(QColor(0x10, 0x10, 0x12));
        p.drawRect(QRectF(62, y, 38, 13));
        p.setBrush(QColor(0xe0, 0xe0, 0xe0));
        p.setPen(Qt::NoPen);
        p.drawRect(QRectF(66, y + 3, 30, 4));
    }
    label(p, QRectF(25, 372, 120, 20), QStringLiteral("USB"), 11, QColor(0xdd, 0xdd, 0xdd));
    return {100, 336.5};
}

// A USB plug whose metal tip ends at `tip`, cable leaving to the right.
void drawPlug(QPainter& p, QPointF tip) {
    p.setPen(QPen(QColor(0x80, 0x84, 0x8a), 1));
    p.setBrush(QColor(0xd5, 0xd8, 0xdc));
    p.drawRect(QRectF(tip.x(), tip.y() - 6, 14, 12)); // metal
    p.setBrush(QColor(0x33, 0x35, 0x39));
    p.setPen(QPen(QColor(0x15, 0x15, 0x17), 1));
    p.drawRoundedRect(QRectF(tip.x() + 14, tip.y() - 9, 26, 18), 4, 4);
}

QPainterPath cablePath(QPointF from, QPointF to) {
    QPainterPath path(from);
    path.cubicTo(from + QPointF(120, 20), to + QPointF(-40, 90), to);
    return path;
}

void drawCable(QPainter& p, const QPainterPath& path) {
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x1a, 0x1a, 0x1c), 7, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(path);
    p.setPen(QPen(QColor(0x55, 0x58, 0x5e), 2, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(path);
}

const QRectF kRemote(300, 50, 90, 320);

// The remote from the front; returns where its cable socket is (bottom centre).
QPointF drawRemoteFront(QPainter& p, const QRectF& r = kRemote) {
    QLinearGradient g(r.topLeft(), r.topRight());
    g.setColorAt(0, QColor(0x3b, 0x3e, 0x44));
    g.setColorAt(0.5, kBody);
    g.setColorAt(1, QColor(0x18, 0x19, 0x1c));
    p.setPen(QPen(QColor(0x10, 0x10, 0x12), 2));
    p.setBrush(g);
    p.drawRoundedRect(r, 22, 22);
    const qreal cx = r.center().x();
    p.setPen(Qt::NoPen);
    p.setBrush(kRed);
    p.drawEllipse(QPointF(r.left() + 22, r.top() + 26), 8, 8); // power
    p.setBrush(QColor(0x9e, 0xa4, 0xad));
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 3; ++col)
            p.drawRoundedRect(QRectF(r.left() + 14 + col * 22, r.top() + 50 + row * 20, 16, 12), 4,
                              4);
    p.setBrush(QColor(0x55, 0x5a, 0x62));
    p.drawEllipse(QPointF(cx, r.top() + 165), 28, 28);
    p.setBrush(QColor(0xc8, 0xcc, 0xd2));
    p.drawEllipse(QPointF(cx, r.top() + 165), 11, 11);
    const QColor colours[] = {kRed, QColor(0x43, 0xa0, 0x47), QColor(0xfd, 0xd8, 0x35),
                              QColor(0x1e, 0x88, 0xe5)};
    for (int i = 0; i < 4; ++i) {
        p.setBrush(colours[i]);
        p.drawRoundedRect(QRectF(r.left() + 10 + i * 19, r.top() + 210, 14, 9), 3, 3);
    }
    p.setBrush(QColor(0x9e, 0xa4, 0xad));
    for (int i = 0; i < 2; ++i)
        p.drawRoundedRect(QRectF(r.left() + 16 + i * 34, r.top() + 232, 24, 30), 6, 6);
    label(p, QRectF(r.left(), r.bottom() - 46, r.width(), 16), QStringLiteral("QYX PQ"), 11,
          QColor(0xee, 0xee, 0xee));
    p.setBrush(QColor(0x0a, 0x0a, 0x0a));
    p.drawRect(QRectF(cx - 8, r.bottom() - 4, 16, 6));
    return {cx, r.bottom() + 2};
}

// The remote from the back with its battery compartment open; returns the compartment.
QRectF drawRemoteBack(QPainter& p, const QRectF& r, bool withBatteries) {
    QLinearGradient g(r.topLeft(), r.topRight());
    g.setColorAt(0, QColor(0x44, 0x47, 0x4d));
    g.setColorAt(1, QColor(0x1d, 0x1e, 0x21));
    p.setPen(QPen(QColor(0x10, 0x10, 0x12), 2));
    p.setBrush(g);
    p.drawRoundedRect(r, 22, 22);
    const QRectF bay(r.left() + 14, r.top() + r.height() * 0.45, r.width() - 28, r.height() * 0.45);
    p.setBrush(QColor(0x12, 0x12, 0x14));
    p.drawRoundedRect(bay, 6, 6);
    if (withBatteries) {
        for (int i = 0; i < 2; ++i) {
            const QRectF cell(bay.left() + 6 + i * (bay.width() / 2), bay.top() + 10,
                              bay.width() / 2 - 12, bay.height() - 20);
            QLinearGradient cg(cell.topLeft(), cell.topRight());
            cg.setColorAt(0, QColor(0x9c, 0x6f, 0x12));
            cg.setColorAt(0.5, QColor(0xf2, 0xc2, 0x4b));
            cg.setColorAt(1, QColor(0x8a, 0x60, 0x0c));
            p.setPen(Qt::NoPen);
            p.setBrush(cg);
            p.drawRoundedRect(cell, 5, 5);
            p.setBrush(QColor(0xc0, 0xc4, 0xca));
            const qreal capY = i == 0 ? cell.top() - 4 : cell.bottom();
            p.drawRect(QRectF(cell.center().x() - 4, capY, 8, 4));
        }
    }
    return bay;
}

void drawCrossOut(QPainter& p, const QRectF& r) {
    p.setPen(QPen(QColor(0xe5, 0x1c, 0x23), 12, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(r.topLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomLeft());
}

void drawTick(QPainter& p, QPointF c, qreal radius) {
    p.setPen(QPen(QColor(0x1b, 0x5e, 0x20), 3));
    QRadialGradient g(c - QPointF(radius / 3, radius / 3), radius * 1.4);
    g.setColorAt(0, QColor(0x66, 0xd1, 0x7a));
    g.setColorAt(1, kTick);
    p.setBrush(g);
    p.drawEllipse(c, radius, radius);
    QPainterPath tick;
    tick.moveTo(c + QPointF(-radius * 0.48, radius * 0.02));
    tick.lineTo(c + QPointF(-radius * 0.12, radius * 0.38));
    tick.lineTo(c + QPointF(radius * 0.52, -radius * 0.36));
    p.setPen(QPen(Qt::white, radius * 0.22, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(tick);
}

void drawArrowHead(QPainter& p, QPointF at, qreal angleDeg, qreal size, const QColor& c) {
    p.save();
    p.translate(at);
    p.rotate(-angleDeg);
    QPolygonF head;
    head << QPointF(size, 0) << QPointF(-size * 0.7, -size * 0.75) << QPointF(-size * 0.3, 0)
         << QPointF(-size * 0.7, size * 0.75);
    p.setPen(QPen(c.darker(150), 1.5));
    p.setBrush(c);
    p.drawPolygon(head);
    p.restore();
}

// Arrows along the cable, `phase` 0..1 shifting them towards the remote.
void drawFlow(QPainter& p, const QPainterPath& path, qreal phase) {
    for (int i = 0; i < 5; ++i) {
        const qreal t = 0.1 + std::fmod(i * 0.18 + phase * 0.18, 0.9);
        drawArrowHead(p, path.pointAtPercent(t), path.angleAtPercent(t), 13, kBlue);
    }
}

struct Scene {
    QPainterPath cable;
};

// PC, cable and remote (front), plugged in.
Scene connectedScene(QPainter& p) {
    const QPointF port = drawPc(p);
    drawPlug(p, port - QPointF(14, 0));
    const QPointF socket = drawRemoteFront(p);
    Scene s{cablePath(port + QPointF(26, 0), socket + QPointF(0, 14))};
    drawCable(p, s.cable);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x33, 0x35, 0x39));
    p.drawRoundedRect(QRectF(socket.x() - 9, socket.y(), 18, 16), 3, 3);
    return s;
}

void drawPen(QPainter& p, QPointF tip, qreal angleDeg) {
    p.save();
    p.translate(tip);
    p.rotate(angleDeg);
    p.setPen(QPen(QColor(0x0d, 0x2b, 0x6b), 1.5));
    QPolygonF point;
    point << QPointF(0, 0) << QPointF(18, -7) << QPointF(18, 7);
    p.setBrush(QColor(0xe8, 0xd7, 0xb0));
    p.drawPolygon(point);
    p.setBrush(kNavy);
    p.drawEllipse(QPointF(2, 0), 2.5, 2.5);
    QLinearGradient g(0, -8, 0, 8);
    g.setColorAt(0, QColor(0x42, 0x8b, 0xf5));
    g.setColorAt(1, QColor(0x0d, 0x47, 0xa1));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(18, -8, 150, 16), 4, 4);
    p.setBrush(QColor(0xcf, 0xd8, 0xdc));
    p.drawRect(QRectF(150, -10, 6, 20));
    p.restore();
}

// The opened battery cover, inside up, with the number written on it.
void drawCover(QPainter& p, const QRectF& r, const QString& writing) {
    QLinearGradient g(r.topLeft(), r.bottomRight());
    g.setColorAt(0, QColor(0xd9, 0xdc, 0xe1));
    g.setColorAt(1, QColor(0xa9, 0xae, 0xb6));
    p.setPen(QPen(QColor(0x2b, 0x2d, 0x31), 3));
    p.setBrush(g);
    p.drawRoundedRect(r, 14, 14);
    p.setPen(QPen(QColor(0x8b, 0x90, 0x98), 2));
    p.drawRect(QRectF(r.center().x() - 10, r.top() + 6, 20, 8)); // latch
    p.save();
    p.translate(r.center());
    p.rotate(-8);
    QFont f(QStringLiteral("DejaVu Serif"));
    f.setItalic(true);
    f.setPixelSize(22);
    p.setFont(f);
    p.setPen(kNavy);
    p.drawText(QRectF(-r.width() / 2, -20, r.width(), 40), Qt::AlignCenter, writing);
    p.restore();
}

} // namespace

QImage StartPicture() {
    QImage img = canvas(kPictureSize, kPictureSize, true);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    background(p);
    const QPointF port = drawPc(p);
    drawPlug(p, port + QPointF(34, 26)); // lies apart, not in the socket
    const QRectF back(270, 50, 130, 330);
    const QRectF bay = drawRemoteBack(p, back, true);
    drawCable(p, cablePath(port + QPointF(74, 26), QPointF(back.center().x(), back.bottom() + 14)));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x33, 0x35, 0x39));
    p.drawRoundedRect(QRectF(back.center().x() - 9, back.bottom(), 18, 16), 3, 3);
    drawCrossOut(p, bay.adjusted(-12, -12, 12, 12));
    return img;
}

QImage ConnectedPicture() {
    QImage img = canvas(kPictureSize, kPictureSize, true);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    background(p);
    connectedScene(p);
    drawTick(p, QPointF(85, 78), 48);
    return img;
}

QImage TransferPicture() {
    QImage img = canvas(kPictureSize, kPictureSize, true);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    background(p);
    const Scene s = connectedScene(p);
    drawFlow(p, s.cable, 0);
    drawTick(p, QPointF(85, 78), 48);
    return img;
}

QImage BatteryCoverPicture() {
    QImage img = canvas(kPictureSize, kPictureSize, true);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    background(p);
    drawRemoteBack(p, QRectF(40, 60, 120, 320), true);
    const QRectF cover(210, 110, 150, 250);
    drawCover(p, cover, QStringLiteral("QYX 12345"));
    drawPen(p, cover.center() + QPointF(62, -8), -35);
    return img;
}

QImage ArrowRight() {
    QImage img = canvas(56, 52, false);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QPolygonF arrow;
    arrow << QPointF(3, 16) << QPointF(29, 16) << QPointF(29, 3) << QPointF(53, 26)
          << QPointF(29, 49) << QPointF(29, 36) << QPointF(3, 36);
    QLinearGradient g(0, 0, 0, 52);
    g.setColorAt(0, QColor(0x6c, 0xb4, 0xff));
    g.setColorAt(0.5, QColor(0x1e, 0x74, 0xe0));
    g.setColorAt(1, QColor(0x0b, 0x4a, 0xa8));
    p.setPen(QPen(QColor(0x06, 0x2e, 0x6e), 2, Qt::SolidLine, Qt::SquareCap, Qt::RoundJoin));
    p.setBrush(g);
    p.drawPolygon(arrow);
    return img;
}

QImage ArrowLeft() {
    return ArrowRight().mirrored(true, false);
}

QImage CloseCross() {
    QImage img = canvas(50, 46, false);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, 46);
    g.setColorAt(0, QColor(0xef, 0x53, 0x50));
    g.setColorAt(1, QColor(0xb7, 0x1c, 0x1c));
    p.setPen(QPen(QColor(0x7f, 0x0e, 0x0e), 2));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(2, 1, 44, 44), 5, 5);
    p.setPen(QPen(Qt::white, 7, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(13, 12), QPointF(35, 34));
    p.drawLine(QPointF(35, 12), QPointF(13, 34));
    return img;
}

QImage ConnectFilePicture() {
    QImage img = canvas(kPictureSize, kPictureSize, true);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    background(p);
    const QPointF port = drawPc(p);
    const QPointF plugTip = port + QPointF(44, 0);
    drawPlug(p, plugTip);
    const QPointF socket = drawRemoteFront(p);
    drawCable(p, cablePath(plugTip + QPointF(40, 0), socket + QPointF(0, 14)));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x33, 0x35, 0x39));
    p.drawRoundedRect(QRectF(socket.x() - 9, socket.y(), 18, 16), 3, 3);
    // "plug it in": an arrow from the plug towards the socket
    p.setPen(QPen(kBlue, 5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(port + QPointF(64, -34), port + QPointF(18, -34));
    drawArrowHead(p, port + QPointF(12, -34), 180, 12, kBlue);
    label(p, QRectF(20, 14, 260, 24), QStringLiteral("USB  \u2192  QYX PQ"), 18, kNavy);
    return img;
}

QImage NoteNumberFilePicture() {
    QImage img = canvas(kPictureSize, kPictureSize, true);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    background(p);
    const QRectF cover(30, 70, 130, 220);
    drawCover(p, cover, QStringLiteral("QYX 12345"));
    // the packaging: a carton with a white label
    const QRectF box(190, 150, 230, 230);
    QLinearGradient g(box.topLeft(), box.bottomRight());
    g.setColorAt(0, QColor(0xd7, 0xa8, 0x6e));
    g.setColorAt(1, QColor(0xa9, 0x7c, 0x45));
    p.setPen(QPen(QColor(0x6d, 0x4c, 0x24), 3));
    p.setBrush(g);
    p.drawRect(box);
    p.setPen(QPen(QColor(0x8d, 0x63, 0x32), 2));
    p.drawLine(box.topLeft() + QPointF(0, 40), box.topRight() + QPointF(0, 40));
    const QRectF tag(box.left() + 30, box.top() + 80, box.width() - 60, 80);
    p.setPen(QPen(QColor(0x9e, 0x9e, 0x9e), 1.5));
    p.setBrush(Qt::white);
    p.drawRect(tag);
    QFont f(QStringLiteral("DejaVu Serif"));
    f.setItalic(true);
    f.setPixelSize(24);
    p.setFont(f);
    p.setPen(kNavy);
    p.drawText(tag, Qt::AlignCenter, QStringLiteral("QYX 12345"));
    drawPen(p, tag.center() + QPointF(70, 14), -30);
    return img;
}

QImage FailureFilePicture() {
    QImage img = canvas(kPictureSize, kPictureSize, true);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    background(p);
    connectedScene(p);
    // a warning triangle where the tick stands when all is well
    QPolygonF tri;
    tri << QPointF(85, 24) << QPointF(140, 122) << QPointF(30, 122);
    p.setPen(QPen(QColor(0x8e, 0x0e, 0x0e), 4, Qt::SolidLine, Qt::SquareCap, Qt::RoundJoin));
    p.setBrush(kRed);
    p.drawPolygon(tri);
    label(p, QRectF(30, 50, 110, 72), QStringLiteral("!"), 58, Qt::white);
    // a question mark on the remote: is it the right one?
    p.setPen(QPen(QColor(0xff, 0xb3, 0x00), 4));
    p.setBrush(QColor(0xff, 0xf8, 0xe1));
    p.drawEllipse(QPointF(395, 60), 32, 32);
    label(p, QRectF(363, 28, 64, 64), QStringLiteral("?"), 44, QColor(0xe6, 0x51, 0x00));
    return img;
}

QImage BusyFrame(int frame, int count) {
    QImage img = canvas(kPictureSize, kPictureSize, true);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    background(p, true);
    const Scene s = connectedScene(p);
    const qreal phase = count > 0 ? qreal(frame % count) / count : 0;
    drawFlow(p, s.cable, phase);
    // spinner: twelve dots, the bright one going round
    const QPointF c(85, 78);
    for (int i = 0; i < 12; ++i) {
        const qreal a = qDegreesToRadians(i * 30.0 - 90);
        const int age = ((frame * 12 / qMax(count, 1)) - i + 12) % 12;
        QColor dot = kBlue;
        dot.setAlpha(255 - age * 18);
        p.setPen(Qt::NoPen);
        p.setBrush(dot);
        p.drawEllipse(c + QPointF(std::cos(a) * 38, std::sin(a) * 38), 7, 7);
    }
    label(p, QRectF(20, 406, 200, 34), QStringLiteral("Corvana"), 28, kNavy, true,
          Qt::AlignLeft | Qt::AlignVCenter);
    return img;
}

} // namespace corvana::widgets::pictures
