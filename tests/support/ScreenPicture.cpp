#include "tests/support/ScreenPicture.h"

#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

namespace {

// The part of the widget inside its window, in the widget's coordinates.
QRect InsideItsWindow(QWidget& widget) {
    QWidget& window = *widget.window();
    const QPoint at = widget.mapTo(&window, QPoint(0, 0));
    return widget.rect() & window.rect().translated(-at);
}

} // namespace

QImage OnScreen(QWidget& widget) {
    QWidget& window = *widget.window();
    const QRect shown = InsideItsWindow(widget).translated(widget.mapTo(&window, QPoint(0, 0)));
    return window.screen()
        ->grabWindow(window.winId(), shown.x(), shown.y(), shown.width(), shown.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

QImage Grabbed(QWidget& widget) {
    return widget.grab(InsideItsWindow(widget)).toImage().convertToFormat(QImage::Format_RGB32);
}

QImage Outside(QImage picture, const QRect& area) {
    QPainter(&picture).fillRect(area, Qt::black);
    return picture;
}

bool HasColour(const QImage& picture, QRgb colour) {
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (picture.pixel(x, y) == colour)
                return true;
    return false;
}
