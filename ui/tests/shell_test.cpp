#include "ui/shell/Application.h"
#include "ui/shell/Messages.h"
#include "ui/tests/ModalAnswer.h"

#include <QClipboard>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

namespace {

TEST(ApplicationTitle, IsTheFileNameUpToItsFirstDotWithAllButTheFirstCharacterLowered) {
    const struct {
        const char* path;
        const char* title;
    } cases[] = {
        {"C:/TOOLS/VIEWER.EXE", "Viewer"},     {"/home/user/data.backup.exe", "data"},
        {"/usr/local/bin/telmira", "telmira"}, {"TELMIRA", "Telmira"},
        {"/opt/ПРОГРАММА.exe", "Программа"},   {"/opt/.hidden", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TitleFromExecutable(QString::fromUtf8(c.path)), QString::fromUtf8(c.title))
            << c.path;
    EXPECT_EQ(ApplicationTitle(), "ui_tests") << "this test program's own title";
}

TEST(ErrorBox, AddsAFullStopOnlyAfterACharacterAboveIt) {
    for (const char* above :
         {"Ошибка открытия файла", "Error opening port /dev/ttyS2", "Why?", "Key:"})
        EXPECT_EQ(ErrorBoxText(above), std::string(above) + ".") << above;
    for (const char* atOrBelow : {"Done.", "Stop!", "(none)", "blank ", "a-", ""})
        EXPECT_EQ(ErrorBoxText(atOrBelow), atOrBelow) << atOrBelow;
}

// What the user saw in a message box, then closes it with its first button.
struct TSeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;

    std::function<void(QWidget&)> Closer() {
        return [this](QWidget& modal) {
            auto* box = qobject_cast<QMessageBox*>(&modal);
            ASSERT_NE(box, nullptr);
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            box->buttons().first()->click();
        };
    }
};

class ThrowingWidget final : public QWidget {
public:
    void paintEvent(QPaintEvent*) override { throw std::runtime_error("paint failed"); }
};

// A handler shows its own failures; the event loop catches what a handler lets escape.
TEST(EventLoop, AFailureInAHandlerIsShownAndTheProgramGoesOn) {
    const struct {
        const char* handler;
        std::function<void()> trigger;
        const char* shown;
    } cases[] = {
        {"button click",
         [] {
             QPushButton button;
             QObject::connect(&button, &QPushButton::clicked, [] {
                 ShowFailures([] { throw std::runtime_error("Ошибка открытия файла"); });
             });
             QTest::mouseClick(&button, Qt::LeftButton);
         },
         "Ошибка открытия файла."},
        {"timer",
         [] {
             QEventLoop loop;
             QTimer::singleShot(0, [] { throw std::runtime_error("Error opening port COM3"); });
             QTimer::singleShot(0, &loop, &QEventLoop::quit);
             loop.exec();
         },
         "Error opening port COM3."},
        {"paint",
         [] {
             ThrowingWidget widget;
             widget.resize(20, 20);
             widget.show();
             (void)QTest::qWaitForWindowExposed(&widget); // the first paint runs meanwhile
         },
         "paint failed."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.handler);
        TSeenBox seen;
        TModalAnswer answer(seen.Closer());
        c.trigger();
        ASSERT_TRUE(answer.answered);
        EXPECT_EQ(seen.title, ApplicationTitle());
        EXPECT_EQ(seen.text, QString::fromUtf8(c.shown));
        EXPECT_EQ(seen.icon, QMessageBox::Critical);
    }
}

TEST(AskQuestion, ReturnsThePlatformCodeOfTheButtonAndRestoresTheFocus) {
    const struct {
        QMessageBox::StandardButton pressed;
        int code;
    } cases[] = {{QMessageBox::Yes, msgbox::IDYES}, {QMessageBox::No, msgbox::IDNO}};
    QWidget window;
    auto* first = new QLineEdit(&window);
    auto* second = new QLineEdit(&window);
    second->move(0, 30);
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    for (const auto& c : cases) {
        second->setFocus();
        bool noIcon = false;
        bool yesIsDefault = false;
        TModalAnswer answer([&](QWidget& modal) {
            auto& box = static_cast<QMessageBox&>(modal);
            noIcon = box.icon() == QMessageBox::NoIcon;
            yesIsDefault = box.defaultButton() == box.button(QMessageBox::Yes);
            first->setFocus(); // the box itself moves the focus away
            box.button(c.pressed)->click();
        });
        EXPECT_EQ(AskQuestion("Включить?", "Менеджер", msgbox::MB_YESNO), c.code);
        EXPECT_TRUE(noIcon);
        EXPECT_TRUE(yesIsDefault);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window)); // activation is the window system's
        EXPECT_EQ(QApplication::focusWidget(), second);
    }
}

