#include "serial/tests/Pty.h"
#include "tests/support/ScreenPicture.h"
#include "ui/shell/Application.h"
#include "ui/shell/CommandLine.h"
#include "ui/tests/AnsweredDialogs.h"
#include "ui/tests/ModalAnswer.h"
#include "ui/window/UprZagig.h"

#include <QCheckBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <tuple>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using serial::testing::WaitFor;

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "telmira-ui-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        window_.show();
    }
    void TearDown() override { fs::remove_all(dir_); }

    QString Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return QString::fromStdString(path.string());
    }

    // Frame k: period 1000 + k, then MAP k, curve k + 1, temperature k + 2, octane k + 3,
    // advance code k + 4.
    static std::vector<std::uint8_t> Frames(int count) {
        std::vector<std::uint8_t> bytes;
        for (int k = 0; k < count; ++k) {
            const int period = 1000 + k;
            const auto b = [&](int v) { return static_cast<std::uint8_t>(v); };
            bytes.insert(bytes.end(), {0xFF, 0xFF, b(period >> 8), b(period), b(k), b(k + 1),
                                       b(k + 2), b(k + 3), b(k + 4)});
        }
        return bytes;
    }

    // Clicks the viewer's button as the user does; returns the error box's text, or nothing
    // when no box came up.
    std::optional<QString> ClickView() {
        std::optional<QString> shown;
        TModalAnswer answer([&](QWidget& modal) {
            auto& box = static_cast<QMessageBox&>(modal);
            shown = box.text();
            box.buttons().first()->click();
        });
        QTest::mouseClick(window_.btnOpenF_DCC, Qt::LeftButton);
        return shown;
    }

    std::size_t PointsOn(int series) const { return window_.Chart1->Series(series).Count(); }

    fs::path dir_;
    telemetry::TLatestValues values_;
    TAnsweredDialogs dialogs_;
    TfrmUprZagig window_{values_, dialogs_};
};

TEST_F(MainWindowTest, ControlsStandWhereTheLayoutPutsThem) {
    const struct {
        const char* name;
        const char* parent;
        QRect geometry;
        const char* text;
        int fontPixels;
        bool bold;
    } layout[] = {
        {"Label1", "frmUprZagig", {8, 8, 44, 24}, "COM", 19, false},
        {"edtPortNumber", "frmUprZagig", {64, 8, 25, 21}, "1", 11, false},
        {"updPort", "frmUprZagig", {89, 8, 16, 21}, nullptr, 11, false},
        {"btnOpenPort", "frmUprZagig", {136, 0, 193, 33}, "Открыть порт и файл", 11, false},
        {"btnOpenF_DCC",
         "frmUprZagig",
         {680, 0, 241, 33},
         "Открыть данные для просмотра",
         11,
         false},
        {"PageControl1", "frmUprZagig", {0, 40, 1017, 505}, nullptr, 11, false},
        {"Chart1", "TabSheet1", {0, 0, 1001, 473}, nullptr, 11, false},
        {"Label3", "Chart1", {40, 448, 197, 16}, "Включить вывод на экран:", 13, true},
        {"chkoborot", "Chart1", {240, 448, 65, 17}, "Обороты", 11, false},
        {"chkdad", "Chart1", {312, 448, 49, 17}, "ДАД", 11, false},
        {"chknkr", "Chart1", {368, 448, 97, 17}, "Номер кривой", 11, false},
        {"chktemp", "Chart1", {472, 448, 89, 17}, "Температура", 11, false},
        {"chkok", "Chart1", {576, 448, 41, 17}, "ОК", 11, false},
        {"chkuoz", "Chart1", {624, 448, 49, 17}, "УОЗ", 11, false},
        {"lblLinkStatus", "frmUprZagig", {0, 535, 1016, 20}, "Порт закрыт", 11, false},
    };
    for (const auto& c : layout) {
        SCOPED_TRACE(c.name);
        const auto* control = window_.findChild<QWidget*>(c.name);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->parentWidget()->objectName(), c.parent);
        EXPECT_EQ(control->geometry(), c.geometry);
        if (c.text) {
            EXPECT_EQ(control->property("text").toString(), QString::fromUtf8(c.text));
        }
        EXPECT_EQ(control->font().pixelSize(), c.fontPixels);
        EXPECT_EQ(control->font().bold(), c.bold);
    }

    EXPECT_EQ(window_.windowTitle(), "TELMIRA ver 1.6");
    EXPECT_EQ(window_.pos(), QPoint(213, 180));
    EXPECT_EQ(window_.size(), QSize(1016, 535 + 20)) << "the status line adds its height";
    ASSERT_EQ(window_.PageControl1->count(), 3);
    EXPECT_EQ(window_.PageControl1->tabText(0), "График");
    EXPECT_EQ(window_.PageControl1->widget(0)->objectName(), "TabSheet1");
    EXPECT_EQ(window_.PageControl1->tabText(1), "Приборы");
    EXPECT_EQ(window_.PageControl1->widget(1)->objectName(), "TabSheet2");
    EXPECT_EQ(window_.PageControl1->tabText(2), "Анализ");
    EXPECT_EQ(window_.PageControl1->widget(2)->objectName(), "TabSheet3");
    EXPECT_EQ(window_.PageControl1->currentIndex(), 0);
    for (const QCheckBox* box : window_.Chart1->findChildren<QCheckBox*>())
        EXPECT_TRUE(box->isChecked()) << box->objectName().toStdString();
    for (int i = 0; i < window_.Chart1->SeriesCount(); ++i)
        EXPECT_TRUE(window_.Chart1->Series(i).Active() && PointsOn(i) == 0) << i;
    EXPECT_EQ(window_.Chart1->SeriesCount(), 9);
    EXPECT_EQ(values_.Period, 0xFFFF) << "set as the window is created";
}

