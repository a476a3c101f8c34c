#include "telemetry/RecordingWalk.h"
#include "telemetry/tests/CompanionFixtures.h"
#include "tests/support/ScreenPicture.h"
#include "tools/sim/Simulator.h"
#include "ui/reading/ChartMarkers.h"
#include "ui/reading/ChosenFrame.h"
#include "ui/reading/TimeAxis.h"
#include "ui/tests/AnsweredDialogs.h"
#include "ui/tests/ModalAnswer.h"
#include "ui/window/LinkStatus.h"
#include "ui/window/OpeningProgress.h"
#include "ui/window/TelemetryChart.h"
#include "ui/window/UprZagig.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// Viewing a recording: what the status line says of it, and an open that takes a while.
class ViewingARecording : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "telmira-view-XXXXXX").string();
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

    // Clicks the viewer's button with path chosen; returns the error box's text, if one came.
    std::optional<QString> View(const QString& path) {
        dialogs_.answer = path;
        std::optional<QString> shown;
        TModalAnswer answer([&](QWidget& modal) {
            auto& box = static_cast<QMessageBox&>(modal);
            shown = box.text();
            box.buttons().first()->click();
        });
        QTest::mouseClick(window_.btnOpenF_DCC, Qt::LeftButton);
        return shown;
    }

    std::size_t FramesOnChart() const {
        return window_.Chart1->Series(telemetry::SeriesAdvance).Count();
    }
    QString Status() const { return window_.lblLinkStatus->text(); }

    fs::path dir_;
    telemetry::TLatestValues values_;
    TAnsweredDialogs dialogs_;
    TfrmUprZagig window_{values_, dialogs_};
};

QString Number(std::uint64_t n) {
    return QLocale(QLocale::Russian).toString(qulonglong{n});
}

// A recording several stretches of the walk long: 4 MiB.
std::vector<std::uint8_t> LongRecording() {
    return sim::GenerateRecording(3, 466034, false);
}

TEST_F(ViewingARecording, StatusLineSaysWhatTheRecordingToolSaysOfTheFile) {
    EXPECT_EQ(Status(), "Порт закрыт") << "at start";
    // Noise between frames, and a lone sync byte at the end: the counts that once differed.
    sim::TNoiseCounts noise;
    auto bytes = sim::GenerateRecording(12, 6400, true, nullptr, &noise);
    ASSERT_GT(noise.GarbageBytes, 0u);
    bytes.push_back(0xFF);
    const QString path = Write("noisy.dcc", bytes);
    ASSERT_EQ(View(path), std::nullopt);

    FILE* pipe = ::popen(
        (std::string(TELMIRA_BIN_DIR) + "/telmira-dcc info " + path.toStdString()).c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string info;
    char line[256];
    while (std::fgets(line, sizeof line, pipe))
        info += line;
    ASSERT_EQ(::pclose(pipe), 0);
    std::smatch frames, skipped;
    ASSERT_TRUE(std::regex_search(info, frames, std::regex("frames: (\\d+)\n"))) << info;
    ASSERT_TRUE(std::regex_search(info, skipped, std::regex("skipped: (\\d+) bytes\n"))) << info;

    const std::uint64_t toolFrames = std::stoull(frames[1]);
    EXPECT_EQ(Status(),
              QString("Просмотр записи | размер %1 байт | кадров %2 | пропущено %3 байт | "
                      "%4 при 640 кадрах/с | время оценено по скорости линии (≈): нет файла "
                      "времени «noisy.dcc.tlm»")
                  .arg(Number(bytes.size()), Number(toolFrames), Number(std::stoull(skipped[1])),
                       LineRateDuration(toolFrames)));
    EXPECT_EQ(FramesOnChart(), std::stoull(frames[1]));
}

TEST_F(ViewingARecording, EscapeStopsTheOpenAndTheChartShowsWhatWasRead) {
    const auto bytes = LongRecording();
    const QString path = Write("long.dcc", bytes);
    // Pressed once the walk has begun: the key waits among the window's events.
    QCoreApplication::postEvent(window_.Chart1,
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));

    EXPECT_EQ(View(path), std::nullopt) << "a stop is no failure";

    const std::size_t frames = FramesOnChart();
    EXPECT_GT(frames, 0u);
    EXPECT_LT(frames, bytes.size() / telemetry::FrameSize / 2);
    EXPECT_TRUE(Status().startsWith(
        QString("Просмотр отменён: на графике только первые %1 кадров | прочитано ")
            .arg(Number(frames))))
        << Status().toStdString();
    EXPECT_EQ(window_.windowTitle(), "TELMIRA ver 1.6 - " + path)
        << "the caption names the file the chart shows";
    EXPECT_EQ(values_.FrameCounter, static_cast<std::int32_t>(frames));

    ASSERT_EQ(View(path), std::nullopt);
    EXPECT_EQ(FramesOnChart(), bytes.size() / telemetry::FrameSize) << "and a later open is whole";
}

