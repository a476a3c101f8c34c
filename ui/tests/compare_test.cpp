#include "telemetry/RecordingWalk.h"
#include "tools/dcc/RecordingScan.h"
#include "tools/sim/Simulator.h"
#include "ui/analysis/AnalysisPage.h"
#include "ui/analysis/TableView.h"
#include "ui/reading/ChartExport.h"
#include "ui/reading/ChartReadout.h"
#include "ui/reading/ChosenFrame.h"
#include "ui/reading/CompareShift.h"
#include "ui/reading/ComparedRecording.h"
#include "ui/tests/AnsweredDialogs.h"
#include "ui/tests/ModalAnswer.h"
#include "ui/window/TelemetryChart.h"
#include "ui/window/UprZagig.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using telemetry::TDecodedFrame;

constexpr std::int64_t Most = std::numeric_limits<std::int64_t>::max();

TEST(CompareShift, TheAxisSpansBothRecordings) {
    const auto both =
        compare::Union(compare::TFrames{0, 299}, compare::OnA(compare::TFrames{0, 999}, {-900}));
    ASSERT_TRUE(both);
    EXPECT_EQ(both->First, -900);
    EXPECT_EQ(both->Last, 299);
    EXPECT_FALSE(compare::Union(std::nullopt, std::nullopt));
}

TEST(CompareShift, DragMovesByTheWholeFramesDraggedOver) {
    EXPECT_EQ(compare::DraggedShift(10, 100.0, 160.4), 70);
    EXPECT_EQ(compare::DraggedShift(10, 160.0, 99.4), -51) << "to the nearest frame";
    EXPECT_EQ(compare::DraggedShift(10, 5.0, 5.0), 10);
    EXPECT_EQ(compare::DraggedShift(Most - 5, 0.0, 1e30), Most) << "saturates";
    EXPECT_EQ(compare::DraggedShift(3, 0.0, std::nan("")), 3);
}

std::vector<TDecodedFrame> WriteRecording(const fs::path& path, std::uint64_t seed, int frames) {
    const std::vector<std::uint8_t> bytes = sim::GenerateRecording(seed, frames, false);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    std::vector<TDecodedFrame> decoded;
    TRecordingScan scan([&](const TDecodedFrame& f) { decoded.push_back(f); });
    scan.Feed(bytes);
    return decoded;
}

std::optional<double> Quantity(const TDecodedFrame& f, int series) {
    switch (series) {
    case telemetry::SeriesSpeed:
        return f.Period ? std::optional(telemetry::EngineSpeed(f.Period)) : std::nullopt;
    case telemetry::SeriesMap:
        return f.Map;
    case telemetry::SeriesCurve:
        return f.CurveNumber;
    case telemetry::SeriesTemperature:
        return f.Temperature;
    case telemetry::SeriesOctane:
        return f.OctaneCorrector;
    default:
        return telemetry::AdvanceDegrees(f.AdvanceCode);
    }
}

// Recording A (300 frames) viewed in the window, and B (200 frames of another drive) at hand.
class ComparingRecordings : public ::testing::Test {
protected:
    static constexpr int FramesA = 300;
    static constexpr int FramesB = 200;

    void SetUp() override {
        const std::string stem = "telmira-compare-" + std::to_string(::getpid());
        pathA_ = fs::temp_directory_path() / (stem + "-a.dcc");
        pathB_ = fs::temp_directory_path() / (stem + "-b.dcc");
        a_ = WriteRecording(pathA_, 7, FramesA);
        b_ = WriteRecording(pathB_, 23, FramesB);
        window_.show();
        window_.OpenRecording(QString::fromStdString(pathA_.string()));
        ASSERT_EQ(chart().Series(telemetry::SeriesAdvance).Count(), std::size_t(FramesA));
    }
    void TearDown() override {
        fs::remove(pathA_);
        fs::remove(pathB_);
        fs::remove(csv_);
    }

