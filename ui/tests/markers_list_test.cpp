#include "serial/tests/Pty.h"
#include "telemetry/DecodedFrame.h"
#include "telemetry/Telemetry.h"
#include "telemetry/tests/CompanionFixtures.h"
#include "tools/sim/Simulator.h"
#include "ui/reading/ChartMarkers.h"
#include "ui/reading/ChosenFrame.h"
#include "ui/reading/MarkersDialog.h"
#include "ui/reading/TimeAxis.h"
#include "ui/tests/AnsweredDialogs.h"
#include "ui/tests/ModalAnswer.h"
#include "ui/tests/UnwritableFolder.h"
#include "ui/window/InstrumentsPage.h"
#include "ui/window/UprZagig.h"
#include "widgets/chart/ChartMarkerLines.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// The window and its list "Метки", read and used as the user does.
class TheMarkersList : public ::testing::Test {
protected:
    TMarkersDialog& list() { return *window_.MarkersDialog; }
    QTableWidget& table() { return *list().Table; }
    void OpenList() {
        QApplication::setActiveWindow(&window_);
        QTest::keyClick(&window_, Qt::Key_M, Qt::ControlModifier);
        ASSERT_TRUE(list().isVisible());
    }
    // The list as it reads: a row's cells joined by "|".
    std::vector<std::string> Shown() {
        QCoreApplication::processEvents();
        std::vector<std::string> shown;
        for (int r = 0; r < table().rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < TMarkersDialog::Columns; ++c)
                cells << table().item(r, c)->text();
            shown.push_back(cells.join("|").toStdString());
        }
        return shown;
    }
    std::string Time(std::int64_t frame) const {
        return window_.TimeAxis->FrameTime(frame).toStdString();
    }
    void Choose(int row) { table().setCurrentCell(row, TMarkersDialog::TextColumn); }
    // The marker in row renamed as a user does it: "Переименовать", the text typed over the old
    // one, Enter; beforeEnter happens while the text is typed. The editor hands its text over
    // once it had the key.
    void Rename(int row, const QString& typed, const std::function<void()>& beforeEnter = {}) {
        // The list is the window the user works in.
        QApplication::setActiveWindow(&list());
        ASSERT_TRUE(QTest::qWaitForWindowActive(&list()));
        Choose(row);
        QTest::mouseClick(list().RenameButton, Qt::LeftButton);
        auto* editor = table().findChild<QLineEdit*>();
        ASSERT_NE(editor, nullptr);
        editor->selectAll();
        editor->insert(typed); // typed: key clicks are ASCII only
        if (beforeEnter)
            beforeEnter();
        QTest::keyClick(editor, Qt::Key_Return);
        const std::string kept = typed.trimmed().toStdString();
        ASSERT_TRUE(QTest::qWaitFor([&] {
            for (const auto& marker : window_.ChartMarkers->Markers())
                if (marker.Text == kept)
                    return true;
            return false;
        }));
    }

    // Whether a marker's line runs down frame's column, with its number's box beside it.
    bool DrawnAt(std::int64_t frame) {
        TChart& chart = *window_.Chart1;
        chart.Draw();
        const QImage shown = chart.grab().toImage();
        const int x = chart.BottomAxis().Map().ToPixel(static_cast<double>(frame));
        const int top = chart.PlotRect().Top;
        if (x < chart.PlotRect().Left || x + 2 > chart.PlotRect().Right)
            return false;
        return shown.pixel(x, top + 30) == chart::TMarkerLines::LineColour &&
               shown.pixel(x + 2, top + 3) == chart::TMarkerLines::BoxColour;
    }

    telemetry::TLatestValues values_;
    TAnsweredDialogs dialogs_;
    TfrmUprZagig window_{values_, dialogs_};
};

// A replayed recording in a folder of its own, with the list "Метки" over it.
class ListingMarkers : public TheMarkersList {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "telmira-marks-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        recording_ = dir_ / "run.dcc";
        const std::vector<std::uint8_t> bytes = sim::GenerateRecording(11, 300, false);
        std::ofstream(recording_, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        window_.show();
        Open();
        // Nothing of the series over the markers' lines but the curve number's level line.
        for (QCheckBox* shown :
             {window_.chkoborot, window_.chkdad, window_.chktemp, window_.chkok, window_.chkuoz})
            shown->setChecked(false);
        QApplication::setActiveWindow(&window_);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
    }
    void TearDown() override { fs::remove_all(dir_); }

