#include "tests/support/ScreenPicture.h"
#include "tools/sim/Simulator.h"
#include "ui/reading/ChosenFrame.h"
#include "ui/reading/TimeAxis.h"
#include "ui/tests/AnsweredDialogs.h"
#include "ui/window/InstrumentsPage.h"
#include "ui/window/UprZagig.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr QRgb MarkerColour = 0xFF00A0A0;

// A recording of half a minute at the line's rate, viewed in a shown, active window; mouse
// and keys go through the window system, so the keys reach whatever has the focus.
class PlayingARecording : public ::testing::Test {
protected:
    static constexpr int Frames = 20000;

    void SetUp() override {
        const std::vector<std::uint8_t> bytes = sim::GenerateRecording(5, Frames, false);
        path_ =
            fs::temp_directory_path() / ("telmira-playback-" + std::to_string(::getpid()) + ".dcc");
        std::ofstream(path_, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        window_.show();
        QApplication::setActiveWindow(&window_);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
        dialogs_.answer = QString::fromStdString(path_.string());
        QTest::mouseClick(window_.btnOpenF_DCC, Qt::LeftButton);
        ASSERT_EQ(chart().Series(telemetry::SeriesAdvance).Count(), std::size_t(Frames));
        chart().Draw();
    }
    void TearDown() override { fs::remove(path_); }

    TChart& chart() { return *window_.Chart1; }
    TInstrumentsPage& page() { return *window_.TabSheet2; }
    int Column(std::int64_t frame) {
        return chart().BottomAxis().Map().ToPixel(static_cast<double>(frame));
    }
    int MidRow() { return (chart().PlotRect().Top + chart().PlotRect().Bottom) / 2; }

    void Press(Qt::Key key) { QTest::keyClick(window_.windowHandle(), key); }
    void ClickPlot(std::int64_t frame) {
        QTest::mouseClick(&chart(), Qt::LeftButton, {}, {Column(frame), MidRow()});
        // The pointer leaves the plot, and with it the cursor and the readout.
        QTest::mouseMove(&chart(), {chart().PlotRect().Left - 5, MidRow()});
    }
    void ShowTab(int index) {
        QTabBar& tabs = *window_.PageControl1->tabBar();
        QTest::mouseClick(&tabs, Qt::LeftButton, {}, tabs.tabRect(index).center());
        ASSERT_EQ(window_.PageControl1->currentIndex(), index);
    }
    // Waits for the page's next ticks, their work and what was painted meanwhile done.
    void Ticks(int count) {
        int ticked = 0;
        const auto counter = QObject::connect(page().Timer1, &QTimer::timeout, [&] { ++ticked; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return ticked >= count; }, 5000));
        QObject::disconnect(counter);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    }
    // The frame named on the instruments page, as a tick has put it there; empty when none.
    std::string NamedFrame() {
        Ticks(1);
        const QLabel& label = *page().lblShownFrame;
        return label.isVisible() ? label.text().toStdString() : std::string();
    }
    // The frame's number, and under it its time, estimated (the recording has no companion).
    std::string Named(std::int64_t frame) const {
        return "Кадр " + std::to_string(frame) + "\n" +
               window_.TimeAxis->FrameTime(frame).toStdString();
    }
    // The columns of the plot's middle row that show the marker's colour.
    std::vector<int> MarkerColumns() {
        const QImage screen = Grabbed(chart());
        std::vector<int> columns;
        for (int x = 0; x < screen.width(); ++x)
            if (screen.pixel(x, MidRow()) == MarkerColour)
                columns.push_back(x);
        return columns;
    }

    fs::path path_;
    telemetry::TLatestValues values_;
    TAnsweredDialogs dialogs_;
    TfrmUprZagig window_{values_, dialogs_};
};

TEST_F(PlayingARecording, SpaceOnTheInstrumentsPagePausesAndTheGaugesStayStill) {
    ClickPlot(100);
    Press(Qt::Key_Space);
    Ticks(1);
    ShowTab(1);
    const std::string playing = NamedFrame();
    // A later tick, not necessarily the next: a busy machine may hold the playing step back.
    EXPECT_TRUE(QTest::qWaitFor([&] { return NamedFrame() != playing; }, 5000))
        << "the page follows the playing frame";

    Press(Qt::Key_Space);
    const std::string paused = NamedFrame();
    Ticks(1);
    const QImage still = OnScreen(page());
    Ticks(4);
    EXPECT_TRUE(OnScreen(page()) == still) << "the gauges stay still";
    EXPECT_EQ(NamedFrame(), paused);
    EXPECT_EQ(paused, Named(*window_.ChosenFrame->Frame()));

    Press(Qt::Key_Space);
    Ticks(4);
    EXPECT_TRUE(OnScreen(page()) != still) << "Space plays on";
}

