// The "Анализ" page as the user sees it: frames drawn where their values put them and gone
// when a filter leaves them out, the band's counts against a plain count, curve files that
// are refused without changing anything, and a click that chooses the nearest drawn frame.

#include "tools/sim/Simulator.h"
#include "ui/analysis/AnalysisPage.h"
#include "ui/reading/ChartReadout.h"
#include "ui/reading/ChosenFrame.h"
#include "ui/tests/AnsweredDialogs.h"
#include "ui/tests/ModalAnswer.h"
#include "ui/window/TelemetryChart.h"
#include "widgets/chart/Chart.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <vector>

namespace {

using analysis::TCurveBand;

// Whether a pixel shows frames: neither the white wall nor the grey of the grid's dots.
bool Drawn(QRgb pixel) {
    return pixel != 0xFFFFFFFF && pixel != 0xFF808080;
}

// Frames in groups at known places: A (curve 1, 3000 об/мин, 23.2°) and B (curve 2,
// 5000 об/мин, 16.2°) taking turns from frame 0, D (curve 2 just above A), C (one frame of
// curve 1 at 4000 об/мин), and a frame with no engine speed.
struct TGroup {
    sim::TFrameFields Fields;
    double Rpm;
};
const TGroup A{{9216, 50, 1, 80, 0, 100}, 3000};
const TGroup B{{5530, 120, 2, 60, 0, 60}, 27648000.0 / 5530};
const TGroup C{{6912, 200, 1, 90, 0, 130}, 4000};
const TGroup D{{9216, 70, 2, 75, 0, 102}, 3000};

double Degrees(const TGroup& g) {
    return telemetry::AdvanceDegrees(g.Fields.AdvanceCode);
}

class AnalysisPageTest : public ::testing::Test {
protected:
    AnalysisPageTest() {
        std::vector<std::uint8_t> bytes;
        auto add = [&](const sim::TFrameFields& f) {
            const auto frame = sim::EncodeFrame(f);
            bytes.insert(bytes.end(), frame.begin(), frame.end());
        };
        for (int i = 0; i < 40; ++i) {
            add(A.Fields);
            add(B.Fields);
        }
        for (int i = 0; i < 5; ++i)
            add(D.Fields);
        add(C.Fields);
        add({0, 10, 1, 80, 0, 90});
        ConfigureTelemetryChart(chart);
        TChartPlot plot(chart);
        telemetry::TLatestValues values{};
        std::uint8_t state = 0;
        telemetry::DecodeBlock(bytes, telemetry::DecodeMode::Replay, state, values, &plot, &frames);
        chosen.SetEnabled(true);
        page.resize(1001, 473);
        page.show();
        QApplication::processEvents();
    }

    // The pixel of a place on the plot as drawn now.
    QPoint At(double rpm, double degrees) {
        page.Plot->Draw();
        return {page.Plot->BottomAxis().Map().ToPixel(rpm),
                page.Plot->LeftAxis().Map().ToPixel(degrees)};
    }
    QRgb PixelAt(double rpm, double degrees) {
        const QPoint p = At(rpm, degrees);
        return page.Plot->Draw().pixel(p);
    }
    QRgb PixelOf(const TGroup& g) { return PixelAt(g.Rpm, Degrees(g)); }

    void TypeCurves(const QString& text) {
        page.edtCurves->setText(text);
        emit page.edtCurves->editingFinished();
    }

    void Click(QPoint p) {
        for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent event(type, QPointF(p), page.Plot->mapToGlobal(QPointF(p)), Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                              Qt::NoModifier);
            QApplication::sendEvent(page.Plot, &event);
        }
    }

    telemetry::TFrameTable frames;
    TChart chart;
    TChartReadout readout{chart, frames, {"1", "2", "3", "4", "5", "6"}};
    TChosenFrame chosen{chart, frames, readout};
    TAnsweredDialogs dialogs;
    TAnalysisPage page{frames, chart, chosen, dialogs};
};