TEST_F(MainWindowTest, TabVisitsTheControlsInTheLayoutsOrder) {
    const QStringList expected = {"edtPortNumber", "updPort",   "btnOpenPort", "btnOpenF_DCC",
                                  "PageControl1",  "chkoborot", "chkdad",      "chknkr",
                                  "chkuoz",        "chkok",     "chktemp"};
    QApplication::setActiveWindow(&window_);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
    ASSERT_EQ(QApplication::focusWidget(), window_.edtPortNumber) << "focus starts on the port";
    QStringList visited;
    for (qsizetype i = 0; i < expected.size(); ++i) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        visited << (qobject_cast<QTabBar*>(focus) ? focus->parentWidget()->objectName()
                                                  : focus->objectName());
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    EXPECT_EQ(visited, expected);
}

TEST_F(MainWindowTest, EachSwitchShowsOrHidesOnlyItsSeriesAndKeepsItsPoints) {
    const std::pair<QCheckBox*, int> switches[] = {
        {window_.chkoborot, 0}, {window_.chkdad, 1}, {window_.chknkr, 2},
        {window_.chktemp, 3},   {window_.chkok, 4},  {window_.chkuoz, 5},
    };
    for (int i = 0; i < 6; ++i)
        window_.Chart1->Series(i).AddPoint(0, i);
    for (const auto& [box, series] : switches) {
        SCOPED_TRACE(box->objectName().toStdString());
        QTest::mouseClick(box, Qt::LeftButton);
        for (int i = 0; i < 9; ++i)
            EXPECT_EQ(window_.Chart1->Series(i).Active(), i != series) << "series " << i;
        EXPECT_EQ(PointsOn(series), 1u);
        QTest::mouseClick(box, Qt::LeftButton);
        EXPECT_TRUE(window_.Chart1->Series(series).Active());
    }
}

