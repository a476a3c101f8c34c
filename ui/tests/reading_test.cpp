#include "AnsweredDialogs.h"
#include "ChartReadout.h"
#include "ChosenFrame.h"
#include "InstrumentsPage.h"
#include "RecordingScan.h"
#include "Simulator.h"
#include "TelemetryChart.h"
#include "UprZagig.h"

#include <QCheckBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

namespace {

namespace fs = std::filesystem;
using telemetry::TDecodedFrame;

// A replayed recording with a stray byte before the first frame, a frame with period 0 and
// a last frame cut short; each completed frame as the recording tool decodes it.
class ReadingARecording : public ::testing::Test {
protected:
    static constexpr int Frames = 300;
    static constexpr int ZeroPeriodFrame = 137;

    void SetUp() override {
        std::vector<sim::TFrameFields> fields;
        std::vector<std::uint8_t> bytes = sim::GenerateRecording(7, Frames, false, &fields);
        bytes.insert(bytes.begin(), 0x42);
        const auto zero = sim::EncodeFrame({0, 11, 2, 90, 128, 77});
        std::copy(zero.begin(), zero.end(), bytes.begin() + 1 + ZeroPeriodFrame * 9);
        bytes.insert(bytes.end(), {0xFF, 0xFF, 0x10, 0x00, 33});
        TRecordingScan scan([&](const TDecodedFrame& f) { decoded_.push_back(f); });
        scan.Feed(bytes);
        ASSERT_EQ(decoded_.size(), std::size_t(Frames));
        ASSERT_EQ(decoded_[ZeroPeriodFrame].Period, 0);

        const fs::path path =
            fs::temp_directory_path() / ("telmira-reading-" + std::to_string(::getpid()) + ".dcc");
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        path_ = path;
        window_.show();
        dialogs_.answer = QString::fromStdString(path.string());
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

    void Mouse(QEvent::Type type, QPoint p, Qt::MouseButton button = Qt::NoButton,
               Qt::MouseButtons held = Qt::NoButton) {
        QMouseEvent event(type, QPointF(p), chart().mapToGlobal(QPointF(p)), button, held,
                          Qt::NoModifier);
        QApplication::sendEvent(&chart(), &event);
    }
    void MoveTo(QPoint p) { Mouse(QEvent::MouseMove, p); }
    void Click(QPoint p) {
        Mouse(QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton);
        Mouse(QEvent::MouseButtonRelease, p, Qt::LeftButton);
    }
    void Key(Qt::Key key) { QTest::keyClick(&chart(), key); }

    fs::path path_;
    std::vector<TDecodedFrame> decoded_;
    telemetry::TLatestValues values_;
    TAnsweredDialogs dialogs_;
    TfrmUprZagig window_{values_, dialogs_};
};

TEST_F(ReadingARecording, CursorTakesTheFrameNearestThePointer) {
    const chart::TRectI& plot = chart().PlotRect();
    const int k = 120;
    const int between = (Column(k) + Column(k + 1)) / 2;
    const struct {
        const char* rule;
        int x;
        std::int64_t frame;
    } cases[] = {
        {"the plot's left edge", plot.Left, 0},
        {"the plot's right edge: the frame cut short", plot.Right - 1, Frames},
        {"on a frame", Column(k), k},
        {"short of halfway to the next", between - (Column(k + 1) - Column(k)) % 2, k},
        {"past halfway", between + 1, k + 1},
    };
    for (const auto& c : cases) {
        MoveTo({c.x, MidRow()});
        EXPECT_EQ(window_.ChartReadout->CursorFrame(), c.frame) << c.rule;
    }
    MoveTo({plot.Left - 3, MidRow()});
    EXPECT_EQ(window_.ChartReadout->CursorFrame(), std::nullopt) << "left of the plot";
}

TEST_F(ReadingARecording, ReadoutShowsWhatTheBytesDecodeTo) {
    const std::array<QString, 6> captions = {"a", "b", "c", "d", "e", "f"};
    for (const TDecodedFrame& f : decoded_) {
        ASSERT_EQ(FrameOnChart(chart(), f.Number), f);
        const auto lines = ReadoutLines(chart(), f.Number, captions);
        ASSERT_EQ(lines.size(), 7u);
        EXPECT_EQ(lines[0].Text, "Кадр " + QString::number(f.Number));
        const std::optional<double> expected[] = {
            f.Period ? std::optional(telemetry::EngineSpeed(f.Period)) : std::nullopt,
            f.Map,
            f.CurveNumber,
            f.Temperature,
            f.OctaneCorrector,
            telemetry::AdvanceDegrees(f.AdvanceCode)};
        for (int s = 0; s < 6; ++s) {
            ASSERT_EQ(lines[s + 1].Series, s);
            ASSERT_EQ(lines[s + 1].Value, expected[s]) << "frame " << f.Number << " series " << s;
            EXPECT_EQ(lines[s + 1].Colour, telemetry::PlotColours[s]);
        }
    }
    const auto zero = ReadoutLines(chart(), ZeroPeriodFrame, captions);
    EXPECT_EQ(zero[1].Text, "a: —");
    EXPECT_EQ(zero[6].Text,
              "f: " + QString::number(telemetry::AdvanceDegrees(77), 'f', 2).replace('.', ',') +
                  "°");
    EXPECT_FALSE(FrameOnChart(chart(), Frames)) << "the frame cut short is not completed";

    QTest::mouseClick(window_.chkdad, Qt::LeftButton);
    QTest::mouseClick(window_.chkuoz, Qt::LeftButton);
    std::vector<int> shown;
    for (const TReadoutLine& line : ReadoutLines(chart(), 5, captions))
        shown.push_back(line.Series);
    EXPECT_EQ(shown, (std::vector<int>{-1, 0, 2, 3, 4})) << "switched-off series are left out";
}

TEST_F(ReadingARecording, ReadoutIsDrawnOverThePictureWithoutRedrawingIt) {
    int redraws = 0;
    chart().OnAfterDraw = [&](TChart&) { ++redraws; };
    const QImage before = chart().grab().toImage();
    const int x = Column(200), y = MidRow();
    MoveTo({x, y});
    const QImage over = chart().grab().toImage();
    EXPECT_EQ(redraws, 0);
    EXPECT_EQ(over.pixel(x, y), 0xFF606060u) << "the cursor";
    EXPECT_EQ(over.pixel(x - 1, y), before.pixel(x - 1, y));
    const QRect box = over.rect().intersected(QRect(x - 300, 0, 600, chart().height()));
    int boxPixels = 0;
    for (int px = box.left(); px <= box.right(); ++px)
        boxPixels += over.pixel(px, chart().PlotRect().Top + 12) == 0xFFFFFFF0u;
    EXPECT_GT(boxPixels, 40) << "the readout's box beside the cursor";

    MoveTo({chart().PlotRect().Left - 3, y});
    EXPECT_EQ(chart().grab().toImage(), before) << "gone once the pointer leaves the plot";
    MoveTo({x, y});
    Mouse(QEvent::MouseButtonPress, {x, y}, Qt::RightButton, Qt::RightButton);
    EXPECT_EQ(window_.ChartReadout->CursorFrame(), std::nullopt) << "gone when a drag starts";
    Mouse(QEvent::MouseButtonRelease, {x, y}, Qt::RightButton);
    EXPECT_EQ(redraws, 0);
}

TEST_F(ReadingARecording, ChosenFrameGoesOnTheGaugesByTheTimersRules) {
    // The page the decoded values reach as the latest values, tick by tick, beside the
    // window's page showing the chosen frames.
    telemetry::TLatestValues latest;
    TInstrumentsPage reference(latest);
    TInstrumentsPage& page = *window_.TabSheet2;
    for (const int k : {3, 250, ZeroPeriodFrame, ZeroPeriodFrame + 1, 0, Frames - 1}) {
        SCOPED_TRACE(k);
        Click({Column(k), MidRow()});
        ASSERT_EQ(window_.ChosenFrame->Frame(), k);
        const TDecodedFrame& f = decoded_[k];
        latest.Period = f.Period;
        latest.Map = f.Map;
        latest.Temperature = f.Temperature;
        latest.OctaneCorrector = f.OctaneCorrector;
        latest.AdvanceCode = f.AdvanceCode;
        reference.Timer1Timer();
        page.Timer1Timer();
        EXPECT_EQ(page.dev_rpm->Value(), reference.dev_rpm->Value());
        EXPECT_EQ(page.dev_uoz->Value(), reference.dev_uoz->Value());
        EXPECT_EQ(page.dev_dad->Value(), reference.dev_dad->Value());
        EXPECT_EQ(page.dev_ok->Value(), reference.dev_ok->Value());
        EXPECT_EQ(page.dev_temp->Value(), reference.dev_temp->Value());
    }
    EXPECT_EQ(values_.Period, 0x1000) << "the latest values stay the file's last";
}

TEST_F(ReadingARecording, ClickMarksTheFrameAndADragDoesNot) {
    const int x = Column(100), y = MidRow();
    Mouse(QEvent::MouseButtonPress, {x, y}, Qt::LeftButton, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, {x + 40, y + 5}, Qt::LeftButton);
    EXPECT_EQ(window_.ChosenFrame->Frame(), std::nullopt) << "a drag is no click";
    Click({x, y});
    MoveTo({chart().PlotRect().Left - 3, y});
    const QImage marked = chart().grab().toImage();
    EXPECT_EQ(marked.pixel(x, y), 0xFF00A0A0u);
    EXPECT_EQ(marked.pixel(x + 1, y), 0xFF00A0A0u);
    EXPECT_FALSE(chart().Zoomed());
}

TEST_F(ReadingARecording, KeysStepTheFrameAndKeepItInView) {
    Click({Column(100), MidRow()});
    ASSERT_EQ(window_.ChosenFrame->Frame(), 100);
    const auto page = static_cast<std::int64_t>(std::llround(chart().BottomAxis().Map().Range()));
    const std::int64_t last = Frames - 1;
    const std::int64_t down = std::min(100 + page, last);
    const struct {
        Qt::Key key;
        std::int64_t frame;
    } steps[] = {{Qt::Key_Right, 101},     {Qt::Key_Left, 100},
                 {Qt::Key_PageDown, down}, {Qt::Key_PageUp, std::max<std::int64_t>(down - page, 0)},
                 {Qt::Key_Home, 0},        {Qt::Key_Left, 0},
                 {Qt::Key_End, last},      {Qt::Key_Right, last}};
    for (const auto& s : steps) {
        Key(s.key);
        EXPECT_EQ(window_.ChosenFrame->Frame(), s.frame) << QTest::toString(s.key);
    }

    // Zoomed to frames 50 to about 100, End scrolls the last frame into view.
    const int y0 = chart().PlotRect().Top + 10, y1 = chart().PlotRect().Bottom - 10;
    Mouse(QEvent::MouseButtonPress, {Column(50), y0}, Qt::LeftButton, Qt::LeftButton);
    Mouse(QEvent::MouseMove, {Column(100), y1}, Qt::NoButton, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, {Column(100), y1}, Qt::LeftButton);
    ASSERT_TRUE(chart().Zoomed());
    chart().Draw();
    Key(Qt::Key_End);
    EXPECT_LE(chart().BottomAxis().Minimum(), Frames - 1);
    EXPECT_GE(chart().BottomAxis().Maximum(), Frames - 1);
    EXPECT_NEAR(chart().BottomAxis().Maximum(), Frames - 1, 1e-6) << "moved no further";
}

TEST_F(ReadingARecording, SpacePlaysForwardAndPauses) {
    Click({Column(10), MidRow()});
    Key(Qt::Key_Space);
    EXPECT_TRUE(window_.ChosenFrame->Playing());
    ASSERT_TRUE(QTest::qWaitFor([&] { return window_.ChosenFrame->Frame() >= 40; }, 5000));
    Key(Qt::Key_Space);
    EXPECT_FALSE(window_.ChosenFrame->Playing());
    const auto paused = window_.ChosenFrame->Frame();
    QTest::qWait(50);
    EXPECT_EQ(window_.ChosenFrame->Frame(), paused);
    Key(Qt::Key_Space);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window_.ChosenFrame->Playing(); }, 5000));
    EXPECT_EQ(window_.ChosenFrame->Frame(), Frames - 1) << "playing stops at the last frame";
}

} // namespace