    void Open() {
        list().close();
        dialogs_.answer = QString::fromStdString(recording_.string());
        QTest::mouseClick(window_.btnOpenF_DCC, Qt::LeftButton);
    }
    // A marker on frame, chosen, with text typed into the input and kept with Enter.
    void Mark(std::int64_t frame, const QString& text) {
        window_.ChosenFrame->Choose(frame);
        window_.ChartMarkers->Place->trigger();
        window_.ChartMarkers->Input->insert(text);
        QTest::keyClick(window_.ChartMarkers->Input, Qt::Key_Return);
    }

    fs::path dir_;
    fs::path recording_;
};

TEST_F(ListingMarkers, RenamedAndDeletedInTheListTheyStaySoWhenTheRecordingIsOpenedAgain) {
    Mark(100, "детонация");
    Mark(250, "");
    OpenList();
    EXPECT_EQ(Shown(), (std::vector<std::string>{"1|100|" + Time(100) + "|детонация|Метка",
                                                 "2|250|" + Time(250) + "||Метка"}));
    EXPECT_EQ(Time(100).rfind("≈", 0), 0u) << "no times measured: estimated, as the readout says";

    // A marker set while a text is typed in the list, on an earlier frame: the text is kept,
    // and the new marker comes in at its place.
    Rename(1, "  пропуск зажигания ", [&] { Mark(30, "холодный"); });
    EXPECT_EQ(Shown(),
              (std::vector<std::string>{"3|30|" + Time(30) + "|холодный|Метка",
                                        "1|100|" + Time(100) + "|детонация|Метка",
                                        "2|250|" + Time(250) + "|пропуск зажигания|Метка"}));

    Choose(1);
    ASSERT_TRUE(DrawnAt(100));
    QTest::keyClick(&table(), Qt::Key_Delete);
    EXPECT_EQ(Shown().size(), 2u);
    EXPECT_FALSE(DrawnAt(100)) << "the line goes with it";
    EXPECT_TRUE(DrawnAt(250));
    EXPECT_EQ(table().currentRow(), 1) << "the row that took its place";
    EXPECT_EQ(table().item(1, TMarkersDialog::NumberColumn)->text(), "2");

    Open();
    OpenList();
    EXPECT_EQ(Shown(),
              (std::vector<std::string>{"3|30|" + Time(30) + "|холодный|Метка",
                                        "2|250|" + Time(250) + "|пропуск зажигания|Метка"}));
    Mark(60, "");
    EXPECT_EQ(Shown()[1].substr(0, 3), "4|6") << "a deleted number is not given again";
}

// The fields of each line telmira-dcc markers prints for the recording, the header's first.
std::vector<std::vector<std::string>> ToolMarkers(const fs::path& recording) {
    const std::string command =
        std::string(TELMIRA_BIN_DIR) + "/telmira-dcc markers " + recording.string();
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    EXPECT_EQ(::pclose(pipe), 0);
    std::vector<std::vector<std::string>> lines(1);
    std::string field;
    bool quoted = false;
    for (std::size_t k = 0; k < out.size(); ++k) {
        const char c = out[k];
        if (quoted && c == '"' && k + 1 < out.size() && out[k + 1] == '"')
            field += out[++k];
        else if (c == '"')
            quoted = !quoted;
        else if (!quoted && (c == ',' || c == '\n')) {
            lines.back().push_back(std::move(field));
            field.clear();
            if (c == '\n')
                lines.emplace_back();
        } else
            field += c;
    }
    lines.pop_back();
    return lines;
}