// A switch pressed and released within a few milliseconds after a replay: the pressed look
// paints the switch and the chart under it, and the release asks for the chart's redraw
// right after that paint.
class QuickSwitchTest : public MainWindowTest {
protected:
    void SwitchAndSee(const std::function<void(QCheckBox&)>& press,
                      const std::function<void(QCheckBox&)>& release) {
        dialogs_.answer = Write("run.dcc", Frames(50));
        ASSERT_EQ(ClickView(), std::nullopt);
        TChart& chart = *window_.Chart1;
        QCheckBox& box = *window_.chkoborot;
        const QRgb red = chart::ToRgb(0x0000FF);
        ASSERT_TRUE(
            WaitFor([&] { return HasColour(OnScreen(chart), red); }, std::chrono::seconds(1)))
            << "the replay reaches the screen";
        const QImage before = Outside(OnScreen(chart), box.geometry());
        press(box);
        QCoreApplication::processEvents();
        release(box);
        ASSERT_FALSE(chart.Series(0).Active());
        // Waiting must not paint the chart: a grab's paint does not reach the screen.
        WaitFor([&] { return Outside(OnScreen(chart), box.geometry()) != before; },
                std::chrono::seconds(1));
        EXPECT_FALSE(HasColour(OnScreen(chart), red)) << "the engine speed is off the screen";
        // The status line covers the chart's last rows, which the tab control's overhang
        // takes past the laid-out client area.
        const QRect status(chart.mapFrom(&window_, window_.lblLinkStatus->pos()),
                           window_.lblLinkStatus->size());
        EXPECT_EQ(Outside(OnScreen(chart), status), Outside(Grabbed(chart), status));
    }
};

TEST_F(QuickSwitchTest, ClickReachesTheScreen) {
    SwitchAndSee([](QCheckBox& box) { QTest::mousePress(&box, Qt::LeftButton); },
                 [](QCheckBox& box) { QTest::mouseRelease(&box, Qt::LeftButton); });
}

TEST_F(QuickSwitchTest, SpaceKeyReachesTheScreen) {
    SwitchAndSee([](QCheckBox& box) { QTest::keyPress(&box, Qt::Key_Space); },
                 [](QCheckBox& box) { QTest::keyRelease(&box, Qt::Key_Space); });
}

TEST_F(MainWindowTest, PortBoxKeepsTheLastWholeNumberFromOneToTwentyFive) {
    QLineEdit& edit = *window_.edtPortNumber;
    const auto type = [&](const char* text) {
        edit.selectAll();
        QTest::keyClicks(&edit, text);
    };
    const auto upArrow = [&] { QTest::mouseClick(window_.updPort->childAt(8, 3), Qt::LeftButton); };
    const auto downKey = [&] { QTest::keyClick(&edit, Qt::Key_Down); };
    const auto upKey = [&] { QTest::keyClick(&edit, Qt::Key_Up); };
    const struct {
        const char* step;
        std::function<void()> act;
        int position;
        const char* text;
    } script[] = {
        {"starts at 1", [] {}, 1, "1"},
        {"Down at the minimum stays there", downKey, 1, "1"},
        {"typing 7 makes it 7", [&] { type("7"); }, 7, "7"},
        {"typing 30 keeps 7", [&] { type("30"); }, 7, "30"},
        {"typing text keeps 7", [&] { type("abc"); }, 7, "abc"},
        {"the up arrow steps from the last valid position", upArrow, 8, "8"},
        {"typing 25 makes it 25", [&] { type("25"); }, 25, "25"},
        {"Up at the maximum stays there", upKey, 25, "25"},
        {"the Down key steps down", downKey, 24, "24"},
        {"typing 0 keeps 24", [&] { type("0"); }, 24, "0"},
    };
    for (const auto& s : script) {
        SCOPED_TRACE(s.step);
        s.act();
        EXPECT_EQ(window_.updPort->Position(), s.position);
        EXPECT_EQ(edit.text(), s.text);
    }
}