TEST_F(AnalysisPageTest, FramesReachTheScreenWhereTheirValuesAreAndFiltersTakeThemAway) {
    ASSERT_EQ(frames.Rows(), 87);
    EXPECT_TRUE(Drawn(PixelOf(A)));
    EXPECT_TRUE(Drawn(PixelOf(B)));
    EXPECT_TRUE(Drawn(PixelOf(C)));
    EXPECT_FALSE(Drawn(PixelAt(3700, Degrees(A)))) << "no frame there";
    EXPECT_NE(PixelOf(A), PixelOf(B)) << "coloured by ДАД, which differs";

    page.cmbColour->setCurrentIndex(page.cmbColour->count() - 1); // "Нет"
    EXPECT_EQ(PixelOf(A), PixelOf(B)) << "the same count on each: the same shade";
    EXPECT_NE(PixelOf(A), PixelOf(C)) << "one frame shows lighter than forty";

    TypeCurves("2");
    EXPECT_FALSE(Drawn(PixelOf(A)));
    EXPECT_TRUE(Drawn(PixelOf(B)));
    EXPECT_FALSE(Drawn(PixelOf(C)));
    EXPECT_FALSE(page.lblFilterError->isVisible());

    TypeCurves("1, 2-x");
    EXPECT_TRUE(page.lblFilterError->isVisible());
    EXPECT_FALSE(Drawn(PixelOf(A))) << "a wrong list keeps the curves before it";

    TypeCurves("все");
    EXPECT_TRUE(Drawn(PixelOf(A)));
    page.cmbRange->setCurrentIndex(page.cmbRange->findText("Температура"));
    page.edtRangeFrom->setText("70");
    emit page.edtRangeFrom->editingFinished();
    EXPECT_TRUE(Drawn(PixelOf(A)));
    EXPECT_FALSE(Drawn(PixelOf(B))) << "60 degrees is below the range";
    EXPECT_TRUE(Drawn(PixelOf(C)));

    // Advance against MAP instead: the same frames elsewhere.
    page.cmbRange->setCurrentIndex(0);
    page.cmbX->setCurrentIndex(page.cmbX->findText("ДАД"));
    EXPECT_TRUE(Drawn(PixelAt(A.Fields.Map, Degrees(A))));
    EXPECT_FALSE(Drawn(PixelAt(D.Fields.Map + 20, Degrees(A))));
}

// The band by the stated rules, frame by frame.
std::vector<TCurveBand> PlainBand(const telemetry::TFrameTable& frames, double fromRpm,
                                  double fromDegrees, double toRpm, double toDegrees,
                                  double tolerance) {
    TCurveBand band{1, 0, 0};
    for (std::int64_t k = 0; k < frames.Rows(); ++k) {
        const telemetry::TDecodedFrame f = *frames.Frame(k);
        if (f.Period == 0 || f.CurveNumber != 1)
            continue;
        const double rpm = 27648000.0 / f.Period;
        const double expected =
            rpm <= fromRpm ? fromDegrees
            : rpm >= toRpm
                ? toDegrees
                : fromDegrees + (toDegrees - fromDegrees) * (rpm - fromRpm) / (toRpm - fromRpm);
        ++band.Frames;
        band.Outside += std::fabs(f.AdvanceCode * 0.17578125 + 5.625 - expected) > tolerance;
    }
    return {band};
}

