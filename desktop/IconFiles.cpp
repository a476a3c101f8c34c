// telmira-icon-files FOLDER SIZE...: the program's icon as an icon theme holds it,
// FOLDER/<SIZE>x<SIZE>/apps/telmira.png for each size and FOLDER/scalable/apps/telmira.svg,
// drawn by the code that draws the window's icon. Run by the build; needs no display.
// telmira-icon-files --ico FILE SIZE...: the same icon as a Windows icon file, one PNG picture
// per size, which is how desktop/windows/telmira.ico was made (the Windows build cannot run
// this program; a test keeps the file equal to the drawing).

#include "ui/shell/Application.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
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

QImage Drawn(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        PaintTelmiraIcon(painter, size);
    }
    return image;
}

bool WritePng(const QString& theme, int size) {
    const QString folder = AppsFolder(theme, QString("%1x%1").arg(size));
    return !folder.isEmpty() && Drawn(size).save(folder + "/telmira.png", "PNG");
}

// The icon file's little-endian fields: a header, one directory entry per picture, then the
// pictures. A size of 256 is written as 0.
void Append(QByteArray& bytes, quint32 value, int width) {
    for (int i = 0; i < width; ++i)
        bytes.append(static_cast<char>(value >> (8 * i) & 0xFF));
}

bool WriteIco(const QString& file, const QList<int>& sizes) {
    QList<QByteArray> pictures;
    for (const int size : sizes) {
        QBuffer png;
        png.open(QIODevice::WriteOnly);
        if (size < 1 || size > 256 || !Drawn(size).save(&png, "PNG"))
            return false;
        pictures.append(png.data());
    }
    QByteArray bytes;
    Append(bytes, 0, 2);
    Append(bytes, 1, 2); // an icon
    Append(bytes, static_cast<quint32>(sizes.size()), 2);
    quint32 offset = 6 + 16 * static_cast<quint32>(sizes.size());
    for (qsizetype i = 0; i < sizes.size(); ++i) {
        Append(bytes, static_cast<quint32>(sizes[i] % 256), 1);
        Append(bytes, static_cast<quint32>(sizes[i] % 256), 1);
        Append(bytes, 0, 2);  // no palette
        Append(bytes, 1, 2);  // planes
        Append(bytes, 32, 2); // bits per pixel
        Append(bytes, static_cast<quint32>(pictures[i].size()), 4);
        Append(bytes, offset, 4);
        offset += static_cast<quint32>(pictures[i].size());
    }
    for (const QByteArray& picture : pictures)
        bytes.append(picture);
    QFile out(file);
    return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size() && out.flush();
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
        std::fputs("usage: telmira-icon-files FOLDER SIZE... | --ico FILE SIZE...\n", stderr);
        return 2;
    }
    if (QString(argv[1]) == "--ico") {
        QList<int> sizes;
        for (int i = 3; i < argc; ++i)
            sizes.append(QString::fromLocal8Bit(argv[i]).toInt());
        if (!WriteIco(QString::fromLocal8Bit(argv[2]), sizes)) {
            std::fputs("telmira-icon-files: cannot write the icon file\n", stderr);
            return 1;
        }
        return 0;
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