TEST(Notice, CtrlCCopiesTheSevenLineTextAndEnterOrEscapeCloseTheFixedDialog) {
    const QString rule = QString(27, '-') + "\r\n";
    const QString expected = rule + ApplicationTitle() + "\r\n" + rule +
                             "Ошибка создания файла\r\n" + rule + "OK   \r\n" + rule;
    for (const Qt::Key close : {Qt::Key_Return, Qt::Key_Escape}) {
        QApplication::clipboard()->clear();
        QString title;
        bool fixedSize = false;
        int buttonOffCentre = -1;
        TModalAnswer answer([&](QWidget& dialog) {
            title = dialog.windowTitle();
            fixedSize = dialog.minimumSize() == dialog.maximumSize();
            const QRect button = dialog.findChild<QPushButton*>("OK")->geometry();
            buttonOffCentre = std::abs(button.center().x() - dialog.width() / 2);
            QWidget* keys = dialog.focusWidget() ? dialog.focusWidget() : &dialog;
            QTest::keyClick(keys, Qt::Key_C, Qt::ControlModifier);
            QTest::keyClick(keys, close);
        });
        ShowNotice("Ошибка создания файла"); // returns once closed
        ASSERT_TRUE(answer.answered);
        EXPECT_EQ(title, ApplicationTitle());
        EXPECT_EQ(QApplication::clipboard()->text(), expected);
        EXPECT_TRUE(fixedSize);
        EXPECT_LE(buttonOffCentre, 1);
    }
}

TEST(StartUp, AFailureWhileTheWindowIsCreatedIsReportedAndGivesStatusOne) {
    TSeenBox seen;
    TModalAnswer answer(seen.Closer());
    const int status =
        RunApplication(static_cast<TApplication&>(*qApp),
                       []() -> std::unique_ptr<QWidget> { throw std::runtime_error("Нет окна"); });
    EXPECT_EQ(status, 1);
    ASSERT_TRUE(answer.answered);
    EXPECT_EQ(seen.title, "Application Error");
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    const QRegularExpression lines(
        "^Exception std::runtime_error in module ui_tests at [0-9A-F]{16}\\.\r\nНет окна\\.\r\n$");
    EXPECT_TRUE(lines.match(seen.text).hasMatch()) << seen.text.toStdString();
}

} // namespace

// The Windows build takes the program's icon from desktop/windows/telmira.ico, which cannot be
// drawn there at build time: the file must stay the picture the window's icon is drawn as
// (telmira-icon-files --ico makes it anew).
TEST(WindowsIcon, EachPictureOfTheIconFileIsTheDrawnIcon) {
    QFile file(TELMIRA_WINDOWS_ICON);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const auto field = [&](qsizetype at, int width) {
        quint32 value = 0;
        for (int i = 0; i < width; ++i)
            value |= static_cast<quint32>(static_cast<quint8>(bytes[at + i])) << (8 * i);
        return value;
    };
    ASSERT_GE(bytes.size(), 6);
    const quint32 count = field(4, 2);
    ASSERT_EQ(count, 6u);
    for (quint32 i = 0; i < count; ++i) {
        const qsizetype entry = 6 + 16 * static_cast<qsizetype>(i);
        const int size = field(entry, 1) == 0 ? 256 : static_cast<int>(field(entry, 1));
        SCOPED_TRACE(size);
        const QImage stored =
            QImage::fromData(bytes.mid(field(entry + 12, 4), field(entry + 8, 4)), "PNG")
                .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QImage drawn(size, size, QImage::Format_ARGB32_Premultiplied);
        drawn.fill(Qt::transparent);
        {
            QPainter painter(&drawn);
            PaintTelmiraIcon(painter, size);
        }
        EXPECT_EQ(stored, drawn) << "make it anew: telmira-icon-files --ico "
                                    "desktop/windows/telmira.ico 16 24 32 48 64 256";
    }
}
