// The frames selected on the chart page with Shift and a left drag: what they shade, the
// figures shown for them against a count of the frames themselves, the rule that turns a drag
// into frames, and their CSV.

#include "telemetry/tests/CompanionFixtures.h"
#include "tools/dcc/RecordingScan.h"
#include "tools/sim/Simulator.h"
#include "ui/reading/ChartSelection.h"
#include "ui/reading/ChosenFrame.h"
#include "ui/tests/AnsweredDialogs.h"
#include "ui/window/UprZagig.h"

#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using telemetry::TDecodedFrame;

// Each quantity over frames, counted the plain way: the population's deviation, no speed for
// a period of 0.
analysis::TQuantityFigures BruteForce(const std::vector<TDecodedFrame>& frames, int quantity) {
    std::vector<double> values;
    for (const TDecodedFrame& f : frames) {
        switch (quantity) {
        case 0:
            if (f.Period != 0)
                values.push_back(telemetry::EngineSpeed(f.Period));
            break;
        case 1:
            values.push_back(f.Map);
            break;
        case 2:
            values.push_back(f.CurveNumber);
            break;
        case 3:
            values.push_back(f.Temperature);
            break;
        case 4:
            values.push_back(f.OctaneCorrector);
            break;
        default:
            values.push_back(telemetry::AdvanceDegrees(f.AdvanceCode));
        }
    }
    analysis::TQuantityFigures q;
    q.Frames = static_cast<std::int64_t>(values.size());
    if (values.empty())
        return q;
    q.Minimum = *std::min_element(values.begin(), values.end());
    q.Maximum = *std::max_element(values.begin(), values.end());
    double sum = 0;
    for (const double v : values)
        sum += v;
    q.Mean = sum / static_cast<double>(values.size());
    double squares = 0;
    for (const double v : values)
        squares += (v - q.Mean) * (v - q.Mean);
    q.StandardDeviation = std::sqrt(squares / static_cast<double>(values.size()));
    return q;
}

// A recording of two runs with a second of line noise between them (a reconnect's gap), and
// a frame of period 0 in the first; each completed frame as the recording tool decodes it.
class SelectingFrames : public ::testing::Test {
protected:
    static constexpr int RunFrames = 400;
    static constexpr int GapBytes = 5760;

    void SetUp() override {
        std::vector<std::uint8_t> bytes = sim::GenerateRecording(3, RunFrames, false, nullptr);
        const auto zero = sim::EncodeFrame({0, 11, 2, 90, 128, 77});
        std::copy(zero.begin(), zero.end(), bytes.begin() + 100 * 9);
        bytes.insert(bytes.end(), GapBytes, 0x17);
        const std::vector<std::uint8_t> second =
            sim::GenerateRecording(4, RunFrames, false, nullptr);
        bytes.insert(bytes.end(), second.begin(), second.end());
        TRecordingScan scan([&](const TDecodedFrame& f) { decoded_.push_back(f); });
        scan.Feed(bytes);
        recording_ = bytes;
        ASSERT_EQ(decoded_.size(), std::size_t(2 * RunFrames));

        path_ = fs::temp_directory_path() /
                ("telmira-selection-" + std::to_string(::getpid()) + ".dcc");
        std::ofstream(path_, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        window_.show();
        dialogs_.answer = QString::fromStdString(path_.string());
        QTest::mouseClick(window_.btnOpenF_DCC, Qt::LeftButton);
        ASSERT_EQ(window_.Frames().Rows(), 2 * RunFrames);
        chart().Draw();
    }
    void TearDown() override {
        fs::remove(path_);
        fs::remove(path_.string() + ".tlm");
        fs::remove(csv_);
    }

    TChart& chart() { return *window_.Chart1; }
    TChartSelection& selection() { return *window_.ChartSelection; }
    int Column(double frame) { return chart().BottomAxis().Map().ToPixel(frame); }
    int MidRow() { return (chart().PlotRect().Top + chart().PlotRect().Bottom) / 2; }
    void Mouse(QEvent::Type type, QPoint p, Qt::MouseButton button, Qt::MouseButtons held,
               Qt::KeyboardModifiers modifiers) {
        QMouseEvent event(type, QPointF(p), chart().mapToGlobal(QPointF(p)), button, held,
                          modifiers);
        QApplication::sendEvent(&chart(), &event);
    }
    void Drag(QPoint from, QPoint to, Qt::KeyboardModifiers modifiers) {
        Mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton, modifiers);
        Mouse(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton, modifiers);
        Mouse(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton, modifiers);
    }
    void ExpectFiguresOf(std::int64_t first, std::int64_t end) {
        ASSERT_TRUE(selection().Figures());
        const analysis::TSelectionFigures& figures = *selection().Figures();
        EXPECT_EQ(figures.Frames, (analysis::TFrameRange{first, end}));
        const std::vector<TDecodedFrame> frames(decoded_.begin() + first, decoded_.begin() + end);
        for (int q = 0; q < 6; ++q) {
            const analysis::TQuantityFigures expected = BruteForce(frames, q);
            const analysis::TQuantityFigures& shown = figures.Quantities[q];
            EXPECT_EQ(shown.Frames, expected.Frames) << q;
            EXPECT_EQ(shown.Minimum, expected.Minimum) << q;
            EXPECT_EQ(shown.Maximum, expected.Maximum) << q;
            EXPECT_NEAR(shown.Mean, expected.Mean, 1e-9 * (1 + std::abs(expected.Mean))) << q;
            EXPECT_NEAR(shown.StandardDeviation, expected.StandardDeviation, 1e-6) << q;
        }
    }

