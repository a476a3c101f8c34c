#include "telemetry/CompanionFormat.h"
#include "telemetry/CompanionWriter.h"
#include "tools/dcc/RecordingScan.h"
#include "tools/sim/Simulator.h"
#include "ui/reading/ChartExport.h"
#include "ui/reading/ChartMarkers.h"
#include "ui/reading/ChartReadout.h"
#include "ui/reading/ChosenFrame.h"
#include "ui/reading/TimeAxis.h"
#include "ui/tests/AnsweredDialogs.h"
#include "ui/tests/ModalAnswer.h"
#include "ui/tests/UnwritableFolder.h"
#include "ui/window/InstrumentsPage.h"
#include "ui/window/TelemetryChart.h"
#include "ui/window/UprZagig.h"
#include "widgets/chart/ChartCursor.h"
#include "widgets/chart/ChartMarkerLines.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

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
        ASSERT_EQ(window_.Frames().Frame(f.Number), f);
        const auto lines = ReadoutLines(chart(), window_.Frames(), f.Number, captions);
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
            // The scale the readout names is the one the points are plotted at.
            const TChartSeries& series = chart().Series(s);
            if (const auto index = chart::IndexOfX(series, static_cast<double>(f.Number))) {
                ASSERT_EQ(series.YValue(*index), *expected[s] * PlotScale(s))
                    << "frame " << f.Number << " series " << s;
            }
        }
    }
    // The zero-period frame's fields: period 0, MAP 11, curve 2, temperature 90, octane
    // corrector 128, advance code 77.
    const auto zero = ReadoutLines(chart(), window_.Frames(), ZeroPeriodFrame, captions);
    const QString advance =
        QString::number(telemetry::AdvanceDegrees(77), 'f', 2).replace('.', ',');
    const QStringList texts = {"a: —",
                               "b: 11 (на графике ×10)",
                               "c: 2 (на графике ×10)",
                               "d: 90 (на графике ×10)",
                               "e: 128 (на графике ×10)",
                               "f: " + advance + "° (на графике ×100)"};
    for (int s = 0; s < 6; ++s)
        EXPECT_EQ(zero[s + 1].Text.toStdString(), texts[s].toStdString());
    EXPECT_EQ(ReadoutLines(chart(), window_.Frames(), 3, captions)[1].Text.toStdString(),
              "a: " + std::to_string(std::llround(telemetry::EngineSpeed(decoded_[3].Period))) +
                  " об/мин")
        << "the speed is plotted as it is";
    EXPECT_FALSE(window_.Frames().Frame(Frames)) << "the frame cut short is not completed";
    std::vector<std::optional<double>> cut;
    for (const TReadoutLine& line : ReadoutLines(chart(), window_.Frames(), Frames, captions))
        cut.push_back(line.Value);
    EXPECT_EQ(cut, (std::vector<std::optional<double>>{std::nullopt, telemetry::EngineSpeed(0x1000),
                                                       33, std::nullopt, std::nullopt, std::nullopt,
                                                       std::nullopt}))
        << "the frame cut short reads as far as its points go";

    QTest::mouseClick(window_.chkdad, Qt::LeftButton);
    QTest::mouseClick(window_.chkuoz, Qt::LeftButton);
    std::vector<int> shown;
    for (const TReadoutLine& line : ReadoutLines(chart(), window_.Frames(), 5, captions))
        shown.push_back(line.Series);
    EXPECT_EQ(shown, (std::vector<int>{-1, 0, 2, 3, 4})) << "switched-off series are left out";
}

