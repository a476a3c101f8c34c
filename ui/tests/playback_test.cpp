#include "tests/support/ScreenPicture.h"
#include "tools/sim/Simulator.h"
#include "ui/reading/ChosenFrame.h"
#include "ui/tests/AnsweredDialogs.h"
#include "ui/window/UprZagig.h"

#include <QPushButton>
#include <QTest>

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