TEST_F(ViewingARecording, WhatTheUserDoesDuringTheOpenStartsNothing) {
    const auto bytes = LongRecording();
    const QString path = Write("long.dcc", bytes);
    const QString other = Write("other.dcc", sim::GenerateRecording(4, 10, false));
    const QPoint centre = window_.btnOpenPort->rect().center();
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
        QCoreApplication::postEvent(
            window_.btnOpenPort,
            new QMouseEvent(type, QPointF(centre),
                            window_.btnOpenPort->mapToGlobal(QPointF(centre)), Qt::LeftButton,
                            type == QEvent::MouseButtonPress ? Qt::MouseButtons(Qt::LeftButton)
                                                             : Qt::NoButton,
                            Qt::NoModifier));
    // A drop comes after its drag has entered: Qt hands it to the widget that took the entry.
    QMimeData dropped;
    dropped.setUrls({QUrl::fromLocalFile(other)});
    QCoreApplication::postEvent(&window_,
                                new QDragEnterEvent(QPoint(500, 300), Qt::CopyAction, &dropped,
                                                    Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(&window_, new QDropEvent(QPointF(500, 300), Qt::CopyAction,
                                                         &dropped, Qt::LeftButton, Qt::NoModifier));

    EXPECT_EQ(View(path), std::nullopt);
    dialogs_.answer.reset();
    QCoreApplication::processEvents(); // whatever is left of them

    EXPECT_EQ(dialogs_.shownFilter, "Файл сбора данных работы системы *.dcc|*.dcc|")
        << "the port's button asked for no recording";
    EXPECT_EQ(window_.btnOpenPort->text(), "Открыть порт и файл");
    EXPECT_EQ(FramesOnChart(), bytes.size() / telemetry::FrameSize) << "the open went on whole";
    EXPECT_EQ(window_.windowTitle(), "TELMIRA ver 1.6 - " + path) << "the drop was not taken";
}

TEST_F(ViewingARecording, ClosingTheWindowStopsTheOpen) {
    const auto bytes = LongRecording();
    const QString path = Write("long.dcc", bytes);
    QApplication::setQuitOnLastWindowClosed(false);
    QTimer::singleShot(0, &window_, &QWidget::close); // once the walk has begun

    EXPECT_EQ(View(path), std::nullopt);

    QApplication::setQuitOnLastWindowClosed(true);
    EXPECT_FALSE(window_.isVisible());
    EXPECT_LT(FramesOnChart(), bytes.size() / telemetry::FrameSize / 2);
}

TEST_F(ViewingARecording, FileCutShortWhileReadKeepsItsNameAndSaysHowMuchTheChartHolds) {
    const auto bytes = LongRecording();
    const QString path = Write("cut.dcc", bytes);
    // Another program cuts the file once the first stretch is read.
    const off_t cut = telemetry::walk::StretchSize + 100;
    QTimer::singleShot(0, [&] { ASSERT_EQ(::truncate(path.toLocal8Bit().constData(), cut), 0); });

    EXPECT_EQ(View(path), "Невозможно просмотреть файл.");

    const std::size_t frames = FramesOnChart();
    EXPECT_EQ(frames, static_cast<std::size_t>(cut / telemetry::FrameSize));
    EXPECT_EQ(window_.windowTitle(), "TELMIRA ver 1.6 - " + path);
    EXPECT_TRUE(Status().startsWith(
        QString("Файл укорочен во время чтения: на графике только первые %1 кадров | прочитано "
                "%2 из %3 байт")
            .arg(Number(frames), Number(cut), Number(bytes.size()))))
        << Status().toStdString();
}

// A companion that cannot be used stops no replay: the times are estimated, and the status line
// says so and why; one that timed every byte adds nothing there.
TEST_F(ViewingARecording, StatusLineSaysWhyTheTimesAreEstimated) {
    using telemetry::testing::TCompanionBuilder;
    const auto bytes = sim::GenerateRecording(7, 6400, false);
    const QString path = Write("r.dcc", bytes);
    const fs::path companion = dir_ / "r.dcc.tlm";
    const auto closedSession = [](const std::vector<std::uint8_t>& recording) {
        TCompanionBuilder c(recording);
        c.Start()
            .Checkpoint(0, 0)
            .Checkpoint(recording.size(), 12'000'000)
            .Event(telemetry::TSessionEventKind::SessionClosed, recording.size(), 12'000'100);
        return c.bytes;
    };
    const auto session = closedSession(bytes);
    const auto with = [](std::vector<std::uint8_t> b, std::size_t at, std::uint8_t value) {
        b[at] = value;
        return b;
    };
    const struct {
        const char* name;
        std::optional<std::vector<std::uint8_t>> companion; // none: no file; empty: a folder
        const char* says;                                   // none: times measured
    } cases[] = {
        {"missing", std::nullopt, "нет файла времени «r.dcc.tlm»"},
        {"unreadable", std::vector<std::uint8_t>{}, "файл времени «r.dcc.tlm» не читается"},
        {"short", std::vector<std::uint8_t>{'T', 'L', 'M'},
         "файл времени «r.dcc.tlm» оборван в начале"},
        {"garbled", with(session, 9, 0x33), "файл времени «r.dcc.tlm» повреждён"},
        {"foreign", closedSession(sim::GenerateRecording(8, 6400, false)),
         "файл времени «r.dcc.tlm» от другой записи, или запись изменена после него"},
        {"newer", with(session, 4, 2),
         "файл времени «r.dcc.tlm» записан более новой версией программы"},
        {"measured", session, nullptr},
    };
    for (const auto& c : cases) {
        fs::remove_all(companion);
        if (c.companion && c.companion->empty())
            fs::create_directory(companion);
        else if (c.companion)
            telemetry::testing::WriteFile(companion, *c.companion);

        ASSERT_EQ(View(path), std::nullopt) << c.name;
        EXPECT_EQ(FramesOnChart(), 6400u) << c.name;
        const QString frameTime = window_.TimeAxis->FrameTime(6399);
        if (c.says) {
            EXPECT_TRUE(
                Status().endsWith(QString(" | время оценено по скорости линии (≈): ") + c.says))
                << c.name << ": " << Status().toStdString();
            EXPECT_TRUE(frameTime.startsWith("≈")) << c.name;
        } else {
            EXPECT_FALSE(Status().contains("оценено")) << Status().toStdString();
            EXPECT_EQ(frameTime, "0:12.000");
        }
    }
}

// A marker set on a recording without a companion writes one: the status line no longer says
// there is none, but that it holds markers only.
TEST_F(ViewingARecording, StatusLineFollowsTheCompanionTheFirstMarkerWrites) {
    const QString path = Write("r.dcc", sim::GenerateRecording(7, 6400, false));
    ASSERT_EQ(View(path), std::nullopt);
    ASSERT_TRUE(Status().endsWith("нет файла времени «r.dcc.tlm»")) << Status().toStdString();
    window_.ChosenFrame->Choose(100);
    window_.ChartMarkers->Place->trigger();
    QTest::keyClick(window_.ChartMarkers->Input, Qt::Key_Return);
    ASSERT_TRUE(fs::exists(dir_ / "r.dcc.tlm"));
    EXPECT_TRUE(Status().endsWith(" | время оценено по скорости линии (≈): в файле «r.dcc.tlm» "
                                  "только метки"))
        << Status().toStdString();
}

// A recording longer than the chart takes is told in frames and time, not in list sizes.
TEST(ChartFrameLimit, ARecordingTooLongFillsTheChartAndSaysHowMuchIsShown) {
    EXPECT_EQ(ChartFrameLimit(), 118633501) << "the last capacity of a series";
    TChart chart;
    ConfigureTelemetryChart(chart);
    TChartPlot plot(chart);
    const double ys[] = {1, 2, 3, 4, 5};
    const double last = static_cast<double>(ChartFrameLimit() - 1);
    plot.AddPoints(telemetry::SeriesMap, last - 9, ys, 0);
    EXPECT_FALSE(plot.Full());
    plot.AddPoints(telemetry::SeriesMap, last - 1, ys, 0);
    EXPECT_TRUE(plot.Full()) << "the last two frames of the run fit, the rest do not";
    plot.AddPoints(telemetry::SeriesMap, last + 1, ys, 0);
    const TChartSeries& map = chart.Series(telemetry::SeriesMap);
    ASSERT_EQ(map.Count(), 7u);
    EXPECT_EQ(map.XValue(6), last);

    EXPECT_EQ(ChartTooShortText(118633501, 148291876),
              QString("Запись длиннее, чем вмещает график: на нём первые %1 кадров (51 ч 29 мин "
                      "24 с) из %2 (64 ч 21 мин 46 с при 640 кадрах/с)")
                  .arg(Number(118633501), Number(148291876)));
    EXPECT_EQ(LineRateDuration(640 * 299).toStdString(), "4 мин 59 с");
    EXPECT_EQ(LineRateDuration(639).toStdString(), "0 с");
}

// The progress as it reaches the screen.
class ProgressOfAnOpen : public ::testing::Test {
protected:
    ProgressOfAnOpen() {
        window_.resize(1016, 40);
        status_.setGeometry(0, 10, 1016, 20);
        status_.setAutoFillBackground(true);
        button_.setGeometry(0, 0, 100, 10);
        window_.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window_));
    }

    QWidget window_;
    QLabel status_{&window_};
    QPushButton button_{&window_};
};

