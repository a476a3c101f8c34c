#pragma once

// Pictures of widgets for tests of what the user sees.

#include <QImage>
#include <QRect>

class QWidget;

// What the window system shows of a widget: the part of its window's backing store that
// the widget has painted, as far as the window reaches. QWidget::grab instead paints the widget
// afresh into a picture of its own, which shows what the widget would paint now, not what reached
// the screen, and counts as a paint of the widget.
[[nodiscard]] QImage OnScreen(QWidget& widget);

// The widget painted afresh (QWidget::grab), as far as its window reaches, in OnScreen's
// format.
[[nodiscard]] QImage Grabbed(QWidget& widget);

// The picture with one area blacked out.
[[nodiscard]] QImage Outside(QImage picture, const QRect& area);

// Whether any pixel of the picture has the colour.
[[nodiscard]] bool HasColour(const QImage& picture, QRgb colour);
