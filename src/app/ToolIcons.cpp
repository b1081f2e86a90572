#include "app/ToolIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

// The colours of the palette in force while an icon is drawn (the window's thread only).
QColor kInk(40, 40, 40);
QColor kPaper(Qt::white);
QColor kBlue(30, 90, 180);
QColor kGreen(30, 140, 60);
QColor kRed(200, 40, 40);
QColor kPale(225, 235, 250);

void UsePalette(const QPalette& palette) {
    const QColor text = palette.color(QPalette::Active, QPalette::WindowText);
    const bool dark = palette.color(QPalette::Active, QPalette::Window).lightness() < 128;
    kInk = dark ? text : QColor(40, 40, 40);
    kPaper = dark ? palette.color(QPalette::Active, QPalette::Base).lighter(160) : QColor(Qt::white);
    kBlue = dark ? QColor(110, 170, 255) : QColor(30, 90, 180);
    kGreen = dark ? QColor(90, 210, 120) : QColor(30, 140, 60);
    kRed = dark ? QColor(255, 95, 95) : QColor(200, 40, 40);
    kPale = dark ? QColor(40, 60, 95) : QColor(225, 235, 250);
}

void Arrow(QPainter& p, QPointF from, QPointF to, const QColor& c) {
    p.setPen(QPen(c, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(from, to);
    const QLineF l(to, from);
    QLineF a = l, b = l;
    a.setLength(7);
    b.setLength(7);
    a.setAngle(l.angle() + 35);
    b.setAngle(l.angle() - 35);
    p.drawLine(a);
    p.drawLine(b);
}

void Draw(QPainter& p, int command) {
    p.setRenderHint(QPainter::Antialiasing);
    switch (command) {
        case 32772:  // Sites Download: into a tray
            p.setPen(QPen(kInk, 2));
            p.drawPolyline(QPolygonF({QPointF(5, 20), QPointF(5, 27), QPointF(27, 27), QPointF(27, 20)}));
            Arrow(p, QPointF(16, 3), QPointF(16, 22), kBlue);
            break;
        case 32773:  // Check/Uncheck Selected: a ticked box
            p.setPen(QPen(kInk, 2));
            p.setBrush(kPaper);
            p.drawRect(QRectF(5, 5, 22, 22));
            p.setPen(QPen(kGreen, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.drawPolyline(QPolygonF({QPointF(10, 16), QPointF(14, 21), QPointF(23, 10)}));
            break;
        case 32774:  // Synchronize: two arrows going round
            p.setPen(QPen(kBlue, 3, Qt::SolidLine, Qt::RoundCap));
            p.drawArc(QRectF(6, 6, 20, 20), 30 * 16, 150 * 16);
            p.drawArc(QRectF(6, 6, 20, 20), 210 * 16, 150 * 16);
            Arrow(p, QPointF(9, 20), QPointF(7, 22), kBlue);
            Arrow(p, QPointF(23, 12), QPointF(25, 10), kBlue);
            break;
        case 32775:  // Map: a small table
            p.setPen(QPen(kInk, 2));
            p.setBrush(kPaper);
            p.drawRect(QRectF(4, 6, 24, 20));
            p.fillRect(QRectF(5, 7, 22, 5), kBlue);
            p.drawLine(QPointF(4, 19), QPointF(28, 19));
            p.drawLine(QPointF(14, 6), QPointF(14, 26));
            break;
        case 32787:  // Delete: a red cross
            p.setPen(QPen(kRed, 4, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(8, 8), QPointF(24, 24));
            p.drawLine(QPointF(24, 8), QPointF(8, 24));
            break;
        case 32789: {  // Options: a wheel with teeth
            p.setPen(QPen(kInk, 3, Qt::SolidLine, Qt::RoundCap));
            for (int i = 0; i < 8; ++i) {
                QLineF tooth(QPointF(16, 16), QPointF(16, 3));
                tooth.setAngle(i * 45.0);
                tooth.setLength(13);
                p.drawLine(tooth);
            }
            p.setBrush(QColor(160, 160, 160));
            p.drawEllipse(QPointF(16, 16), 8, 8);
            p.setBrush(kPaper);
            p.drawEllipse(QPointF(16, 16), 3, 3);
            break;
        }
        case 57607:  // Print: a printer with paper
            p.setPen(QPen(kInk, 2));
            p.setBrush(kPaper);
            p.drawRect(QRectF(9, 3, 14, 10));
            p.setBrush(QColor(170, 170, 170));
            p.drawRect(QRectF(4, 12, 24, 11));
            p.setBrush(kPaper);
            p.drawRect(QRectF(9, 19, 14, 10));
            break;
        case 32788:  // Launch ZentAdmin: a window and an arrow out of it
            p.setPen(QPen(kInk, 2));
            p.setBrush(kPaper);
            p.drawRect(QRectF(3, 9, 20, 19));
            p.fillRect(QRectF(4, 10, 18, 4), kBlue);
            Arrow(p, QPointF(14, 18), QPointF(28, 4), kGreen);
            break;
        case 57670: {  // Help: a question mark in a circle
            p.setPen(QPen(kBlue, 2));
            p.setBrush(kPale);
            p.drawEllipse(QRectF(3, 3, 26, 26));
            QFont f = p.font();
            f.setPixelSize(20);
            f.setBold(true);
            p.setFont(f);
            p.drawText(QRectF(3, 3, 26, 26), Qt::AlignCenter, QStringLiteral("?"));
            break;
        }
        case 46250: {  // Cancel: a red octagon with a white bar
            QPolygonF octagon;
            for (int i = 0; i < 8; ++i) {
                QLineF spoke(QPointF(16, 16), QPointF(30, 16));
                spoke.setAngle(22.5 + i * 45.0);
                spoke.setLength(13);
                octagon << spoke.p2();
            }
            p.setPen(QPen(kInk, 1));
            p.setBrush(kRed);
            p.drawPolygon(octagon);
            p.fillRect(QRectF(9, 14, 14, 4), QColor(Qt::white));
            break;
        }
        default: break;
    }
}

}  // namespace

QIcon ToolIcon(int command, const QPalette& palette) {
    UsePalette(palette);
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    Draw(p, command);
    p.end();
    return QIcon(pixmap);
}