TEST_F(MainWindowTest, ViewerFailuresLeaveTheCaptionAndCounterAndSayWhy) {
    const QString locked = Write("locked.dcc", Frames(2));
    const int holder = ::open(locked.toLocal8Bit().constData(), O_RDONLY);
    ASSERT_EQ(::flock(holder, LOCK_SH), 0); // the live session's hold on its recording
    const struct {
        const char* rule;
        std::optional<QString> chosen;
        std::optional<QString> shown;
        bool cleared;
    } cases[] = {
        {"cancelling the dialog does nothing", std::nullopt, std::nullopt, false},
        {"a file that does not exist does nothing",
         QString::fromStdString((dir_ / "no.dcc").string()), std::nullopt, false},
        {"a folder does nothing", QString::fromStdString(dir_.string()), std::nullopt, false},
        {"a locked file cannot be opened", locked, "Ошибка открытия файла.", true},
        {"an empty file cannot be mapped", Write("empty.dcc", {}), "Ошибка отображения файла.",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        window_.Chart1->Series(0).AddPoint(0, 1);
        values_.FrameCounter = 42;
        dialogs_.answer = c.chosen;

        EXPECT_EQ(ClickView(), c.shown);

        EXPECT_EQ(PointsOn(0) == 0, c.cleared);
        EXPECT_EQ(window_.windowTitle(), "TELMIRA ver 1.6");
        EXPECT_EQ(values_.FrameCounter, 42);
        EXPECT_TRUE(window_.btnOpenF_DCC->isEnabled());
        window_.Chart1->Series(0).Clear();
    }
    ::close(holder);
}

TEST_F(MainWindowTest, ViewingARecordingPutsSixPointsPerFrameAtTheFramesNumber) {
    const int frames = 5;
    std::vector<std::uint8_t> bytes = {0x07, 0x00}; // the recording starts inside a frame
    const std::vector<std::uint8_t> whole = Frames(frames);
    bytes.insert(bytes.end(), whole.begin(), whole.end());
    const QString path = Write("session.dcc", bytes);
    dialogs_.answer = path;
    window_.Chart1->Series(3).AddPoint(99, 99);

    for (int pass = 0; pass < 2; ++pass) { // a second view of the file gives the same chart
        SCOPED_TRACE(pass);
        ASSERT_EQ(ClickView(), std::nullopt);
        EXPECT_EQ(dialogs_.shownFilter, "Файл сбора данных работы системы *.dcc|*.dcc|");
        for (int series = 0; series < 6; ++series) {
            ASSERT_EQ(PointsOn(series), std::size_t(frames)) << "series " << series;
            for (int k = 0; k < frames; ++k)
                EXPECT_EQ(window_.Chart1->Series(series).XValue(k), k) << "series " << series;
        }
        const TChartSeries& last = window_.Chart1->Series(0);
        EXPECT_DOUBLE_EQ(last.YValue(frames - 1), telemetry::EngineSpeed(1000 + frames - 1));
        for (int series = 6; series < 9; ++series)
            EXPECT_EQ(PointsOn(series), 0u);
        EXPECT_EQ(window_.windowTitle(), "TELMIRA ver 1.6 - " + path);
        EXPECT_EQ(values_.FrameCounter, frames);
        EXPECT_EQ(values_.Period, 1000 + frames - 1) << "the gauges show the last frame";
        EXPECT_EQ(values_.AdvanceCode, frames + 3);
    }
    const int other = ::open(path.toLocal8Bit().constData(), O_RDONLY);
    EXPECT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0) << "the viewer let go of the file";
    ::close(other);
}

// The file named on the command line and a file dropped on the window take the viewer
// button's road: the same chart, caption and error box as the button with that file chosen.
class OpenWithoutDialogTest : public MainWindowTest {
protected:
    struct TOutcome {
        std::optional<QString> shown;
        std::size_t points;
        QString caption;
        bool operator==(const TOutcome&) const = default;
    };

