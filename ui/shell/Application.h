#pragma once

// The program's frame: the application object whose event loop shows every failure that
// escapes a handler and goes on, the application title, and start-up with its own failure
// report.

#include <QApplication>
#include <QIcon>
#include <QString>
#include <QTranslator>

#include <functional>
#include <memory>

class QPainter;

class TApplication : public QApplication {
    Q_OBJECT
public:
    // argc and argv must outlive the application, as for QApplication. Qt's own texts (the
    // file dialogs, the buttons of message boxes) speak Russian, like the program, where Qt's
    // Russian translation is installed; without it they stay in English. Qt's own dialogs keep
    // no settings of theirs (KeepNoToolkitSettings).
    TApplication(int& argc, char** argv);

    // Dispatches as QApplication does; on the window thread a failure that escapes the
    // receiver's handler is shown with ShowError and the event counts as unhandled. Whatever
    // the handler did before it failed stays done. On other threads failures pass through.
    // The last resort only: a failure that unwinds through the toolkit's event delivery leaks
    // the event being delivered, so handlers that can fail run their work through
    // ShowFailures.
    bool notify(QObject* receiver, QEvent* event) override;

private:
    QTranslator qtTranslation_;
};

// Runs a handler's work; a failure it raises is shown with ShowError and goes no further.
// Whatever the work did before it failed stays done.
void ShowFailures(const std::function<void()>& work);

// The title an executable at path gives the program: its file name cut at the first ".",
// the first character as it stands and the rest in lower case.
[[nodiscard]] QString TitleFromExecutable(const QString& path);

// This program's title, at most 255 characters: the caption of the error box and the notice.
[[nodiscard]] QString ApplicationTitle();

// The program's icon, a dial with its hand, drawn at size x size pixels.
[[nodiscard]] QIcon TelmiraIcon(int size);

// Draws the icon into the square from (0, 0) to (size, size), on whatever the painter paints:
// a pixmap, or the icon files that the desktop shows.
void PaintTelmiraIcon(QPainter& painter, qreal size);

// The two lines the start-up failure box shows, each ending in CR LF.
[[nodiscard]] QString StartupErrorText(const QString& kind, const QString& module, quintptr address,
                                       const QString& message);

// Creates the main window, shows it and runs the event loop until it closes; returns the exit
// status. A failure while the window is created is shown in the "Application Error" box and
// gives status 1.
int RunApplication(TApplication& app, const std::function<std::unique_ptr<QWidget>()>& create);