// The pixels of two pictures that differ.
int Differing(const QImage& a, const QImage& b) {
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            n += a.pixel(x, y) != b.pixel(x, y);
    return n;
}

TEST_F(ProgressOfAnOpen, ABarFollowsTheWalkOnceItRunsLongAndEscapeStopsIt) {
    const QImage before = OnScreen(status_);
    {
        TOpeningProgress quick(status_, std::chrono::hours(1));
        EXPECT_TRUE(quick.Walked(500, 1000));
        EXPECT_EQ(OnScreen(status_), before) << "nothing shows before it has run long";
    }
    TOpeningProgress progress(status_, std::chrono::milliseconds(0));
    ASSERT_TRUE(progress.Walked(100, 1000));
    const QImage tenth = OnScreen(status_);
    ASSERT_TRUE(progress.Walked(900, 1000));
    const QImage most = OnScreen(status_);
    EXPECT_GT(Differing(before, tenth), 300 * 4) << "the bar shows";
    EXPECT_GT(Differing(tenth, most), 240 * 4) << "and follows the walk over most of its length";

    bool clicked = false;
    QObject::connect(&button_, &QPushButton::clicked, [&] { clicked = true; });
    QTest::mouseClick(&button_, Qt::LeftButton);
    QTest::keyClick(&button_, Qt::Key_Space);
    EXPECT_FALSE(clicked) << "input goes nowhere meanwhile";
    EXPECT_TRUE(progress.Walked(950, 1000));
    QTest::keyClick(&button_, Qt::Key_Escape);
    EXPECT_FALSE(progress.Walked(960, 1000));
}

} // namespace