TEST_F(AnalysisPageTest, TheBandCountsAndTheCurveFollowTheCurvesAndTheTolerance) {
    EXPECT_TRUE(page.BandCounts().empty());
    analysis::TExpectedCurves curves;
    curves.SetCurve(1, {{5000, 26}, {2000, 20}});
    page.SetCurves(curves);
    EXPECT_EQ(page.BandCounts(), PlainBand(frames, 2000, 20, 5000, 26, 1));
    EXPECT_EQ(page.BandCounts().at(0).Outside, 41);
    page.spnTolerance->setValue(1.5);
    EXPECT_EQ(page.BandCounts(), PlainBand(frames, 2000, 20, 5000, 26, 1.5));
    EXPECT_EQ(page.BandCounts().at(0).Outside, 1) << "only C lies outside 1.5°";
    EXPECT_TRUE(page.lblBand->text().contains("Кривая 1: 1 из 41"))
        << page.lblBand->text().toStdString();
    // The counts are a Russian sentence whatever the system's language: a decimal comma, as in
    // the table's cells and the readout, never "1.5" beside "28,27".
    const QLocale system;
    QLocale::setDefault(QLocale::c());
    page.spnTolerance->setValue(1.25);
    QLocale::setDefault(system);
    EXPECT_TRUE(page.lblBand->text().startsWith("Вне полосы ±1,25°:"))
        << page.lblBand->text().toStdString();
    EXPECT_TRUE(page.lblBand->text().contains(QRegularExpression(R"(\(\d+,\d %\))")))
        << page.lblBand->text().toStdString();
    page.spnTolerance->setValue(1.5);

    // The curve's line through its expected advance, in its colour.
    page.Plot->Draw();
    const TChartAxis& x = page.Plot->BottomAxis();
    const int column = x.Map().ToPixel(3500);
    const double expected = *curves.Expected(1, x.Map().ToValue(column));
    const int row = page.Plot->LeftAxis().Map().ToPixel(expected);
    EXPECT_EQ(page.Plot->Draw().pixel(column, row) | 0xFF000000u,
              analysis_view::TCurvesItem::CurveColour(1) | 0xFF000000u);

    // Against the deviation, A lies 1.2° above 0 and C 4.5° above.
    page.chkDeviation->setChecked(true);
    EXPECT_TRUE(Drawn(PixelAt(A.Rpm, Degrees(A) - 22)));
    EXPECT_TRUE(Drawn(PixelAt(C.Rpm, Degrees(C) - 24)));
}

// Before the first frame (a live session just started, an empty file) the axes have no range
// to place a curve by: it is not drawn, where it would lie flat along the plot as if 0°.
TEST(AnalysisPageWithoutFrames, DrawsNoCurve) {
    telemetry::TFrameTable frames;
    TChart chart;
    ConfigureTelemetryChart(chart);
    TChartReadout readout{chart, frames, {"1", "2", "3", "4", "5", "6"}};
    TChosenFrame chosen{chart, frames, readout};
    TAnsweredDialogs dialogs;
    TAnalysisPage page{frames, chart, chosen, dialogs};
    page.resize(1001, 473);
    page.show();
    QApplication::processEvents();
    analysis::TExpectedCurves curves;
    curves.SetCurve(1, {{5000, 26}, {2000, 20}});
    page.SetCurves(curves);
    for (const bool deviation : {false, true}) {
        page.chkDeviation->setChecked(deviation);
        const QImage picture = page.Plot->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const chart::TRectI plot = page.Plot->PlotRect();
        int curvePixels = 0;
        for (int y = plot.Top + 1; y < plot.Bottom - 1; ++y)
            for (int x = plot.Left + 1; x < plot.Right - 1; ++x) {
                const QRgb p = picture.pixel(x, y) | 0xFF000000u;
                curvePixels += p == (analysis_view::TCurvesItem::CurveColour(1) | 0xFF000000u) ||
                               p == qRgb(220, 0, 0);
            }
        EXPECT_EQ(curvePixels, 0) << (deviation ? "against the deviation" : "against the advance");
    }
}

TEST_F(AnalysisPageTest, ABadCurveFileIsRefusedWithItsReasonAndChangesNothing) {
    analysis::TExpectedCurves curves;
    curves.SetCurve(1, {{1000, 10}});
    page.SetCurves(curves);
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const struct {
        const char* rule;
        const char* text;
    } files[] = {
        {"wrong columns", "curve,advance,rpm\n1,2000,20\n"},
        {"not a number", "curve,rpm,advance\n1,2000,двадцать\n"},
        {"a speed twice", "curve,rpm,advance\n1,2000,20\n1,2000,21\n"},
        {"empty", ""},
    };
    for (const auto& file : files) {
        const QString path = folder.filePath("curves.csv");
        std::ofstream(path.toStdString(), std::ios::binary | std::ios::trunc) << file.text;
        dialogs.answer = path;
        QString shown;
        TModalAnswer answer([&](QWidget& box) {
            shown = static_cast<QMessageBox&>(box).text();
            static_cast<QMessageBox&>(box).accept();
        });
        page.btnLoadCurves->click();
        EXPECT_TRUE(answer.answered) << file.rule;
        EXPECT_FALSE(shown.isEmpty()) << file.rule;
        EXPECT_EQ(page.Curves(), curves) << file.rule;
    }

    // A good file replaces them; saved and read back, the same curves.
    const QString good = folder.filePath("good.csv");
    std::ofstream(good.toStdString()) << "curve,rpm,advance\n3,4000,30\n3,1000,12.5\n";
    dialogs.answer = good;
    page.btnLoadCurves->click();
    EXPECT_EQ(page.Curves().Points(3).size(), 2u);
    EXPECT_FALSE(page.Curves().Has(1));
    dialogs.answer = folder.filePath("saved.csv");
    page.btnSaveCurves->click();
    EXPECT_EQ(analysis::ReadCurveFile(folder.filePath("saved.csv").toStdString()), page.Curves());
}

