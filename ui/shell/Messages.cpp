#include "ui/shell/Messages.h"

#include "ui/shell/Application.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <algorithm>
#include <utility>
#include <vector>

using namespace msgbox;

namespace {

struct TBoxButton {
    QMessageBox::StandardButton button;
    int code;
};

// The buttons of each button group of the flags, left to right.
std::vector<TBoxButton> ButtonsOf(unsigned flags) {
    switch (flags & 0xF) {
    case MB_OKCANCEL:
        return {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
    case MB_ABORTRETRYIGNORE:
        return {{QMessageBox::Abort, IDABORT},
                {QMessageBox::Retry, IDRETRY},
                {QMessageBox::Ignore, IDIGNORE}};
    case MB_YESNOCANCEL:
        return {
            {QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
    case MB_YESNO:
        return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
    case MB_RETRYCANCEL:
        return {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}};
    default:
        return {{QMessageBox::Ok, IDOK}};
    }
}

QMessageBox::Icon IconOf(unsigned flags) {
    switch (flags & 0xF0) {
    case MB_ICONHAND:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONEXCLAMATION:
        return QMessageBox::Warning;
    case MB_ICONASTERISK:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

int MulDiv(int value, int numerator, int denominator) {
    return (value * numerator + denominator / 2) / denominator;
}

class TNoticeDialog final : public QDialog {
public:
    explicit TNoticeDialog(const QString& text) : text_(text) {
        setWindowTitle(ApplicationTitle());
        setFont(QApplication::font("QMessageBox"));
        const QFontMetrics metrics(font());
        const int average =
            metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 52;
        const QScreen* screen = QGuiApplication::primaryScreen();
        const int maxTextWidth = screen ? screen->geometry().width() / 2 : 512;
        const QRect textBox = metrics.boundingRect(QRect(0, 0, maxTextWidth, 0),
                                                   Qt::TextWordWrap | Qt::TextExpandTabs, text);

        auto* label = new QLabel(text, this);
        label->setObjectName("Message");
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        auto* ok = new QPushButton("OK", this);
        ok->setObjectName("OK");
        ok->setDefault(true);
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);

        const TNoticeLayout layout = LayoutNotice(textBox.size(), average, metrics.height(),
                                                  metrics.horizontalAdvance("OK"));
        label->setGeometry(layout.text);
        ok->setGeometry(layout.button);
        setFixedSize(layout.client);
        if (screen)
            move(screen->geometry().center() - rect().center());
        setWindowModality(Qt::ApplicationModal);
    }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_C && event->modifiers() == Qt::ControlModifier) {
            QApplication::beep();
            QApplication::clipboard()->setText(
                NoticeClipboardText(windowTitle(), text_, QStringList{"OK"}));
            return;
        }
        QDialog::keyPressEvent(event); // Escape rejects, Enter presses the default button
    }

private:
    QString text_;
};

} // namespace

int AskQuestion(const QString& text, const QString& caption, unsigned flags) {
    const QPointer<QWidget> active = QApplication::activeWindow();
    const QPointer<QWidget> focus = QApplication::focusWidget();
    int code = IDCANCEL;
    {
        // Owned by the active window, so that the box opens on its monitor, above it.
        QMessageBox box(active);
        box.setWindowModality(Qt::ApplicationModal);
        box.setWindowTitle(caption);
        box.setTextFormat(Qt::PlainText);
        box.setText(text);
        box.setIcon(IconOf(flags));
        const std::vector<TBoxButton> buttons = ButtonsOf(flags);
        std::vector<QPushButton*> shown;
        for (const TBoxButton& b : buttons)
            shown.push_back(box.addButton(b.button));
        const std::size_t defaultIndex = (flags >> 8) & 0xF;
        box.setDefaultButton(shown[defaultIndex < shown.size() ? defaultIndex : 0]);
        box.exec();
        for (std::size_t i = 0; i < shown.size(); ++i)
            if (box.clickedButton() == shown[i])
                code = buttons[i].code;
    }
    if (active)
        active->activateWindow();
    if (focus)
        focus->setFocus();
    return code;
}

std::string ErrorBoxText(std::string_view message) {
    std::string text(message);
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.')
        text += '.';
    return text;
}

void ShowError(std::string_view message) {
    ShowError(message, {});
}

void ShowError(std::string_view message, std::string_view explanation) {
    if (QWidget* grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();
    std::string text = ErrorBoxText(message);
    if (!explanation.empty())
        text.append("\n").append(explanation);
    AskQuestion(QString::fromStdString(text), ApplicationTitle(), MB_OK | MB_ICONHAND);
}

void ShowNotice(const QString& text) {
    TNoticeDialog dialog(text);
    dialog.exec();
}

QString NoticeClipboardText(const QString& caption, const QString& text,
                            const QStringList& buttons) {
    const QString rule = QString(27, QChar('-')) + "\r\n";
    QString captions;
    for (QString button : buttons)
        captions += button.remove('&') + "   ";
    return rule + caption + "\r\n" + rule + text + "\r\n" + rule + captions + "\r\n" + rule;
}

TNoticeLayout LayoutNotice(QSize textSize, int averageCharWidth, int charHeight,
                           int buttonCaptionWidth) {
    const int marginX = MulDiv(8, averageCharWidth, 4);
    const int marginY = MulDiv(8, charHeight, 8);
    const int gap = MulDiv(10, charHeight, 8);
    const int buttonWidth = std::max(MulDiv(50, averageCharWidth, 4), buttonCaptionWidth + 8);
    const int buttonHeight = MulDiv(14, charHeight, 8);

    TNoticeLayout layout;
    layout.client = QSize(std::max(textSize.width(), buttonWidth) + 2 * marginX,
                          textSize.height() + gap + buttonHeight + 2 * marginY);
    layout.text = QRect(QPoint(marginX, marginY), textSize);
    layout.button = QRect((layout.client.width() - buttonWidth) / 2,
                          marginY + textSize.height() + gap, buttonWidth, buttonHeight);
    return layout;
}
