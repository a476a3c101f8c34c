// The table view of the analysis page as the user sees it: cells shaded by value, greyed
// under the threshold, empty ones blank; a click gives the cell's frames; bins typed; CSV.

#include "analysis/BinnedTable.h"
#include "tools/sim/Simulator.h"
#include "ui/analysis/TableView.h"
#include "ui/tests/AnsweredDialogs.h"

#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include <unistd.h>

namespace {

class TableViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::vector<std::uint8_t> bytes = sim::GenerateRecording(5, 20000, false, nullptr);
        telemetry::TLatestValues values;
        std::uint8_t state = 0;
        telemetry::DecodeBlock(bytes, telemetry::DecodeMode::Replay, state, values, nullptr,
                               &frames_);
        view_.resize(900, 700);
        view_.show();
        view_.Refresh();
    }

    telemetry::TFrameTable frames_;
    TAnsweredDialogs dialogs_;
    TTableView view_{frames_, dialogs_};
};

TEST_F(TableViewTest, CellsShadedGreyedOrBlankAndAClickGivesTheirFrames) {
    const analysis::TBinnedTable& table = *view_.Table();
    ASSERT_EQ(table.Rows(), 28);
    ASSERT_EQ(table.Columns(), 16);
    // The fullest cell, another with frames, and an empty one.
    std::pair<int, int> full{0, 0}, other{-1, -1}, empty{-1, -1};
    for (int r = 0; r < table.Rows(); ++r)
        for (int c = 0; c < table.Columns(); ++c) {
            if (table.Frames(r, c) > table.Frames(full.first, full.second))
                full = {r, c};
            if (table.Frames(r, c) == 0)
                empty = {r, c};
        }
    for (int r = 0; r < table.Rows(); ++r)
        for (int c = 0; c < table.Columns(); ++c)
            if (table.Frames(r, c) > 0 && std::pair(r, c) != full)
                other = {r, c};
    ASSERT_GE(other.first, 0);
    ASSERT_GE(empty.first, 0);
    // Only the fullest cell reaches the threshold.
    view_.spnThreshold->setValue(static_cast<int>(table.Frames(full.first, full.second)));
    const QImage picture = view_.Grid->grab().toImage();
    auto at = [&](std::pair<int, int> cell) {
        return picture.pixel(view_.Grid->CellRect(cell.first, cell.second).topLeft() +
                             QPoint(2, 2));
    };
    EXPECT_EQ(at(full), TableShade(0.5)) << "a single shaded cell sits mid-scale";
    EXPECT_EQ(at(other), TableGreyed);
    EXPECT_EQ(at(empty), 0xFFFFFFFFu);

    QSignalSpy chosen(&view_, &TTableView::CellChosen);
    const QRect cell = view_.Grid->CellRect(full.first, full.second);
    QTest::mouseClick(view_.Grid, Qt::LeftButton, {}, cell.center());
    ASSERT_EQ(chosen.count(), 1);
    const auto frames = chosen.at(0).at(0).value<std::vector<std::int64_t>>();
    EXPECT_EQ(static_cast<std::int64_t>(frames.size()), table.Frames(full.first, full.second));
    const analysis::TTableLayout& layout = table.Layout();
    for (const std::int64_t f : frames) {
        const auto frame = frames_.Frame(f);
        ASSERT_TRUE(frame);
        EXPECT_EQ(layout.Speed.BinOf(telemetry::EngineSpeed(frame->Period)), full.first);
        EXPECT_EQ(layout.Map.BinOf(frame->Map), full.second);
    }
    EXPECT_TRUE(std::is_sorted(frames.begin(), frames.end()));
}

// The corner names what the rows and the columns' numbers are; cut short it read
// "об/мин \ ДАД (".
TEST_F(TableViewTest, TheCornerCaptionIsDrawnWhole) {
    const QImage picture = view_.Grid->grab().toImage();
    const int cellsFrom = view_.Grid->CellRect(0, 0).left();
    int left = cellsFrom, right = -1;
    for (int x = 0; x < cellsFrom; ++x)
        for (int y = 0; y < view_.Grid->CellRect(0, 0).top(); ++y)
            if (qGray(picture.pixel(x, y)) < 128) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    QFont font = view_.Grid->font();
    font.setPixelSize(11);
    const int width = QFontMetrics(font).horizontalAdvance("об/мин \\ ДАД от");
    EXPECT_GE(right - left + 1, width - 2) << "ink from " << left << " to " << right;
    EXPECT_LT(right, cellsFrom - 2) << "clear of the first column";
}

TEST_F(TableViewTest, BinsTypedAndTheTableAsCsv) {
    view_.edtSpeedBins->setText("1000:5000:500");
    emit view_.edtSpeedBins->editingFinished();
    EXPECT_EQ(view_.Table()->Rows(), 8);
    view_.spnMapBins->setValue(4);
    EXPECT_EQ(view_.Table()->Columns(), 4);
    view_.edtSpeedBins->setText("5000:1000:500");
    emit view_.edtSpeedBins->editingFinished();
    EXPECT_FALSE(view_.lblTableError->isHidden()) << "bins that break the rules are refused";
    EXPECT_EQ(view_.Table()->Rows(), 8) << "and change nothing";

    const QString path = QDir::temp().filePath(QString("telmira-table-%1.csv").arg(::getpid()));
    view_.WriteCsv(path);
    QFile written(path);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll().toStdString(),
              analysis::TableCsv(*view_.Table(), view_.Statistic()));
    QFile::remove(path);
}

} // namespace