    TChart& chart() { return *window_.Chart1; }
    TComparedRecording& compared() { return *window_.ComparedRecording; }
    // B opened as the user opens it: the shortcut's action, the dialog answered.
    void OpenB() {
        dialogs_.answer = QString::fromStdString(pathB_.string());
        compared().Compare->trigger();
        ASSERT_TRUE(compared().IsOpen());
    }
    int Column(double x) { return chart().BottomAxis().Map().ToPixel(x); }
    int MidRow() { return (chart().PlotRect().Top + chart().PlotRect().Bottom) / 2; }
    void Mouse(QEvent::Type type, QPoint p, Qt::MouseButton button, Qt::MouseButtons held,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QMouseEvent event(type, QPointF(p), chart().mapToGlobal(QPointF(p)), button, held,
                          modifiers);
        QApplication::sendEvent(&chart(), &event);
    }
    void Drag(QPoint from, QPoint to, Qt::KeyboardModifiers modifiers) {
        Mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton, modifiers);
        Mouse(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton, modifiers);
        Mouse(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton, modifiers);
    }
    // The chart page as it reaches the screen, with the switches and the strips over it.
    QImage Page() {
        chart().Draw();
        // No readout in the way.
        Mouse(QEvent::MouseMove, {chart().PlotRect().Left - 3, MidRow()}, Qt::NoButton,
              Qt::NoButton);
        return window_.TabSheet1->grab().toImage();
    }
    // The analysis page's plot as it reaches the screen, once its axes have settled: the first
    // drawing at a new size places them by the size before.
    QImage Plot() {
        window_.PageControl1->setCurrentWidget(window_.TabSheet3);
        (void)window_.TabSheet3->Picture();
        return window_.TabSheet3->Picture();
    }
    int PixelsOf(const QImage& image, TColor colour) {
        int n = 0;
        const QRgb rgb = chart::ToRgb(colour);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                n += image.pixel(x, y) == rgb;
        return n;
    }

    fs::path pathA_, pathB_, csv_;
    std::vector<TDecodedFrame> a_, b_;
    telemetry::TLatestValues values_;
    TAnsweredDialogs dialogs_;
    TfrmUprZagig window_{values_, dialogs_};
};

TEST_F(ComparingRecordings, BOpensBesideAWithoutDisturbingItAndClosesWithoutATrace) {
    // Unzoomed, B shifted past A's end widens the axis while it is open.
    const QImage whole = Page();
    OpenB();
    compared().SetShift(250);
    chart().Draw();
    EXPECT_GT(chart().BottomAxis().Maximum(), FramesA + 100);
    compared().CloseCompared();
    EXPECT_EQ(Page(), whole) << "the whole of A again, exactly";

    // A zoomed to frames 50 to 250, frame 120 chosen.
    Drag({Column(50), chart().PlotRect().Top + 10}, {Column(250), chart().PlotRect().Bottom - 10},
         Qt::NoModifier);
    ASSERT_TRUE(chart().Zoomed());
    Mouse(QEvent::MouseButtonPress, {Column(120), MidRow()}, Qt::LeftButton, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, {Column(120), MidRow()}, Qt::LeftButton, Qt::NoButton);
    ASSERT_EQ(window_.ChosenFrame->Frame(), 120);
    const double from = chart().BottomAxis().Minimum(), to = chart().BottomAxis().Maximum();
    const QString status = window_.lblLinkStatus->text();
    const QImage single = Page();
    // The speed's colours show nowhere else on the page.
    const TColor speed = telemetry::PlotColours[telemetry::SeriesSpeed];
    const int speedOfA = PixelsOf(single, speed);
    ASSERT_GT(speedOfA, 100);
    ASSERT_EQ(PixelsOf(single, ComparedColour(speed)), 0);

    OpenB();
    EXPECT_EQ(chart().BottomAxis().Minimum(), from) << "A's zoom stays";
    EXPECT_EQ(chart().BottomAxis().Maximum(), to);
    EXPECT_EQ(window_.ChosenFrame->Frame(), 120) << "A's chosen frame stays";
    EXPECT_EQ(window_.lblLinkStatus->text(), status) << "the status line still speaks of A";
    EXPECT_EQ(values_.FrameCounter, std::uint32_t(FramesA)) << "B's decoder is its own";
    EXPECT_TRUE(compared().Strip->isVisible());
    EXPECT_EQ(
        compared().Strip->text().toStdString(),
        ComparedStripText(QString::fromStdString(pathB_.filename().string()), 0).toStdString());
    const QImage both = Page();
    EXPECT_GT(PixelsOf(both, ComparedColour(speed)), 50) << "B's speed, lighter";
    EXPECT_EQ(PixelsOf(both, speed), speedOfA) << "A's line is drawn over B's";

    // The switches act on both recordings.
    QTest::mouseClick(window_.chkoborot, Qt::LeftButton);
    const QImage switchedOff = Page();
    EXPECT_EQ(PixelsOf(switchedOff, ComparedColour(speed)), 0);
    EXPECT_EQ(PixelsOf(switchedOff, speed), 0);
    QTest::mouseClick(window_.chkoborot, Qt::LeftButton);

    compared().SetShift(-37);
    compared().Close->trigger();
    EXPECT_FALSE(compared().IsOpen());
    EXPECT_EQ(Page(), single) << "the picture without B, exactly";
    EXPECT_EQ(chart().SeriesCount(), 9);
}

