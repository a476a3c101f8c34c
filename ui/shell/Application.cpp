#include "ui/shell/Application.h"

#include "ui/platform/LoadAddress.h"
#include "ui/platform/QtWindowThread.h"
#include "ui/shell/Messages.h"
#include "ui/shell/Settings.h"

#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QThread>

#include <cxxabi.h>

#include <cstdlib>
#include <exception>
#include <string>
#include <typeinfo>

namespace {

// The name of the exception being handled, readable: the current catch block's type.
QString CurrentExceptionKind() {
    const std::type_info* type = abi::__cxa_current_exception_type();
    if (!type)
        return "unknown";
    int status = 0;
    char* readable = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
    const QString kind = QString::fromUtf8(status == 0 && readable ? readable : type->name());
    std::free(readable);
    return kind;
}

std::string CurrentExceptionMessage() {
    try {
        throw;
    } catch (const std::exception& failure) {
        return failure.what();
    } catch (...) {
        return CurrentExceptionKind().toStdString();
    }
}

// Where start-up failed, relative to the program's load address. A C++ exception carries no
// code address of its own; the start-up routine that caught it is the nearest place.
quintptr StartupAddress() {
    return OffsetInModule(reinterpret_cast<const void*>(&RunApplication));
}

void ShowStartupError() {
    const QString text = StartupErrorText(
        CurrentExceptionKind(), QFileInfo(QApplication::applicationFilePath()).fileName(),
        StartupAddress(), QString::fromStdString(CurrentExceptionMessage()));
    QMessageBox box(QMessageBox::Critical, "Application Error", text, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

} // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // Received blocks reach the window through this thread's event loop.
    serial::InstallQtWindowThread();
    // The window system's name for the program's windows; the title itself captions boxes.
    setApplicationName(ApplicationTitle());
    // The desktop entry the windows belong to, for the name and icon docks show.
    setDesktopFileName("telmira");
    setWindowIcon(TelmiraIcon(32));
    KeepNoToolkitSettings();
    // Russian whatever the user's locale, as the program's own texts are.
    if (qtTranslation_.load(QLocale(QLocale::Russian), "qtbase", "_",
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        installTranslator(&qtTranslation_);
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    // Boxes belong to the window thread; other threads handle their own failures.
    if (QThread::currentThread() != thread())
        return QApplication::notify(receiver, event);
    bool handled = false;
    ShowFailures([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

void ShowFailures(const std::function<void()>& work) {
    try {
        work();
    } catch (...) {
        ShowError(CurrentExceptionMessage());
    }
}

QString TitleFromExecutable(const QString& path) {
    QString name = QFileInfo(path).fileName();
    name.truncate(name.indexOf('.') < 0 ? name.size() : name.indexOf('.'));
    return name.left(1) + name.mid(1).toLower();
}

QString ApplicationTitle() {
    return TitleFromExecutable(QApplication::applicationFilePath()).left(255);
}

QIcon TelmiraIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    PaintTelmiraIcon(painter, size);
    return QIcon(pixmap);
}

void PaintTelmiraIcon(QPainter& painter, qreal size) {
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    painter.setPen(QPen(QColor(40, 40, 40), s / 16));
    painter.setBrush(QColor(250, 250, 245));
    painter.drawEllipse(QRectF(s / 16, s / 16, s * 7 / 8, s * 7 / 8));
    painter.setPen(QPen(QColor(220, 0, 0), s / 12, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(s / 2, s / 2), QPointF(s * 0.78, s * 0.26));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(40, 40, 40));
    painter.drawEllipse(QPointF(s / 2, s / 2), s / 10, s / 10);
}

QString StartupErrorText(const QString& kind, const QString& module, quintptr address,
                         const QString& message) {
    QString first =
        QString("Exception %1 in module %2 at %3.")
            .arg(kind, module,
                 QString("%1").arg(address, 2 * sizeof(void*), 16, QChar('0')).toUpper());
    const QString second = message.endsWith('.') ? message : message + '.';
    return first + "\r\n" + second + "\r\n";
}

int RunApplication(TApplication& app, const std::function<std::unique_ptr<QWidget>()>& create) {
    std::unique_ptr<QWidget> window;
    try {
        window = create();
    } catch (...) {
        ShowStartupError();
        return 1;
    }
    window->show();
    return app.exec();
}