    TOutcome Outcome(std::optional<QString> shown) {
        return {shown, PointsOn(telemetry::SeriesAdvance), window_.windowTitle()};
    }
    void Reset() {
        window_.setWindowTitle("TELMIRA ver 1.6");
        window_.Chart1->Series(telemetry::SeriesAdvance).Clear();
        window_.Chart1->Series(telemetry::SeriesAdvance).AddPoint(0, 1);
    }

    TOutcome ByButton(const QString& path) {
        Reset();
        dialogs_.answer = path;
        return Outcome(ClickView());
    }
    TOutcome ByCommandLine(const QString& path) {
        Reset();
        std::optional<QString> shown;
        TModalAnswer answer([&](QWidget& modal) {
            auto& box = static_cast<QMessageBox&>(modal);
            shown = box.text();
            box.buttons().first()->click();
        });
        window_.OpenRecordingWhenRunning(path);
        // Calls posted for the same turn of the loop run in order: once this one has run
        // and no box is open, the opening is over.
        bool after = false;
        QTimer::singleShot(0, [&] { after = true; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return after && !QApplication::activeModalWidget(); }));
        return Outcome(shown);
    }
    TOutcome ByDrop(const QString& path) {
        Reset();
        std::optional<QString> shown;
        TModalAnswer answer([&](QWidget& modal) {
            auto& box = static_cast<QMessageBox&>(modal);
            shown = box.text();
            box.buttons().first()->click();
        });
        EXPECT_TRUE(Drop(path));
        return Outcome(shown);
    }

    // Drags path over the window and drops it; false when the window refused the drag.
    bool Drop(const QString& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        const QPoint at(500, 300);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window_, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window_, &drop);
        return true;
    }
};

TEST_F(OpenWithoutDialogTest, CommandLineAndDropDoWhatTheViewerButtonDoesAndNameTheFile) {
    const fs::path folder = dir_ / "folder.dcc";
    fs::create_directory(folder);
    const auto named = [](const QString& path) { return "«" + path + "»"; };
    const QString run = Write("run.dcc", Frames(4));
    const QString empty = Write("empty.dcc", {});
    const QString gone = QString::fromStdString((dir_ / "gone.dcc").string());
    const QString dir = QString::fromStdString(folder.string());
    const struct {
        const char* rule;
        QString path;
        std::optional<QString> byButton;
        std::optional<QString> byName; // on the command line or dropped
    } cases[] = {
        {"a recording is replayed and named in the caption", run, std::nullopt, std::nullopt},
        {"an empty file cannot be mapped", empty, "Ошибка отображения файла.",
         "Ошибка отображения файла\nФайл " + named(empty) + "."},
        {"a missing file, passed over when the dialog gives it, is said to be missing", gone,
         std::nullopt, "Ошибка открытия файла\nФайл " + named(gone) + " не найден."},
        {"a folder, passed over when the dialog gives it, is said to be one", dir, std::nullopt,
         "Ошибка открытия файла\n" + named(dir) + " — папка, а не файл."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        const TOutcome button = ByButton(c.path);
        EXPECT_EQ(button.shown, c.byButton);
        for (const TOutcome& other : {ByCommandLine(c.path), ByDrop(c.path)}) {
            EXPECT_EQ(other.shown, c.byName);
            EXPECT_EQ(other.points, button.points);
            EXPECT_EQ(other.caption, button.caption);
        }
    }
    EXPECT_EQ(ByButton(run).points, 4u);
}

TEST_F(OpenWithoutDialogTest, RelativeNamesAreViewedByTheirFullPath) {
    const QString path = Write("relative.dcc", Frames(2));
    const QString before = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(dir_.string()));
    ByCommandLine("relative.dcc");
    QDir::setCurrent(before);
    EXPECT_EQ(window_.windowTitle(), "TELMIRA ver 1.6 - " + path);
    EXPECT_EQ(window_.OpenDialog1.FileName, path) << "the dialog offers it next time";
}