TEST_F(ComparingRecordings, ReadoutGivesBothRecordingsAndTheirDifference) {
    OpenB();
    const std::array<QString, 6> captions = {"a", "b", "c", "d", "e", "f"};
    for (const std::int64_t shift : {0, 60, -45}) {
        compared().SetShift(shift);
        for (std::int64_t k = -50; k < FramesA + 80; k += 7) {
            const auto lines =
                ReadoutLines(chart(), window_.Frames(), k, captions, compared().Where());
            ASSERT_EQ(lines.size(), 14u);
            const std::int64_t j = k - shift;
            const bool inA = k >= 0 && k < FramesA, inB = j >= 0 && j < FramesB;
            EXPECT_EQ(lines[1].Text.toStdString(),
                      inB ? "    сравнение: кадр " + std::to_string(j) : "    сравнение: —");
            for (int s = 0; s < 6; ++s) {
                const TReadoutLine& lineA = lines[2 + 2 * s];
                const TReadoutLine& lineB = lines[3 + 2 * s];
                const auto valueA = inA ? Quantity(a_[k], s) : std::nullopt;
                const auto valueB = inB ? Quantity(b_[j], s) : std::nullopt;
                ASSERT_EQ(lineA.Value, valueA) << "shift " << shift << " frame " << k;
                ASSERT_EQ(lineB.Value, valueB) << "shift " << shift << " frame " << k;
                EXPECT_TRUE(lineB.Compared);
                EXPECT_EQ(lineB.Colour, ComparedColour(telemetry::PlotColours[s]));
                if (valueA && valueB)
                    EXPECT_EQ(lineB.Difference, *valueA - *valueB);
                else
                    EXPECT_EQ(lineB.Difference, std::nullopt);
            }
        }
    }
    // One line in full: the advance, with its unit and the difference's sign.
    compared().SetShift(0);
    const TDecodedFrame& fa = a_[10];
    const TDecodedFrame& fb = b_[10];
    const double da = telemetry::AdvanceDegrees(fa.AdvanceCode);
    const double db = telemetry::AdvanceDegrees(fb.AdvanceCode);
    const auto text = [](double v) { return QString::number(v, 'f', 2).replace('.', ','); };
    const QString expected = "    сравнение: " + text(db) + "°, разница " +
                             (da - db > 0 ? "+" : "") + text(da - db) + "°";
    EXPECT_EQ(ReadoutLines(chart(), window_.Frames(), 10, captions, compared().Where())[13]
                  .Text.toStdString(),
              expected.toStdString());
}

TEST_F(ComparingRecordings, BIsShiftedByAnAltDragOrByAligningFrames) {
    OpenB();
    const chart::TAxisMap& map = chart().BottomAxis().Map();
    const QPoint from(Column(100), MidRow()), to(Column(100) + 80, MidRow());
    const double from0 = map.ToValue(from.x()), to0 = map.ToValue(to.x());
    Drag(from, to, Qt::AltModifier);
    EXPECT_EQ(compared().Shift(), std::llround(to0 - from0));
    EXPECT_FALSE(chart().Zoomed()) << "an Alt drag does not zoom";
    EXPECT_EQ(window_.ChosenFrame->Frame(), std::nullopt) << "nor choose a frame";
    EXPECT_NE(
        compared().Strip->text().indexOf("сдвиг кадров: +" + QString::number(compared().Shift())),
        -1);
    Drag(to, from, Qt::AltModifier);
    EXPECT_EQ(compared().Shift(), 0) << "dragged back";

    // A's frame 150 chosen; B's frame 40 put under it.
    Mouse(QEvent::MouseButtonPress, {Column(150), MidRow()}, Qt::LeftButton, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, {Column(150), MidRow()}, Qt::LeftButton, Qt::NoButton);
    ASSERT_EQ(window_.ChosenFrame->Frame(), 150);
    compared().AlignChosenFrameWith(40);
    EXPECT_EQ(compared().Shift(), 110);
    EXPECT_EQ(compared().Where()->Frames->Frame(40), std::optional(b_[40]));
    const auto lines = ReadoutLines(chart(), window_.Frames(), 150,
                                    window_.ChartReadout->Captions(), compared().Where());
    EXPECT_EQ(lines[1].Text.toStdString(), "    сравнение: кадр 40");
    compared().ResetShift->trigger();
    EXPECT_EQ(compared().Shift(), 0);
}