    fs::path path_;
    fs::path csv_ =
        fs::temp_directory_path() / ("telmira-selection-" + std::to_string(::getpid()) + ".csv");
    std::vector<std::uint8_t> recording_;
    std::vector<TDecodedFrame> decoded_;
    telemetry::TLatestValues values_;
    TAnsweredDialogs dialogs_;
    TfrmUprZagig window_{values_, dialogs_};
};

TEST_F(SelectingFrames, ShiftDragSelectsShadesAndShowsFiguresAndEscClears) {
    const TAxisScale scale = chart().BottomAxis().Scale();
    const QImage before = window_.grab().toImage();
    const int from = Column(50.3), to = Column(300.6);
    Drag({from, MidRow()}, {to, MidRow() + 40}, Qt::ShiftModifier);
    EXPECT_FALSE(chart().Zoomed());
    EXPECT_EQ(chart().BottomAxis().Scale(), scale) << "Shift-drag zooms nothing";
    EXPECT_FALSE(window_.ChosenFrame->Frame()) << "nor chooses a frame";
    const std::int64_t first = std::llround(std::ceil(chart().Selection()->From));
    const std::int64_t last = std::llround(std::floor(chart().Selection()->To));
    ExpectFiguresOf(first, last + 1);
    EXPECT_NEAR(static_cast<double>(first), 50.3, 1.5);
    EXPECT_NEAR(static_cast<double>(last), 300.6, 1.5);
    EXPECT_EQ(selection().Figures()->Quantities[0].Frames, last - first) << "one frame of period 0";

    // On screen: the box with its figures, and the shade beside it.
    const QImage shaded = window_.grab().toImage();
    const QPoint box = selection().Box->mapTo(&window_, QPoint(2, 2));
    EXPECT_EQ(shaded.pixel(box), 0xFFFFFFF0u) << "the box's light background";
    EXPECT_NE(before.pixel(box), shaded.pixel(box));
    EXPECT_TRUE(selection().lblFigures->text().contains("Выделено кадров: " +
                                                        QString::number(last - first + 1)));
    const QPoint inside =
        chart().mapTo(&window_, QPoint((from + to) / 2, chart().PlotRect().Bottom - 3));
    const QPoint outside = chart().mapTo(&window_, QPoint(to + 6, chart().PlotRect().Bottom - 3));
    EXPECT_GT(qBlue(shaded.pixel(inside)), qRed(shaded.pixel(inside)) + 20);
    EXPECT_EQ(shaded.pixel(outside), before.pixel(outside));

    chart().setFocus();
    QTest::keyClick(&chart(), Qt::Key_Escape);
    EXPECT_FALSE(selection().Figures());
    EXPECT_FALSE(chart().Selection());
    const QImage cleared = window_.grab().toImage();
    for (const QPoint p : {box, inside})
        EXPECT_EQ(cleared.pixel(p), before.pixel(p)) << "nothing of it is left on screen";

    // A plain drag right and down still zooms.
    Drag({from, MidRow() - 60}, {to, MidRow() + 60}, Qt::NoModifier);
    EXPECT_TRUE(chart().Zoomed());
    EXPECT_FALSE(chart().Selection());
}