TEST_F(OpenWithoutDialogTest, OnlyASingleRecordingIsTakenFromADrop) {
    EXPECT_FALSE(Drop(Write("notes.txt", Frames(1))));
    QMimeData two;
    two.setUrls({QUrl::fromLocalFile(Write("a.dcc", Frames(1))),
                 QUrl::fromLocalFile(Write("b.dcc", Frames(1)))});
    QDragEnterEvent enter({1, 1}, Qt::CopyAction, &two, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window_, &enter);
    EXPECT_FALSE(enter.isAccepted());
    EXPECT_EQ(window_.windowTitle(), MainCaption);
}

TEST_F(MainWindowTest, ARecordingIsShownWholeWhereverTheChartWasScrolledOrZoomed) {
    TChart& chart = *window_.Chart1;
    const auto wheelNotch = [&] {
        QWheelEvent wheel(QPointF(400, 200), chart.mapToGlobal(QPointF(400, 200)), QPoint(),
                          QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&chart, &wheel);
    };
    const auto zoomDrag = [&] {
        for (auto [type, at, held] :
             {std::tuple(QEvent::MouseButtonPress, QPoint(300, 100),
                         Qt::MouseButtons(Qt::LeftButton)),
              {QEvent::MouseMove, QPoint(500, 300), Qt::LeftButton},
              {QEvent::MouseButtonRelease, QPoint(500, 300), Qt::NoButton}}) {
            QMouseEvent event(type, QPointF(at), chart.mapToGlobal(QPointF(at)),
                              type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
                              Qt::NoModifier);
            QApplication::sendEvent(&chart, &event);
        }
    };
    dialogs_.answer = Write("run.dcc", Frames(50));
    const struct {
        const char* rule;
        std::function<void()> before;
    } cases[] = {
        {"a wheel notch over the empty chart", wheelNotch},
        {"a wheel notch over the last recording", wheelNotch},
        {"a zoom into the last recording", zoomDrag},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        chart.Draw();
        c.before();
        ASSERT_EQ(ClickView(), std::nullopt);
        for (TAxisKind kind : {TAxisKind::Bottom, TAxisKind::Left})
            EXPECT_TRUE(chart.Axis(kind).Automatic());
        chart.Draw();
        EXPECT_EQ(chart.LeftAxis().Map().Minimum, 0) << "the pressure of the first frame";
        EXPECT_DOUBLE_EQ(chart.LeftAxis().Map().Maximum, telemetry::EngineSpeed(1000));
        EXPECT_EQ(chart.BottomAxis().Map().Maximum, 49);
    }
}

TEST(CommandLineRecording, OneArgumentThatIsNoOptionIsTheRecordingToView) {
    const struct {
        std::vector<const char*> arguments;
        TCommandLine::TAction action;
        std::string recording;
    } cases[] = {
        {{}, TCommandLine::TAction::Run, ""},
        {{"run.dcc"}, TCommandLine::TAction::Run, "run.dcc"},
        {{"-"}, TCommandLine::TAction::Run, "-"},
        {{"run.dcc", "--version"}, TCommandLine::TAction::Version, ""},
        {{"a.dcc", "b.dcc"}, TCommandLine::TAction::Refuse, ""},
        {{""}, TCommandLine::TAction::Refuse, ""},
    };
    for (const auto& c : cases) {
        const TCommandLine parsed = ParseCommandLine(c.arguments);
        EXPECT_EQ(parsed.Action, c.action) << c.arguments.size();
        EXPECT_EQ(parsed.Recording, c.recording);
    }
}

TEST(FileDialogFilter, KeepsEachDescriptionAndListsItsPatterns) {
    EXPECT_EQ(QtNameFilters("Файл данных работы системы *.dcc|*.dcc|"),
              QStringList{"Файл данных работы системы *.dcc (*.dcc)"});
    EXPECT_EQ(QtNameFilters("Text|*.txt;*.log|All|*|"),
              (QStringList{"Text (*.txt *.log)", "All (*)"}));
}

} // namespace