TEST_F(ComparingRecordings, CsvCarriesBsColumnsAlignedByTheShift) {
    OpenB();
    compared().SetShift(250); // B covers A's frames 250 to 449: past A's end
    chart().Draw();
    csv_ = fs::temp_directory_path() / ("telmira-compare-" + std::to_string(::getpid()) + ".csv");
    WriteVisibleFramesCsv(chart(), window_.Frames(), *compared().Where(),
                          QString::fromStdString(csv_.string()));
    std::ifstream in(csv_);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "frame,period,rpm,map,curve,temperature,octane,advance_code,advance,"
                    "b_frame,b_period,b_rpm,b_map,b_curve,b_temperature,b_octane,"
                    "b_advance_code,b_advance");
    std::vector<std::string> lines;
    while (std::getline(in, line))
        lines.push_back(line + "\n");
    ASSERT_EQ(lines.size(), std::size_t(250 + FramesB));
    const std::string none(8, ',');
    for (std::int64_t k = 0; k < 450; ++k) {
        std::string a = none, b = none;
        if (k < FramesA) {
            a.clear();
            telemetry::AppendCsvLine(a, a_[k]);
            a.pop_back();
        }
        if (k >= 250) {
            b.clear();
            telemetry::AppendCsvLine(b, b_[k - 250]);
            b.pop_back();
        }
        ASSERT_EQ(lines[k], a + "," + b + "\n") << "at " << k;
    }
}

TEST_F(ComparingRecordings, TheRecordingBeingRecordedCannotBeB) {
    compared().SetRecordedFile(QString::fromStdString(pathB_.string()));
    std::optional<QString> shown;
    TModalAnswer answer([&](QWidget& modal) {
        auto& box = static_cast<QMessageBox&>(modal);
        shown = box.text();
        box.buttons().first()->click();
    });
    dialogs_.answer = QString::fromStdString(pathB_.string());
    compared().Compare->trigger();
    EXPECT_FALSE(compared().IsOpen());
    ASSERT_TRUE(shown);
    EXPECT_NE(shown->indexOf(ComparedBeingRecorded), -1);
    EXPECT_EQ(chart().SeriesCount(), 9);
}

// B's frames on the analysis page's plot: magenta, a hue none of A's shades take.
int ComparedPixels(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = QColor::fromRgb(image.pixel(x, y));
            n += c.hsvHue() >= 290 && c.hsvHue() <= 320 && c.hsvSaturation() > 60;
        }
    return n;
}

TEST_F(ComparingRecordings, AnalysisPlotDrawsBInItsColourWithinTheChartsRangeByTheShift) {
    TAnalysisPage& page = *window_.TabSheet3;
    const QImage single = Plot();
    ASSERT_EQ(ComparedPixels(single), 0);

    OpenB();
    EXPECT_GT(ComparedPixels(Plot()), 100) << "all of B's frames";
    EXPECT_TRUE(page.lblCompared->isVisible());
    compared().SetShift(-37);
    compared().Close->trigger();
    EXPECT_EQ(Plot(), single) << "the picture without B, exactly";

    // Limited to A's frames 100 to 199, which B's frames 0 to 99 stand at when shifted by 100.
    window_.PageControl1->setCurrentIndex(0);
    Drag({Column(100), chart().PlotRect().Top + 10}, {Column(199), chart().PlotRect().Bottom - 10},
         Qt::NoModifier);
    page.chkChartRange->setChecked(true);
    const analysis::TFrameFilter limited = page.Table->Table()->Layout().Filter;
    ASSERT_GE(limited.Frames.First, 95);
    ASSERT_LE(limited.Frames.End, 205);
    const QImage zoomedSingle = Plot();
    OpenB();
    compared().SetShift(FramesA);
    EXPECT_EQ(ComparedPixels(Plot()), 0) << "B past A's end, out of the range";
    compared().SetShift(100);
    const int inRange = ComparedPixels(Plot());
    EXPECT_GT(inRange, 20);
    page.chkChartRange->setChecked(false);
    EXPECT_GT(ComparedPixels(Plot()), inRange) << "all of B's frames again";
    page.chkChartRange->setChecked(true);
    compared().CloseCompared();
    EXPECT_EQ(Plot(), zoomedSingle);
}