TEST_F(PlayingARecording, StepKeysWorkOnTheInstrumentsPage) {
    ClickPlot(100);
    ShowTab(1);
    EXPECT_EQ(NamedFrame(), Named(*window_.ChosenFrame->Frame()));
    const std::int64_t screen = std::llround(chart().BottomAxis().Map().Range());
    const struct {
        Qt::Key key;
        std::int64_t frame;
    } steps[] = {{Qt::Key_Home, 0},          {Qt::Key_Right, 1},        {Qt::Key_Right, 2},
                 {Qt::Key_Left, 1},          {Qt::Key_End, Frames - 1}, {Qt::Key_Home, 0},
                 {Qt::Key_PageDown, screen}, {Qt::Key_PageUp, 0}};
    for (const auto& s : steps) {
        Press(s.key);
        EXPECT_EQ(NamedFrame(), Named(s.frame)) << QTest::toString(s.key);
    }
    EXPECT_FALSE(page().chk_xx->isChecked());

    ShowTab(0);
    ShowTab(1);
    Press(Qt::Key_Right);
    EXPECT_EQ(NamedFrame(), Named(1)) << "the page takes the keys again when it comes back";
}

TEST_F(PlayingARecording, TabStripKeepsItsArrowKeys) {
    ClickPlot(100);
    const std::int64_t chosen = *window_.ChosenFrame->Frame();
    window_.PageControl1->tabBar()->setFocus(Qt::TabFocusReason);
    Press(Qt::Key_Right);
    ASSERT_EQ(window_.PageControl1->currentIndex(), 1);
    EXPECT_EQ(NamedFrame(), Named(chosen));
    Press(Qt::Key_Left);
    EXPECT_EQ(window_.PageControl1->currentIndex(), 0) << "the arrow keys step along the tabs";
    EXPECT_EQ(window_.ChosenFrame->Frame(), chosen);
}

TEST_F(PlayingARecording, IdleSwitchKeepsItsKeyWhenTheUserGivesItTheFocus) {
    ClickPlot(100);
    ShowTab(1);
    const std::string chosen = NamedFrame();
    const QRect rpm = page().dev_rpm->geometry();
    const QImage full = OnScreen(page()).copy(rpm);

    Press(Qt::Key_Tab);
    Press(Qt::Key_Space);
    EXPECT_EQ(NamedFrame(), chosen) << "no playing while the switch has the keys";
    EXPECT_TRUE(OnScreen(page()).copy(rpm) != full) << "the speed gauge on the idle range";

    QTest::mouseClick(page().dev_ok, Qt::LeftButton);
    Press(Qt::Key_Space);
    Ticks(3);
    EXPECT_NE(NamedFrame(), chosen) << "a click beside the switch gives the keys back";
    EXPECT_TRUE(page().chk_xx->isChecked());

    QTest::mouseClick(page().chk_xx, Qt::LeftButton);
    EXPECT_FALSE(page().chk_xx->isChecked()) << "the switch keeps its click";
}

TEST_F(PlayingARecording, NoFrameIsNamedWhileTheGaugesShowTheLatestValues) {
    ShowTab(1);
    EXPECT_EQ(NamedFrame(), "");
    ShowTab(0);
    ClickPlot(300);
    ShowTab(1);
    EXPECT_EQ(NamedFrame(), Named(*window_.ChosenFrame->Frame()));
    Press(Qt::Key_Space);
    Ticks(1);
    dialogs_.answer = QString::fromStdString(path_.string());
    QTest::mouseClick(window_.btnOpenF_DCC, Qt::LeftButton);
    EXPECT_EQ(NamedFrame(), "") << "viewing again forgets the frame";
}

TEST_F(PlayingARecording, MarkerIsDrawnOverTheFrameAtBothEnds) {
    const chart::TRectI& plot = chart().PlotRect();
    ClickPlot(5000);
    Press(Qt::Key_Home);
    auto columns = MarkerColumns();
    ASSERT_FALSE(columns.empty()) << "the first frame's marker over the left axis";
    EXPECT_LE(std::abs(columns.front() - plot.Left), 1);

    Press(Qt::Key_End);
    columns = MarkerColumns();
    ASSERT_FALSE(columns.empty()) << "the last frame's marker over the right frame line";
    EXPECT_LE(std::abs(columns.back() - plot.Right), 1);
    EXPECT_FALSE(chart().Zoomed());
}

TEST_F(PlayingARecording, ScrollingKeysKeepTheMarkerAMarginInside) {
    const chart::TRectI& plot = chart().PlotRect();
    const int y0 = plot.Top + 20, y1 = plot.Bottom - 20;
    QTest::mousePress(&chart(), Qt::LeftButton, {}, {Column(4000), y0});
    QTest::mouseMove(&chart(), {Column(5000), y1});
    QTest::mouseRelease(&chart(), Qt::LeftButton, {}, {Column(5000), y1});
    ASSERT_TRUE(chart().Zoomed());
    chart().Draw();
    ClickPlot(4500);

    const int margin = TChosenFrame::EdgeMargin;
    for (const Qt::Key key : {Qt::Key_PageDown, Qt::Key_PageDown, Qt::Key_PageUp, Qt::Key_PageUp,
                              Qt::Key_PageUp, Qt::Key_End, Qt::Key_Home}) {
        Press(key);
        const auto columns = MarkerColumns();
        ASSERT_FALSE(columns.empty()) << QTest::toString(key);
        EXPECT_GE(columns.front(), plot.Left + margin - 1) << QTest::toString(key);
        EXPECT_LE(columns.back(), plot.Right - margin + 1) << QTest::toString(key);
    }
    // Stepping within the margins moves the marker and leaves the chart where it is.
    const double minimum = chart().BottomAxis().Minimum();
    Press(Qt::Key_Right);
    EXPECT_EQ(chart().BottomAxis().Minimum(), minimum);
}

} // namespace