TEST_F(ReadingARecording, ViewingAgainKeepsOneTableOfTheRecording) {
    EXPECT_EQ(window_.Frames().Rows(), Frames);
    QTest::mouseClick(window_.btnOpenF_DCC, Qt::LeftButton);
    EXPECT_EQ(window_.Frames().Rows(), Frames);
    EXPECT_EQ(window_.Frames().Bytes(), fs::file_size(path_));
    EXPECT_EQ(window_.Frames().Frame(Frames - 1), decoded_.back());
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

// Counts the paints that reach a widget.
struct TPaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

TEST(LiveReadout, NewestFrameIsReadAgainAsFramesArrive) {
    TChart chart;
    ConfigureTelemetryChart(chart);
    chart.resize(600, 300);
    telemetry::TFrameTable frames;
    TChartReadout readout(chart, frames, {"a", "b", "c", "d", "e", "f"});
    TChartPlot plot(chart);
    telemetry::TLatestValues values;
    std::uint8_t state = 0;
    const auto stream = sim::GenerateRecording(3, 200, false);
    const auto feed = [&](std::size_t from, std::size_t to) {
        telemetry::DecodeBlock({stream.data() + from * 9, (to - from) * 9},
                               telemetry::DecodeMode::LivePlotting, state, values, &plot, &frames);
    };
    feed(0, 100);
    chart.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));
    TPaintCounter counter;
    readout.installEventFilter(&counter);
    const QPointF newest(chart.PlotRect().Right - 1, chart.PlotRect().Top + 50);
    QMouseEvent move(QEvent::MouseMove, newest, chart.mapToGlobal(newest), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&chart, &move);
    EXPECT_EQ(readout.CursorFrame(), 99);

    int redraws = 0;
    chart.OnAfterDraw = [&](TChart&) { ++redraws; };
    chart.repaint(); // the chart's next paint now waits for its frame interval
    feed(100, 150);
    const int before = counter.paints;
    const QPointF left = newest - QPointF(5, 0);
    QMouseEvent wander(QEvent::MouseMove, left, chart.mapToGlobal(left), Qt::NoButton, Qt::NoButton,
                       Qt::NoModifier);
    QApplication::sendEvent(&chart, &wander);
    QApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    EXPECT_EQ(redraws, 0) << "a pointer move waits for the chart's own redraw of new frames";
    QApplication::sendEvent(&chart, &move);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !chart.ImageStale() && counter.paints > before; }));
    EXPECT_EQ(readout.CursorFrame(), 149) << "the chart's repaint redraws the readout with it";
    EXPECT_EQ(redraws, 1);
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