TEST_F(ComparingRecordings, TableShowsABOrTheirDifferenceByTheRecordingToolsRule) {
    TAnalysisPage& page = *window_.TabSheet3;
    window_.PageControl1->setCurrentWidget(&page);
    page.cmbView->setCurrentIndex(1);
    TTableView& table = *page.Table;
    EXPECT_FALSE(table.cmbCompared->isVisible()) << "nothing to compare yet";
    // Rows over the speeds both drives reach, so that they share many cells.
    double slowest = 1e9, fastest = 0;
    for (const auto* frames : {&a_, &b_})
        for (const TDecodedFrame& f : *frames)
            if (f.Period) {
                slowest = std::min(slowest, telemetry::EngineSpeed(f.Period));
                fastest = std::max(fastest, telemetry::EngineSpeed(f.Period));
            }
    const std::string speedBins = std::to_string(int(slowest)) + ":" +
                                  std::to_string(int(fastest) + 1) + ":" +
                                  std::to_string(std::max(1, int(fastest - slowest) / 10));
    table.edtSpeedBins->setText(QString::fromStdString(speedBins));
    emit table.edtSpeedBins->editingFinished();
    table.spnMapBins->setValue(4);
    OpenB();
    ASSERT_TRUE(table.cmbCompared->isVisible());

    FILE* pipe = ::popen((std::string(TELMIRA_BIN_DIR) + "/telmira-dcc table " + pathA_.string() +
                          " --speed-bins " + speedBins + " --map-bins 4 --minus " + pathB_.string())
                             .c_str(),
                         "r");
    ASSERT_NE(pipe, nullptr);
    std::string tool;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe))
        tool += buffer;
    ASSERT_EQ(::pclose(pipe), 0);

    table.cmbCompared->setCurrentIndex(2);
    csv_ = fs::temp_directory_path() / ("telmira-compare-" + std::to_string(::getpid()) + ".csv");
    table.WriteCsv(QString::fromStdString(csv_.string()));
    std::ifstream in(csv_);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), tool);

    // The cells on screen, rows then columns: the values of the tool's lines in their order,
    // and empty wherever either recording has no frame.
    std::vector<double> listed;
    std::istringstream lines(tool);
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line))
        listed.push_back(std::stod(line.substr(line.rfind(',') + 1)));
    ASSERT_GE(listed.size(), 3u) << tool;
    std::vector<double> shown;
    int oneOnly = 0;
    for (int r = 0; r < table.Table()->Rows(); ++r)
        for (int c = 0; c < table.Table()->Columns(); ++c) {
            const std::optional<double> value = table.Grid->Value(r, c);
            if (value)
                shown.push_back(*value);
            oneOnly += !value &&
                       (table.Table()->Frames(r, c) > 0 || table.ComparedTable()->Frames(r, c) > 0);
        }
    EXPECT_EQ(shown, listed);
    EXPECT_GT(oneOnly, 0) << "cells of one recording only are left empty";
    ASSERT_TRUE(table.Grid->Extent());
    EXPECT_EQ(table.Grid->Extent()->first, -table.Grid->Extent()->second) << "shaded about 0";

    // B's own table, and B's frames of a cell where they stand on A's axis.
    table.cmbCompared->setCurrentIndex(1);
    compared().SetShift(120);
    const auto [row, column] = [&] {
        for (int r = 0; r < table.Table()->Rows(); ++r)
            for (int c = 0; c < table.Table()->Columns(); ++c)
                if (table.ComparedTable()->Frames(r, c) > 20)
                    return std::pair(r, c);
        return std::pair(-1, -1);
    }();
    ASSERT_GE(row, 0);
    EXPECT_EQ(table.Grid->Value(row, column),
              table.ComparedTable()->Value(row, column, analysis::TStatistic::Mean));
    const std::vector<std::int64_t> frames = table.CellFrames(row, column);
    const analysis::TTableLayout& bins = table.Table()->Layout();
    ASSERT_FALSE(frames.empty());
    for (const std::int64_t k : frames) {
        ASSERT_GE(k, 120);
        ASSERT_LT(k, FramesA);
        const TDecodedFrame& f = b_[static_cast<std::size_t>(k - 120)];
        ASSERT_TRUE(f.Period);
        const double rpm = telemetry::EngineSpeed(f.Period);
        EXPECT_GE(rpm, bins.Speed.Lower(row));
        EXPECT_LT(rpm, bins.Speed.Upper(row));
        EXPECT_EQ(bins.Map.BinOf(f.Map), column);
    }

    compared().CloseCompared();
    EXPECT_FALSE(table.cmbCompared->isVisible());
    EXPECT_EQ(table.Grid->Value(row, column),
              table.Table()->Value(row, column, analysis::TStatistic::Mean))
        << "A's table again";
}