TEST_F(SelectingFrames, OneFrameAndAcrossTheGap) {
    // A drag between two frames' columns takes the nearer frame: zoomed in far enough, the
    // columns of neighbouring frames lie apart.
    EXPECT_EQ(FramesInSpan(10.1, 10.4, 800), (analysis::TFrameRange{10, 11}));
    EXPECT_EQ(FramesInSpan(10.6, 10.9, 800), (analysis::TFrameRange{11, 12}));
    EXPECT_EQ(FramesInSpan(12.7, 9.2, 800), (analysis::TFrameRange{10, 13})) << "either way";
    EXPECT_EQ(FramesInSpan(-40, 2.5, 800), (analysis::TFrameRange{0, 3}));
    EXPECT_EQ(FramesInSpan(790.2, 5000, 800), (analysis::TFrameRange{791, 800}));
    EXPECT_EQ(FramesInSpan(900, 950, 800), (analysis::TFrameRange{799, 800}));
    EXPECT_TRUE(FramesInSpan(1, 5, 0).Empty()) << "no frames, nothing selected";

    selection().Select({123, 124});
    ExpectFiguresOf(123, 124);
    const analysis::TSelectionFigures& one = *selection().Figures();
    EXPECT_EQ(one.Seconds, 0.0);
    EXPECT_EQ(one.Quantities[5].StandardDeviation, 0);
    EXPECT_EQ(one.Quantities[5].Minimum, one.Quantities[5].Maximum);
    EXPECT_TRUE(selection().lblFigures->text().contains("Выделено кадров: 1 (123–123)"));

    // Across the gap the figures take the frames on both sides and none from the noise; the
    // estimated duration counts the noise's bytes at the line rate, and says it is estimated.
    selection().Select({RunFrames - 50, RunFrames + 50});
    ExpectFiguresOf(RunFrames - 50, RunFrames + 50);
    EXPECT_NEAR(*selection().Figures()->Seconds, (99.0 * 9 + GapBytes) / 5760, 1e-9);
    EXPECT_TRUE(selection().lblFigures->text().contains("≈ 1,15 с"));

    // Times measured by a companion take the estimate's place, without the "≈": the first run
    // came in 0.625 s, the stream stopped for 30 s, and the noise and the second run came at the
    // line rate.
    const std::uint64_t runBytes = RunFrames * 9, size = 2 * runBytes + GapBytes;
    telemetry::testing::TCompanionBuilder companion(recording_);
    companion.Start()
        .Checkpoint(0, 0)
        .Checkpoint(runBytes, 625'000)
        .Checkpoint(runBytes, 30'625'000)
        .Checkpoint(size, 30'625'000 + (size - runBytes) * 1'000'000 / 5760)
        .Event(telemetry::TSessionEventKind::SessionClosed, size, 33'000'000);
    telemetry::testing::WriteFile(path_.string() + ".tlm", companion.bytes);
    QTest::mouseClick(window_.btnOpenF_DCC, Qt::LeftButton);
    selection().Select({RunFrames - 50, RunFrames + 50});
    const double firstSelected = (RunFrames - 49) * 9.0 / runBytes * 0.625;
    const double lastSelected = 30.625 + (GapBytes + 50 * 9) / 5760.0;
    EXPECT_NEAR(*selection().Figures()->Seconds, lastSelected - firstSelected, 1e-9);
    EXPECT_FALSE(selection().lblFigures->text().contains("≈"));
    EXPECT_TRUE(selection().lblFigures->text().contains("31,15 с"))
        << selection().lblFigures->text().toStdString();

    // Its CSV, through the box's button.
    dialogs_.answer = QString::fromStdString(csv_.string());
    QTest::mouseClick(selection().btnExportSelection, Qt::LeftButton);
    QFile written(QString::fromStdString(csv_.string()));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const std::string csv = written.readAll().toStdString();
    EXPECT_EQ(csv, analysis::SelectionCsv(*selection().Figures()));
    EXPECT_NE(csv.find(",measured\n"), std::string::npos);
}

} // namespace