TEST_F(ReadingARecording, TimeAxisSwitchesTheLabelsOnlyAndFramesShowTheirTimes) {
    const QImage frames = chart().Draw().copy();
    QTest::keyClick(&window_, Qt::Key_T, Qt::ControlModifier);
    ASSERT_TRUE(window_.TimeAxis->Switch->isChecked());
    EXPECT_NE(chart().Draw(), frames) << "the bottom labels and their grid say times";
    EXPECT_EQ(chart().BottomAxis().LabelText(Frames - 1), "≈0:00");

    // Frame k's last byte is byte 9 (k + 1) at 5760 bytes a second.
    EXPECT_EQ(window_.TimeAxis->FrameTime(ZeroPeriodFrame), "≈0:00.216");
    Click({Column(ZeroPeriodFrame), MidRow()});
    window_.TabSheet2->Timer1Timer();
    EXPECT_EQ(window_.TabSheet2->lblShownFrame->text(), "Кадр 137\n≈0:00.216");

    QTest::keyClick(&window_, Qt::Key_T, Qt::ControlModifier);
    ASSERT_FALSE(window_.TimeAxis->Switch->isChecked());
    const QImage back = chart().Draw().copy();
    EXPECT_EQ(back, frames) << "the frame axis' picture is as it was";
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
    chart().Draw();
    EXPECT_NEAR(Column(Frames - 1), chart().PlotRect().Right - TChosenFrame::EdgeMargin, 1)
        << "moved no further than to the margin";
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

// Writing the chart out: the picture and the visible frames, and failures that leave no file.
class ExportingTheChart : public ReadingARecording {
protected:
    void SetUp() override {
        ReadingARecording::SetUp();
        std::string pattern = (fs::temp_directory_path() / "telmira-export-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        fs::remove_all(dir_);
        ReadingARecording::TearDown();
    }

    // Zooms the chart to frames 40 to 180 and switches MAP off.
    void ZoomAndSwitch() {
        const int y0 = chart().PlotRect().Top + 20, y1 = chart().PlotRect().Bottom - 20;
        Mouse(QEvent::MouseButtonPress, {Column(40), y0}, Qt::LeftButton, Qt::LeftButton);
        Mouse(QEvent::MouseMove, {Column(180), y1}, Qt::NoButton, Qt::LeftButton);
        Mouse(QEvent::MouseButtonRelease, {Column(180), y1}, Qt::LeftButton);
        ASSERT_TRUE(chart().Zoomed());
        QTest::mouseClick(window_.chkdad, Qt::LeftButton);
        MoveTo({chart().PlotRect().Left - 3, y0}); // no readout in the way
    }

    // Runs an export through its action with the dialog answered; returns the error box's
    // text, or nothing when none came up.
    std::optional<QString> Export(QAction* action, const fs::path& path) {
        dialogs_.answer = QString::fromStdString(path.string());
        std::optional<QString> shown;
        TModalAnswer answer([&](QWidget& modal) {
            auto& box = static_cast<QMessageBox&>(modal);
            shown = box.text();
            box.buttons().first()->click();
        });
        action->trigger();
        return shown;
    }

    std::set<fs::path> Files() const {
        std::set<fs::path> files;
        for (const auto& entry : fs::directory_iterator(dir_))
            files.insert(entry.path());
        return files;
    }

    fs::path dir_;
};

TEST_F(ExportingTheChart, PictureIsTheChartAsOnScreenWithALegendUnderIt) {
    ZoomAndSwitch();
    const fs::path path = dir_ / "chart.png";
    ASSERT_EQ(Export(window_.ChartExport->SavePicture, path), std::nullopt);
    EXPECT_EQ(dialogs_.shownFilter, "Изображение PNG *.png|*.png|");
    const QImage written(QString::fromStdString(path.string()));
    const QImage screen = chart().grab().toImage().convertToFormat(written.format());
    ASSERT_EQ(written.width(), screen.width());
    ASSERT_EQ(written.height(), screen.height() + LegendRowHeight());

    // The legend names the switched-on series (MAP is off), each after a swatch of its colour.
    const auto legend = LegendRow(chart(), window_.ChartReadout->Captions());
    QStringList texts;
    for (const TLegendEntry& entry : legend) {
        texts << entry.Text;
        const QPoint swatch = entry.Swatch.center() + QPoint(0, screen.height());
        EXPECT_EQ(written.pixel(swatch), chart::ToRgb(entry.Colour)) << entry.Text.toStdString();
        EXPECT_GE(entry.Swatch.left(), chart().PlotRect().Left);
        EXPECT_LT(entry.TextBox.right(), written.width()) << entry.Text.toStdString();
    }
    EXPECT_EQ(texts.join(" | ").toStdString(),
              "Обороты, об/мин | Номер кривой ×10 | Температура ×10 | ОК ×10 | УОЗ, ° ×100");
    for (std::size_t i = 1; i < legend.size(); ++i)
        EXPECT_GT(legend[i].Swatch.left(), legend[i - 1].TextBox.right()) << "side by side";
    EXPECT_EQ(legend[0].Colour, telemetry::PlotColours[telemetry::SeriesSpeed]);
    EXPECT_EQ(legend[4].Colour, telemetry::PlotColours[telemetry::SeriesAdvance]);

    QRegion controls;
    for (const QWidget* child : chart().findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (child != window_.ChartReadout)
            controls += child->geometry();
    int compared = 0;
    for (int y = 0; y < screen.height(); ++y)
        for (int x = 0; x < screen.width(); ++x)
            if (!controls.contains(QPoint(x, y))) {
                ASSERT_EQ(written.pixel(x, y), screen.pixel(x, y)) << x << "," << y;
                ++compared;
            }
    EXPECT_GT(compared, screen.width() * screen.height() * 9 / 10);
}

TEST_F(ExportingTheChart, CsvOfTheVisibleRangeIsTheRecordingToolsLines) {
    ZoomAndSwitch();
    const fs::path path = dir_ / "frames.csv";
    ASSERT_EQ(Export(window_.ChartExport->ExportCsv, path), std::nullopt);
    EXPECT_EQ(dialogs_.shownFilter, "Таблица CSV *.csv|*.csv|");

    const std::string command = std::string(TELMIRA_BIN_DIR) + "/telmira-dcc csv " + path_.string();
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::vector<std::string> tool;
    char line[256];
    while (std::fgets(line, sizeof line, pipe))
        tool.emplace_back(line);
    ASSERT_EQ(::pclose(pipe), 0);
    ASSERT_EQ(tool.size(), std::size_t(Frames) + 1);

    const chart::TAxisMap& x = chart().BottomAxis().Map();
    const auto first = static_cast<std::size_t>(std::ceil(x.Minimum));
    const auto last = static_cast<std::size_t>(std::floor(x.Maximum));
    ASSERT_GT(first, 30u);
    ASSERT_LT(last, 190u);
    std::string expected = tool[0];
    for (std::size_t k = first; k <= last; ++k)
        expected += tool[k + 1];
    std::ifstream in(path);
    const std::string written{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(written, expected);
    EXPECT_NE(expected.find("\n137,0,,11,2,90,128,77,"), std::string::npos)
        << "the frame with period 0 is in range";
}

// A recording whose decoder skipped bytes before frames in several chunks of the frame table,
// a few bytes and hundreds at a time: on the time axis, the export's times and the readout's
// are telmira-dcc csv --time's, and the axis places every frame within its tolerance.
TEST_F(ExportingTheChart, FramesAfterSkippedBytesAreTimedWhereTheyEnd) {
    constexpr int Frames = 10000;
    std::vector<std::uint8_t> bytes = sim::GenerateRecording(11, Frames, false, nullptr);
    // From the back, so that each offset is still a frame start.
    for (const auto& [frame, skipped] : std::vector<std::pair<int, int>>{
             {9500, 3}, {8200, 700}, {5000, 15}, {4100, 1}, {4095, 2}, {300, 400}, {0, 1}})
        bytes.insert(bytes.begin() + frame * 9, static_cast<std::size_t>(skipped), 0x42);
    const fs::path recording = dir_ / "skips.dcc";
    std::ofstream(recording, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    dialogs_.answer = QString::fromStdString(recording.string());
    QTest::mouseClick(window_.btnOpenF_DCC, Qt::LeftButton);
    ASSERT_EQ(window_.Frames().Rows(), Frames);
    window_.TimeAxis->Switch->trigger();

    const std::string command =
        std::string(TELMIRA_BIN_DIR) + "/telmira-dcc csv --time " + recording.string() + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::vector<std::string> tool;
    char line[256];
    while (std::fgets(line, sizeof line, pipe))
        tool.emplace_back(line);
    ASSERT_EQ(::pclose(pipe), 0);
    while (!tool.empty() && tool.front() != telemetry::CsvHeaderWithTime)
        tool.erase(tool.begin()); // the note on estimated times
    ASSERT_EQ(tool.size(), std::size_t(Frames) + 1);

    const fs::path csv = dir_ / "timed.csv";
    ASSERT_EQ(Export(window_.ChartExport->ExportCsv, csv), std::nullopt);
    std::ifstream in(csv);
    std::string exported;
    for (std::size_t k = 0; std::getline(in, exported); ++k) {
        ASSERT_LT(k, tool.size());
        ASSERT_EQ(exported + "\n", tool[k]) << "line " << k;
        if (k == 0)
            continue;
        const double seconds = std::stod(tool[k].substr(tool[k].rfind(',') + 1));
        const auto frame = static_cast<std::int64_t>(k - 1);
        ASSERT_NEAR(window_.TimeAxis->Timeline().Seconds(static_cast<double>(frame)), seconds,
                    chart::TTimeline::Tolerance + 0.0005)
            << "frame " << frame;
        if (frame == 8200) {
            EXPECT_EQ(window_.TimeAxis->FrameTime(frame).toStdString(),
                      "≈" + chart::FrameTimeText(seconds, false));
        }
    }
}

// Markers set on a replayed recording in a folder of its own: drawn where they were set, kept
// in the recording's companion, and drawn again when the recording is opened anew.
class MarkingARecording : public ExportingTheChart {
protected:
    void SetUp() override {
        ExportingTheChart::SetUp();
        const std::vector<std::uint8_t> bytes = sim::GenerateRecording(5, 300, false, nullptr);
        recording_ = dir_ / "run.dcc";
        std::ofstream(recording_, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        Reopen();
        // Nothing of the series over the markers' lines and numbers but the curve number's
        // level line, which keeps the frames' range on the bottom axis.
        for (QCheckBox* shown :
             {window_.chkoborot, window_.chkdad, window_.chktemp, window_.chkok, window_.chkuoz})
            shown->setChecked(false);
        chart().Draw(); // laid out anew: the left axis' labels are narrower
        QApplication::setActiveWindow(&window_);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
    }

    void Reopen() {
        dialogs_.answer = QString::fromStdString(recording_.string());
        QTest::mouseClick(window_.btnOpenF_DCC, Qt::LeftButton);
    }
    // M over frame, then the text typed and ended with key.
    void Mark(std::int64_t frame, const QString& text, Qt::Key key) {
        MoveTo({Column(frame), MidRow()});
        QTest::keyClick(&window_, Qt::Key_M);
        ASSERT_TRUE(window_.ChartMarkers->Input->isVisible());
        window_.ChartMarkers->Input->insert(text); // typed: key clicks are ASCII only
        QTest::keyClick(window_.ChartMarkers->Input, key);
        EXPECT_FALSE(window_.ChartMarkers->Input->isVisible());
    }
    std::vector<std::pair<int, std::string>> Listed() const {
        std::vector<std::pair<int, std::string>> listed;
        for (const auto& marker : window_.ChartMarkers->Markers())
            listed.emplace_back(marker.Number, marker.Text);
        return listed;
    }
    // Whether the marker's line runs down column x and its number's box stands right of it,
    // with the top cell of a "1" or "2" in it.
    bool DrawnAt(int x) {
        MoveTo({chart().PlotRect().Left - 3, MidRow()});
        const QImage shown = chart().grab().toImage();
        const int top = chart().PlotRect().Top;
        const int bottom = chart().PlotRect().Bottom;
        return shown.pixel(x, top + 30) == chart::TMarkerLines::LineColour &&
               shown.pixel(x, bottom - 3) == chart::TMarkerLines::LineColour &&
               shown.pixel(x + 2, top + 3) == chart::TMarkerLines::BoxColour &&
               shown.pixel(x + 5, top + 3) == chart::TMarkerLines::LineColour;
    }

    fs::path recording_;
};

TEST_F(MarkingARecording, MarkersAreDrawnKeptAndBackWhenTheRecordingIsOpenedAgain) {
    const QImage before = chart().grab().toImage();
    ASSERT_FALSE(DrawnAt(Column(100)));
    Mark(100, "детонация", Qt::Key_Return);
    Mark(200, "не нужен", Qt::Key_Escape);
    EXPECT_EQ(Listed(), (std::vector<std::pair<int, std::string>>{{1, "детонация"}, {2, ""}}));
    EXPECT_TRUE(DrawnAt(Column(100)));
    EXPECT_TRUE(DrawnAt(Column(200)));
    EXPECT_TRUE(fs::exists(telemetry::CompanionPath(recording_.string())));

    // Chosen by a click, the frame is marked wherever the pointer is.
    Click({Column(250), MidRow()});
    MoveTo({Column(20), MidRow()});
    QTest::keyClick(&window_, Qt::Key_M);
    QTest::keyClick(window_.ChartMarkers->Input, Qt::Key_Return);
    ASSERT_EQ(window_.ChartMarkers->Markers().size(), 3u);
    EXPECT_EQ(window_.ChartMarkers->Markers()[2].Offset, window_.Frames().EndOffset(250));

    Reopen();
    EXPECT_EQ(Listed(),
              (std::vector<std::pair<int, std::string>>{{1, "детонация"}, {2, ""}, {3, ""}}));
    EXPECT_TRUE(DrawnAt(Column(100)));
    EXPECT_TRUE(DrawnAt(Column(200)));
    EXPECT_FALSE(DrawnAt(Column(20)));
}

// A recording given on the command line is opened with the port box holding the keys, where
// M would be typed as text: the keys go to the chart once a recording is on it.
TEST_F(MarkingARecording, KeysPressedAfterAnOpenFromTheCommandLineReachTheChart) {
    window_.edtPortNumber->setFocus();
    ASSERT_TRUE(window_.edtPortNumber->hasFocus());
    // Opened as the program starts: the window is not active yet.
    QApplication::setActiveWindow(nullptr);
    window_.OpenRecording(QString::fromStdString(recording_.string()));
    QApplication::setActiveWindow(&window_);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
    MoveTo({Column(120), MidRow()});
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_M);
    ASSERT_TRUE(window_.ChartMarkers->Input->isVisible());
    QTest::keyClick(window_.ChartMarkers->Input, Qt::Key_Return);
    EXPECT_TRUE(DrawnAt(Column(120)));

    // Nor is M typed into the port box when the user gives it the focus again.
    window_.edtPortNumber->setFocus();
    MoveTo({Column(160), MidRow()});
    QTest::keyClick(window_.edtPortNumber, Qt::Key_M);
    ASSERT_TRUE(window_.ChartMarkers->Input->isVisible());
    QTest::keyClick(window_.ChartMarkers->Input, Qt::Key_Return);
    EXPECT_TRUE(DrawnAt(Column(160)));
    EXPECT_EQ(window_.edtPortNumber->text(), "1");
}

// The session's own events, from the companion a live session left: dashed lines of their own
// colour with no number, apart from the user's markers; the readout names what the pointer is
// at, a marker by its number and text.
TEST_F(MarkingARecording, TheSessionsEventsAreDrawnApartAndTheReadoutNamesWhatIsMarked) {
    std::ifstream in(recording_, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    {
        using TClock = telemetry::TCompanionWriter::TClock;
        const TClock::time_point start = TClock::now();
        telemetry::TCompanionWriter writer(recording_.string(), start);
        const auto block = [&](std::size_t from, std::size_t to, std::uint64_t skipped) {
            const TClock::time_point at = start + std::chrono::milliseconds(from / 6);
            writer.Block(std::span(bytes).subspan(from, to - from), at,
                         {(to - from) / telemetry::FrameSize, skipped, 1}, at);
        };
        block(0, 100 * telemetry::FrameSize, 0);
        writer.PortLost(start + std::chrono::milliseconds(200));
        block(100 * telemetry::FrameSize, 150 * telemetry::FrameSize, 0);
        writer.PortBack(start + std::chrono::milliseconds(300));
        block(150 * telemetry::FrameSize, bytes.size(), 0);
        writer.Close(start + std::chrono::seconds(1));
    }
    Reopen();
    Mark(200, "детонация", Qt::Key_Return);
    MoveTo({chart().PlotRect().Left - 3, MidRow()});
    const QImage shown = chart().grab().toImage();
    const int top = chart().PlotRect().Top;
    using chart::TMarkerLines;
    for (const std::int64_t frame : {99, 149}) {
        SCOPED_TRACE(frame);
        const int x = Column(frame);
        // Below the plot's outline: the third dash, the gap after it, the fourth.
        const int dash = top + 2 * 2 * TMarkerLines::Dash;
        EXPECT_EQ(shown.pixel(x, dash), TMarkerLines::EventColour);
        EXPECT_NE(shown.pixel(x, dash + TMarkerLines::Dash), TMarkerLines::EventColour)
            << "dashed";
        EXPECT_EQ(shown.pixel(x, dash + 2 * TMarkerLines::Dash), TMarkerLines::EventColour);
        EXPECT_NE(shown.pixel(x + 5, top + 3), TMarkerLines::LineColour) << "no number";
    }
    EXPECT_TRUE(DrawnAt(Column(200))) << "the user's marker as before";

    const auto named = [&](int x) {
        std::vector<std::string> texts;
        for (const TReadoutLine& line : window_.ChartMarkers->ReadoutLinesAt(x))
            texts.push_back(line.Text.toStdString());
        return texts;
    };
    EXPECT_EQ(named(Column(99)), std::vector<std::string>{"Порт потерян"});
    EXPECT_EQ(named(Column(149) + TChartMarkers::NearPixels),
              std::vector<std::string>{"Порт снова доступен"});
    EXPECT_EQ(named(Column(200) - 2), std::vector<std::string>{"Метка 1: детонация"});
    EXPECT_TRUE(named(Column(120)).empty());
}

// As root, who may write anywhere, the folder is made unwritable to the user the test then
// acts as, for as long as it sets its markers.
TEST_F(MarkingARecording, InAFolderThatCannotBeWrittenMarkersStayForTheSessionAndSaySo) {
    ASSERT_EQ(::chmod(recording_.c_str(), 0644), 0);
    {
        const TUnwritableFolder unwritable(dir_);
        ASSERT_EQ(unwritable.Acting(), unwritable.AsRoot());
        Mark(150, "пропуск", Qt::Key_Return);
        Mark(160, "", Qt::Key_Return);
    }

    EXPECT_EQ(Listed(), (std::vector<std::pair<int, std::string>>{{1, "пропуск"}, {2, ""}}));
    EXPECT_TRUE(DrawnAt(Column(150)));
    EXPECT_EQ(window_.lblLinkStatus->text().toStdString(),
              "Метки не сохранены: в папку записи нельзя писать. "
              "Они останутся на графике, пока запись открыта.");
    EXPECT_FALSE(fs::exists(telemetry::CompanionPath(recording_.string())));

    Reopen();
    EXPECT_TRUE(Listed().empty());
    EXPECT_FALSE(DrawnAt(Column(150)));
}

TEST_F(ExportingTheChart, AFailedWriteLeavesNoFileAndKeepsTheOldOne) {
    const fs::path kept = dir_ / "kept.csv";
    std::ofstream(kept) << "earlier";
    struct rlimit before {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = before;
    small.rlim_cur = 4000; // the header and a few dozen frames, then the disk is "full"
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto failedCsv = Export(window_.ChartExport->ExportCsv, dir_ / "new.csv");
    const auto failedOver = Export(window_.ChartExport->ExportCsv, kept);
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(failedCsv, "Ошибка записи файла.");
    EXPECT_EQ(failedOver, "Ошибка записи файла.");
    EXPECT_EQ(Files(), std::set<fs::path>{kept}) << "no file and no temporary left";
    std::ifstream in(kept);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "earlier");

    EXPECT_EQ(Export(window_.ChartExport->SavePicture, dir_ / "missing" / "chart.png"),
              "Ошибка записи файла.");
    EXPECT_EQ(Files(), std::set<fs::path>{kept});
}

TEST_F(ExportingTheChart, MenuComesUpOnARightClickThatDoesNotScroll) {
    const QPoint p(Column(150), MidRow());
    Mouse(QEvent::MouseButtonPress, p, Qt::RightButton, Qt::RightButton);
    Mouse(QEvent::MouseMove, p + QPoint(30, 0), Qt::NoButton, Qt::RightButton);
    Mouse(QEvent::MouseButtonRelease, p + QPoint(30, 0), Qt::RightButton);
    EXPECT_FALSE(window_.ChartExport->Menu->isVisible()) << "a drag scrolls";
    EXPECT_TRUE(chart().BottomAxis().Minimum() != 0 || !chart().BottomAxis().Automatic());

    Mouse(QEvent::MouseButtonPress, p, Qt::RightButton, Qt::RightButton);
    Mouse(QEvent::MouseButtonRelease, p, Qt::RightButton);
    ASSERT_TRUE(window_.ChartExport->Menu->isVisible());
    QStringList texts;
    for (const QAction* action : window_.ChartExport->Menu->actions())
        texts << action->text() + " " + action->shortcut().toString();
    EXPECT_EQ(texts, (QStringList{
                         "Сохранить изображение графика… Ctrl+S", "Экспорт в CSV… Ctrl+E",
                         "Экспорт в CSV с записью для сравнения… Ctrl+Shift+E", " ",
                         "Ось времени Ctrl+T", "Поставить метку M", "Метки… Ctrl+M", " ",
                         "Сравнить с записью… Ctrl+Shift+O", "Совместить с выбранным кадром ",
                         "Сбросить сдвиг записи для сравнения ", "Закрыть запись для сравнения "}));
    window_.ChartExport->Menu->close();
}

TEST_F(ExportingTheChart, ShortcutsAskForTheFileWhereverTheFocusIs) {
    QApplication::setActiveWindow(&window_);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
    dialogs_.answer.reset();
    for (QWidget* focus :
         {static_cast<QWidget*>(window_.edtPortNumber), static_cast<QWidget*>(&chart())}) {
        focus->setFocus();
        QTest::keyClick(focus, Qt::Key_S, Qt::ControlModifier);
        EXPECT_EQ(dialogs_.shownFilter, "Изображение PNG *.png|*.png|");
        QTest::keyClick(focus, Qt::Key_E, Qt::ControlModifier);
        EXPECT_EQ(dialogs_.shownFilter, "Таблица CSV *.csv|*.csv|");
    }
    EXPECT_EQ(Files(), std::set<fs::path>{}) << "a cancelled dialog writes nothing";
}

} // namespace
