// telmira-icon-files FOLDER SIZE...: the program's icon as an icon theme holds it,
// FOLDER/<SIZE>x<SIZE>/apps/telmira.png for each size and FOLDER/scalable/apps/telmira.svg,
// drawn by the code that draws the window's icon. Run by the build; needs no display.

#include "ui/shell/Application.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QSvgGenerator>

#include <cstdio>

namespace {

// The folder of one icon size, made when missing; empty when it cannot be made.
QString AppsFolder(const QString& theme, const QString& size) {
    const QString folder = theme + "/" + size + "/apps";
    return QDir().mkpath(folder) ? folder : QString();
}

bool WritePng(const QString& theme, int size) {
    const QString folder = AppsFolder(theme, QString("%1x%1").arg(size));
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        PaintTelmiraIcon(painter, size);
    }
    return !folder.isEmpty() && image.save(folder + "/telmira.png", "PNG");
}

bool WriteSvg(const QString& theme) {
    const QString folder = AppsFolder(theme, "scalable");
    if (folder.isEmpty())
        return false;
    constexpr int Size = 256; // the drawing's own units; the file scales to any size
    QSvgGenerator svg;
    svg.setFileName(folder + "/telmira.svg");
    svg.setSize(QSize(Size, Size));
    svg.setViewBox(QRect(0, 0, Size, Size));
    svg.setTitle("telmira");
    QPainter painter;
    if (!painter.begin(&svg))
        return false;
    PaintTelmiraIcon(painter, Size);
    return painter.end();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: telmira-icon-files FOLDER SIZE...\n", stderr);
        return 2;
    }
    const QString theme = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        const int size = QString::fromLocal8Bit(argv[i]).toInt();
        if (size < 1 || !WritePng(theme, size)) {
            std::fprintf(stderr, "telmira-icon-files: cannot write the %s pixel icon\n", argv[i]);
            return 1;
        }
    }
    if (!WriteSvg(theme)) {
        std::fputs("telmira-icon-files: cannot write the scalable icon\n", stderr);
        return 1;
    }
    return 0;
}