// The rows telmira-dcc markers prints are the list's: numbers, frames, order, kinds, texts, and
// the window's times of the frames, for markers set live and while viewing, renamed and
// deleted in the companion and in the list, among the session's events.
TEST_F(ListingMarkers, TelmiraDccListsTheRowsTheListShows) {
    const std::vector<std::uint8_t> bytes = telemetry::testing::ReadFile(recording_);
    ASSERT_GT(bytes.size(), 2400u);
    using K = telemetry::TSessionEventKind;
    telemetry::testing::TCompanionBuilder session(bytes);
    session.Start()
        .Event(K::PortLost, 4, 1000) // before the first whole frame
        .Checkpoint(0, 0)
        .Checkpoint(900, 200'000)
        .Event(K::PortLost, 900, 250'000)
        .Event(K::PortBack, 900, 2'900'000)
        .Checkpoint(900, 3'000'000)
        .Event(K::BytesSkipped, 1000, 3'010'000, 3)
        .Marker(1, 450, "стук, \"звон\"")
        .Marker(2, 1800, "")
        .Marker(3, 2000, "лишняя")
        .Event(K::CurveChanged, 1800, 3'100'000, 2)
        .Checkpoint(bytes.size(), 3'400'000)
        .Event(K::SessionClosed, bytes.size(), 3'400'100);
    telemetry::TRecordEncoder more(session.bytes);
    more.Rename(2, "разгон");
    more.Delete(3);
    telemetry::testing::WriteFile(recording_.string() + ".tlm", session.bytes);
    Open();
    Mark(120, "с окна");
    OpenList();
    Rename(1, "стук");
    Choose(static_cast<int>(Shown().size()) - 3);
    QTest::keyClick(&table(), Qt::Key_Delete);

    const std::vector<std::string> shown = Shown();
    const std::vector<std::vector<std::string>> tool = ToolMarkers(recording_);
    ASSERT_EQ(tool.size(), shown.size() + 1);
    EXPECT_EQ(tool[0], (std::vector<std::string>{"number", "frame", "time", "kind", "text"}));
    const std::map<std::string, std::string> kinds = {
        {"marker", "Метка"},         {"lost", "Порт потерян"},  {"back", "Порт снова доступен"},
        {"skipped", "Пропуск байт"}, {"curve", "Смена кривой"}, {"closed", "Сеанс закрыт"}};
    for (std::size_t r = 0; r < shown.size(); ++r) {
        SCOPED_TRACE(shown[r]);
        const std::vector<std::string>& line = tool[r + 1];
        ASSERT_EQ(line.size(), 5u);
        const QStringList cells = QString::fromStdString(shown[r]).split('|');
        EXPECT_EQ(line[0], cells[TMarkersDialog::NumberColumn].toStdString());
        EXPECT_EQ(line[1].empty() ? "—" : line[1],
                  cells[TMarkersDialog::FrameColumn].toStdString());
        if (!line[1].empty()) {
            std::string seconds;
            telemetry::AppendSecondsText(seconds, window_.TimeAxis->Seconds(std::stoll(line[1])));
            EXPECT_EQ(line[2], seconds);
        }
        EXPECT_EQ(kinds.at(line[3]), cells[TMarkersDialog::KindColumn].toStdString());
        const std::string text = cells[TMarkersDialog::TextColumn].toStdString();
        if (line[3] == "marker")
            EXPECT_EQ(line[4], text);
        else
            EXPECT_EQ(line[4], text.empty() ? "" : text.substr(text.rfind(' ') + 1));
    }
    EXPECT_EQ(std::count_if(tool.begin(), tool.end(),
                            [](const auto& line) { return line[3] == "marker"; }),
              2)
        << "one marker deleted in the companion and one in the list";
}

TEST_F(ListingMarkers, GoingToAMarkerScrollsTheChartAsFarAsItMustAndTheGaugesFollow) {
    Mark(250, "далеко");
    Mark(20, "близко");
    TChartAxis& axis = window_.Chart1->BottomAxis();
    axis.SetMinMax(40, 180);
    OpenList();

    Choose(1);
    QTest::keyClick(&table(), Qt::Key_Return);
    EXPECT_EQ(window_.ChosenFrame->Frame(), 250);
    window_.Chart1->Draw();
    EXPECT_DOUBLE_EQ(axis.Maximum() - axis.Minimum(), 140) << "the zoom's width stays";
    EXPECT_LT(axis.Maximum(), 300);
    EXPECT_GT(axis.Map().ToPixel(250), window_.Chart1->PlotRect().Left);
    EXPECT_LT(axis.Map().ToPixel(250), window_.Chart1->PlotRect().Right);
    EXPECT_TRUE(list().isVisible()) << "Enter goes to the marker, not to a button";
    window_.TabSheet2->Timer1Timer();
    EXPECT_TRUE(window_.TabSheet2->lblShownFrame->text().startsWith("Кадр 250"));

    const QRect first = table().visualItemRect(table().item(0, TMarkersDialog::FrameColumn));
    QTest::mouseClick(table().viewport(), Qt::LeftButton, {}, first.center());
    QTest::mouseDClick(table().viewport(), Qt::LeftButton, {}, first.center());
    EXPECT_EQ(window_.ChosenFrame->Frame(), 20);
    EXPECT_LE(axis.Minimum(), 20);
    EXPECT_DOUBLE_EQ(axis.Maximum() - axis.Minimum(), 140);
}

// As root, who may write anywhere, the folder is made unwritable to the user the test then
// acts as while it changes the markers.
TEST_F(ListingMarkers, InAFolderThatCannotBeWrittenChangesStayForTheSessionAndSaySo) {
    Mark(100, "стук");
    Mark(200, "");
    ASSERT_EQ(::chmod(recording_.c_str(), 0644), 0);
    OpenList();
    {
        const TUnwritableFolder unwritable(dir_);
        Rename(0, "глухой стук");
        Choose(1);
        QTest::mouseClick(list().DeleteButton, Qt::LeftButton);
        EXPECT_EQ(Shown(), (std::vector<std::string>{"1|100|" + Time(100) + "|глухой стук|Метка"}));
    }
    const std::string told = "Метки не сохранены: в папку записи нельзя писать. "
                             "Они останутся на графике, пока запись открыта.";
    EXPECT_EQ(list().Note->text().toStdString(), told);
    EXPECT_EQ(window_.lblLinkStatus->text().toStdString(), told);
    EXPECT_FALSE(DrawnAt(200));

    Open();
    OpenList();
    EXPECT_EQ(Shown(), (std::vector<std::string>{"1|100|" + Time(100) + "|стук|Метка",
                                                 "2|200|" + Time(200) + "||Метка"}));
}

// A live session's markers and events, listed as they come; once it closes they stand as
// they are, and the recording viewed holds what the list changed.
class ListingLiveMarkers : public TheMarkersList {
protected:
    void SetUp() override {
        pty_.LinkAs(1);
        recording_ = runtime_.Path() / "session.dcc";
        dialogs_.answer = QString::fromStdString(recording_.string());
        window_.show();
        TModalAnswer answer([&](QWidget& modal) {
            static_cast<QMessageBox&>(modal).button(QMessageBox::Yes)->click();
        });
        QTest::mouseClick(window_.btnOpenPort, Qt::LeftButton);
        ASSERT_TRUE(answer.answered);
    }
    // Sends bytes and waits until the session has recorded them all.
    void Stream(std::span<const std::uint8_t> bytes) {
        sent_ += bytes.size();
        pty_.Write(bytes);
        ASSERT_TRUE(serial::testing::WaitFor([&] { return fs::file_size(recording_) == sent_; }));
    }

    serial::testing::TTempRuntimeDir runtime_;
    serial::testing::TPty pty_;
    fs::path recording_;
    std::size_t sent_ = 0;
};

TEST_F(ListingLiveMarkers, TheListFollowsTheSessionAndItsChangesReachTheRecording) {
    const std::vector<std::uint8_t> frames = sim::GenerateRecording(8, 400, false);
    const std::span<const std::uint8_t> all(frames);
    Stream(all.first(200 * telemetry::FrameSize));
    OpenList();
    EXPECT_TRUE(Shown().empty());
    window_.ChartMarkers->Place->trigger();
    QTest::keyClick(window_.ChartMarkers->Input, Qt::Key_Return);
    EXPECT_EQ(Shown(), (std::vector<std::string>{"1|199|" + Time(199) + "||Метка"}));
    Rename(0, "разгон");

    Stream(all.subspan(200 * telemetry::FrameSize));
    QTest::mouseClick(window_.btnOpenPort, Qt::LeftButton); // the session closes
    EXPECT_EQ(Shown(), (std::vector<std::string>{"1|199|" + Time(199) + "|разгон|Метка",
                                                 "|399|" + Time(399) + "||Сеанс закрыт"}));
    Choose(0);
    EXPECT_FALSE(list().RenameButton->isEnabled()) << "the session's markers stand as it left them";
    EXPECT_FALSE(list().DeleteButton->isEnabled());
    EXPECT_FALSE(table().item(0, TMarkersDialog::TextColumn)->flags() & Qt::ItemIsEditable);

    list().close();
    QTest::mouseClick(window_.btnOpenF_DCC, Qt::LeftButton);
    OpenList();
    EXPECT_EQ(Shown().front(), "1|199|" + Time(199) + "|разгон|Метка");
    EXPECT_TRUE(list().RenameButton->isEnabled()) << "viewed, it is the recording's to change";
    Choose(1);
    EXPECT_FALSE(list().DeleteButton->isEnabled()) << "an event is the session's own";
    QTest::keyClick(&table(), Qt::Key_Delete);
    EXPECT_EQ(Shown().size(), 2u);
    list().ShowEvents->setChecked(false);
    EXPECT_EQ(Shown(), (std::vector<std::string>{"1|199|" + Time(199) + "|разгон|Метка"}));
}

// During a live session nothing is chosen: going to a marker scrolls a chart zoomed by hand
// as a scroll by hand would, keeping its width, and the chart then stays where it is while
// frames come, until the zoom is undone; a chart that shows every frame keeps following.
TEST_F(ListingLiveMarkers, GoingToAMarkerScrollsAZoomedChartAsTheUsersOwnScrollWould) {
    const std::vector<std::uint8_t> frames = sim::GenerateRecording(8, 1000, false);
    const std::span<const std::uint8_t> all(frames);
    Stream(all.first(100 * telemetry::FrameSize));
    window_.ChartMarkers->Place->trigger();
    QTest::keyClick(window_.ChartMarkers->Input, Qt::Key_Return);
    Stream(all.subspan(100 * telemetry::FrameSize, 500 * telemetry::FrameSize));
    TChart& chart = *window_.Chart1;
    TChartAxis& axis = chart.BottomAxis();
    const auto shownRange = [&] {
        chart.Draw();
        return std::pair(axis.Map().Minimum, axis.Map().Maximum);
    };
    OpenList();
    Choose(0);
    QTest::keyClick(&table(), Qt::Key_Return);
    EXPECT_TRUE(axis.Automatic()) << "every frame is shown, the marker's too";
    EXPECT_EQ(shownRange(), std::pair(0.0, 599.0));

    // Zoomed by hand over frames 400 to 550 or so.
    const auto mouse = [&](QEvent::Type type, QPoint p, Qt::MouseButton button,
                           Qt::MouseButtons held) {
        QMouseEvent event(type, QPointF(p), chart.mapToGlobal(QPointF(p)), button, held,
                          Qt::NoModifier);
        QApplication::sendEvent(&chart, &event);
    };
    const auto column = [&](double frame) { return axis.Map().ToPixel(frame); };
    const chart::TRectI plot = chart.PlotRect();
    mouse(QEvent::MouseButtonPress, {column(400), plot.Top + 10}, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseMove, {column(550), plot.Bottom - 10}, Qt::NoButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, {column(550), plot.Bottom - 10}, Qt::LeftButton,
          Qt::NoButton);
    const auto [zoomedFrom, zoomedTo] = shownRange();
    ASSERT_GT(zoomedFrom, 300);
    ASSERT_FALSE(DrawnAt(99));

    QApplication::setActiveWindow(&list());
    Choose(0);
    QTest::keyClick(&table(), Qt::Key_Return);
    const auto [from, to] = shownRange();
    EXPECT_NEAR(to - from, zoomedTo - zoomedFrom, 1e-6) << "the zoom's width stays";
    EXPECT_LT(from, 99);
    EXPECT_GT(to, 99);
    EXPECT_TRUE(DrawnAt(99)) << "the marker's line is on the screen";

    Stream(all.subspan(600 * telemetry::FrameSize));
    EXPECT_EQ(shownRange(), std::pair(from, to)) << "the chart no longer follows the frames";
    mouse(QEvent::MouseButtonPress, {column(to) - 10, plot.Bottom - 10}, Qt::LeftButton,
          Qt::LeftButton);
    mouse(QEvent::MouseMove, {column(from) + 10, plot.Top + 10}, Qt::NoButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, {column(from) + 10, plot.Top + 10}, Qt::LeftButton,
          Qt::NoButton);
    EXPECT_EQ(shownRange(), std::pair(0.0, 999.0)) << "undone, it follows them again";
}

} // namespace