// A recording several stretches of the walk long.
std::vector<std::uint8_t> LongRecording() {
    return sim::GenerateRecording(3, 466034, false);
}

TEST_F(ComparingRecordings, EscapeWhileOpeningBLeavesNoBAndAAsItWas) {
    const auto bytes = LongRecording();
    std::ofstream(pathB_, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    Drag({Column(50), chart().PlotRect().Top + 10}, {Column(250), chart().PlotRect().Bottom - 10},
         Qt::NoModifier);
    const QImage plotBefore = Plot();
    window_.PageControl1->setCurrentIndex(0);
    const QImage chartBefore = Page();
    const QString status = window_.lblLinkStatus->text();
    // Pressed once the walk has begun: the key waits among the window's events.
    QCoreApplication::postEvent(&chart(),
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    dialogs_.answer = QString::fromStdString(pathB_.string());
    compared().Compare->trigger();

    EXPECT_FALSE(compared().IsOpen());
    EXPECT_EQ(chart().SeriesCount(), 9);
    EXPECT_FALSE(compared().Strip->isVisible());
    EXPECT_EQ(window_.lblLinkStatus->text(), status);
    EXPECT_EQ(Page(), chartBefore);
    EXPECT_EQ(Plot(), plotBefore);
    EXPECT_FALSE(window_.TabSheet3->Table->cmbCompared->isVisible());
}

TEST_F(ComparingRecordings, BCutShortWhileReadKeepsWhatWasReadAndSaysSo) {
    const auto bytes = LongRecording();
    std::ofstream(pathB_, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    Drag({Column(50), chart().PlotRect().Top + 10}, {Column(250), chart().PlotRect().Bottom - 10},
         Qt::NoModifier);
    const double from = chart().BottomAxis().Minimum(), to = chart().BottomAxis().Maximum();
    const QString status = window_.lblLinkStatus->text();
    // Another program cuts the file once the first stretch is read.
    const off_t cut = telemetry::walk::StretchSize + 100;
    QTimer::singleShot(0, [&] { ASSERT_EQ(::truncate(pathB_.c_str(), cut), 0); });
    std::optional<QString> shown;
    TModalAnswer answer([&](QWidget& modal) {
        auto& box = static_cast<QMessageBox&>(modal);
        shown = box.text();
        box.buttons().first()->click();
    });
    dialogs_.answer = QString::fromStdString(pathB_.string());
    compared().Compare->trigger();

    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->toStdString(), "Невозможно просмотреть файл.");
    ASSERT_TRUE(compared().IsOpen());
    EXPECT_EQ(compared().Where()->Frames->Rows(), cut / telemetry::FrameSize);
    EXPECT_EQ(chart().BottomAxis().Minimum(), from) << "A's zoom stays";
    EXPECT_EQ(chart().BottomAxis().Maximum(), to);
    EXPECT_EQ(window_.lblLinkStatus->text(), status);
    EXPECT_EQ(values_.FrameCounter, std::uint32_t(FramesA));
    EXPECT_GT(ComparedPixels(Plot()), 0) << "what was read is B on the analysis page too";
}

} // namespace