TEST_F(AnalysisPageTest, AClickChoosesTheNearestDrawnFrameAndMarksIt) {
    page.cmbColour->setCurrentIndex(page.cmbColour->count() - 1);
    const QPoint a = At(A.Rpm, Degrees(A));
    Click(a);
    ASSERT_EQ(chosen.Frame(), 0) << "of the frames on one pixel, the first";
    EXPECT_EQ(page.Plot->Draw().pixel(a), qRgb(230, 0, 0)) << "the marker";

    // Curve 1 left out: the nearest drawn frame is one of D's, above.
    TypeCurves("2");
    Click(a);
    EXPECT_EQ(chosen.Frame(), 80);

    // Far from every drawn frame: nothing is chosen anew.
    Click(At(A.Rpm - 900, 0.5 * (Degrees(A) + Degrees(B))));
    EXPECT_EQ(chosen.Frame(), 80);
}

// What the plot shows the moment it is painted, and what it shows once every pending event
// has run; the user must never see the first differ from the second.
void ExpectFirstDrawingSettled(QWidget& plot, const char* when) {
    const QImage first = plot.grab().toImage();
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
    const QImage settled = plot.grab().toImage();
    EXPECT_EQ(first.width(), settled.width()) << when;
    EXPECT_TRUE(first == settled) << when << ": the axes moved after the first drawing";
}

TEST_F(AnalysisPageTest, TheFirstDrawingAfterShowingOrResizingIsTheSettledOne) {
    // A colour chosen while the page is hidden hides the colour scale beside the plot.
    page.hide();
    page.cmbColour->setCurrentIndex(page.cmbColour->count() - 1); // "Нет"
    page.show();
    ExpectFirstDrawingSettled(*page.Plot, "first shown");

    // A colour chosen on the shown page, and the page resized before the next paint.
    page.cmbColour->setCurrentIndex(0);
    page.resize(877, 431);
    ExpectFirstDrawingSettled(*page.Plot, "resized");

    // A new recording has no colour range yet: the scale goes until frames come.
    frames.Clear();
    page.RecordingChanged();
    page.resize(1001, 473);
    ExpectFirstDrawingSettled(*page.Plot, "new recording");
}

TEST_F(AnalysisPageTest, FramesAddedLiveAppearWithinATenthOfASecondAndThePictureIsWritten) {
    const sim::TFrameFields late{6144, 30, 1, 85, 0, 120}; // 4500 об/мин, 26.7°
    const double rpm = 4500, degrees = telemetry::AdvanceDegrees(late.AdvanceCode);
    ASSERT_FALSE(Drawn(PixelAt(rpm, degrees)));
    const auto bytes = sim::EncodeFrame(late);
    telemetry::TLatestValues values{};
    std::uint8_t state = 0;
    // The table goes on where the decoder left it: its first frame's bytes end the last one.
    telemetry::DecodeBlock(bytes, telemetry::DecodeMode::Replay, state, values, nullptr, &frames);
    ASSERT_EQ(frames.Rows(), 88);
    QElapsedTimer waited;
    waited.start();
    while (!Drawn(page.Plot->grab().toImage().pixel(At(rpm, degrees))) && waited.elapsed() < 2000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_LT(waited.elapsed(), 1000) << "shown at the page's next refresh";

    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath("analysis.png");
    page.WritePicture(path);
    const QImage written(path);
    ASSERT_FALSE(written.isNull());
    EXPECT_EQ(written.size(), page.Views->size());
    EXPECT_TRUE(
        Drawn(written.pixel(At(A.Rpm, Degrees(A)) + page.Plot->mapTo(page.Views, QPoint()))));
    EXPECT_THROW(page.WritePicture(folder.filePath("no/such/folder/a.png")), std::runtime_error);
}

} // namespace
