#include "serial/PortFolder.h"
#include "serial/tests/Pty.h"
#include "telemetry/LiveSession.h"
#include "telemetry/RecordingFile.h"
#include "telemetry/tests/FullDisk.h"
#include "tools/sim/Simulator.h"
#include "ui/reading/ChartMarkers.h"
#include "ui/reading/ChartReadout.h"
#include "ui/reading/ChosenFrame.h"
#include "ui/tests/AnsweredDialogs.h"
#include "ui/tests/ModalAnswer.h"
#include "ui/window/InstrumentsPage.h"
#include "ui/window/TelemetryChart.h"
#include "ui/window/UprZagig.h"
#include "widgets/chart/ChartMarkerLines.h"

#include <QCheckBox>
#include <QDragEnterEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QToolTip>
#include <QUrl>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <vector>

#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using serial::testing::WaitFor;

class LiveSessionWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        pty_.LinkAs(1);
        dialogs_.answer = QString::fromStdString((runtime_.Path() / "session.dcc").string());
        window_.show();
    }

    // Presses "Открыть порт и файл" and answers the plotting question.
    void Open(QMessageBox::StandardButton plotting) {
        TModalAnswer answer(
            [&](QWidget& modal) { static_cast<QMessageBox&>(modal).button(plotting)->click(); });
        QTest::mouseClick(window_.btnOpenPort, Qt::LeftButton);
        ASSERT_TRUE(answer.answered);
        ASSERT_EQ(window_.btnOpenPort->text(), "Закрыть порт и файл");
    }

    std::vector<std::uint8_t> Recorded() const {
        std::ifstream in(dialogs_.answer->toStdString(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // Sends the stream from byte from on and waits until the session has recorded all of it.
    void Stream(const std::vector<std::uint8_t>& bytes, std::size_t from = 0) {
        pty_.Write(std::span(bytes).subspan(from));
        ASSERT_TRUE(WaitFor([&] { return Recorded().size() == bytes.size(); }))
            << Recorded().size() << " of " << bytes.size() << " bytes recorded";
    }

    serial::testing::TTempRuntimeDir runtime_;
    serial::testing::TPty pty_;
    telemetry::TLatestValues values_;
    TAnsweredDialogs dialogs_;
    TfrmUprZagig window_{values_, dialogs_};
};

TEST_F(LiveSessionWindowTest, PlottingRecordsEveryByteAndDrawsWhatAReplayDraws) {
    Open(QMessageBox::Yes);
    EXPECT_FALSE(window_.btnOpenF_DCC->isEnabled());
    EXPECT_EQ(window_.windowTitle(), "TELMIRA ver 1.6 - " + *dialogs_.answer);
    EXPECT_EQ(dialogs_.shownFilter, "Файл данных работы системы *.dcc|*.dcc|");

    const auto sent = sim::GenerateRecording(5, 3000, true);
    Stream(sent);
    QTest::mouseClick(window_.btnOpenPort, Qt::LeftButton);
    EXPECT_EQ(window_.btnOpenPort->text(), "Открыть порт и файл");
    EXPECT_TRUE(window_.btnOpenF_DCC->isEnabled());
    EXPECT_EQ(window_.windowTitle(), "TELMIRA ver 1.6 - " + *dialogs_.answer)
        << "closing keeps the recording's name in the caption";
    ASSERT_EQ(Recorded(), sent);

    TChart replayed;
    ConfigureTelemetryChart(replayed);
    TChartPlot plot(replayed);
    telemetry::TLatestValues values;
    std::uint8_t state = 0;
    telemetry::TFrameTable frames;
    telemetry::DecodeBlock(sent, telemetry::DecodeMode::Replay, state, values, &plot, &frames);
    const telemetry::TFrameTable& shown = window_.Frames();
    ASSERT_EQ(shown.Rows(), frames.Rows()) << "the window keeps the frames of what it plotted";
    for (std::int64_t k = 0; k < frames.Rows(); ++k) {
        ASSERT_EQ(shown.Frame(k), frames.Frame(k)) << "frame " << k;
        ASSERT_EQ(shown.EndOffset(k), frames.EndOffset(k)) << "frame " << k;
    }
    for (int s = 0; s < telemetry::PlotSeriesCount; ++s) {
        const TChartSeries& live = window_.Chart1->Series(s);
        const TChartSeries& replay = replayed.Series(s);
        ASSERT_EQ(live.Count(), replay.Count()) << "series " << s;
        ASSERT_GT(live.Count(), 2000u);
        for (std::size_t i = 0; i < live.Count(); ++i) {
            ASSERT_EQ(live.XValue(i), replay.XValue(i)) << "series " << s << " point " << i;
            ASSERT_EQ(live.YValue(i), replay.YValue(i)) << "series " << s << " point " << i;
            ASSERT_EQ(live.ValueColor(i), replay.ValueColor(i));
        }
    }
}

TEST_F(LiveSessionWindowTest, StatusLineShowsTheLinkOnTheScreen) {
    const QImage before = window_.grab().toImage();
    const auto opened = std::chrono::steady_clock::now();
    Open(QMessageBox::No);
    QLabel& status = *window_.lblLinkStatus;
    ASSERT_TRUE(WaitFor([&] { return status.text().startsWith("Нет данных больше 1 с"); },
                        std::chrono::duration_cast<std::chrono::milliseconds>(
                            opened + std::chrono::seconds(2) - std::chrono::steady_clock::now())))
        << status.text().toStdString();

    std::vector<sim::TFrameFields> frames;
    sim::TNoiseCounts noise;
    const auto sent = sim::GenerateRecording(2, 640, true, &frames, &noise);
    pty_.Write(sent);
    ASSERT_TRUE(WaitFor([&] { return Recorded().size() + 9 > sent.size(); }));
    const QString expected =
        QString("Приём данных | записано %1 байт | кадров 640 | пропущено %2 байт | 640 кадров/с "
                "| COM1: %3 (%4)")
            .arg(QLocale(QLocale::Russian).toString(qulonglong{Recorded().size()}))
            .arg(noise.LeadingBytes + noise.GarbageBytes)
            .arg(QString::fromStdString((serial::EnsurePortFolder() / "COM1").string()),
                 QString::fromStdString(pty_.SlavePath()));
    ASSERT_TRUE(WaitFor([&] { return status.text() == expected; }, std::chrono::seconds(1)))
        << status.text().toStdString();

    // The line stands in full over the tab control's clipped overhang.
    const auto pixels = [](const QImage& image) {
        return image.convertToFormat(QImage::Format_RGB32);
    };
    const QImage shown = pixels(window_.grab().toImage());
    EXPECT_EQ(shown.copy(status.geometry()), pixels(status.grab().toImage()));
    EXPECT_NE(shown.copy(status.geometry()), pixels(before).copy(status.geometry()));

    QTest::mouseClick(window_.btnOpenPort, Qt::LeftButton);
    EXPECT_TRUE(status.text().startsWith("Порт закрыт | записано")) << status.text().toStdString();
}

TEST_F(LiveSessionWindowTest, PortBoxToolTipSaysWhereTheChosenNumberLeads) {
    const fs::path folder = serial::EnsurePortFolder();
    fs::create_symlink("/dev/null", folder / "COM4");
    const auto tipFor = [&](const char* number) {
        window_.edtPortNumber->setText(number);
        QHelpEvent help(QEvent::ToolTip, {5, 5}, window_.edtPortNumber->mapToGlobal(QPoint{5, 5}));
        QApplication::sendEvent(window_.edtPortNumber, &help);
        return QToolTip::text();
    };
    const QString link1 = QString("COM1: %1 (%2)")
                              .arg(QString::fromStdString((folder / "COM1").string()),
                                   QString::fromStdString(pty_.SlavePath()));
    const QString link4 = QString("COM4: %1 (/dev/null)").arg((folder / "COM4").c_str());
    EXPECT_EQ(tipFor("1"), link1 + "\nДругие порты:\n" + link4);
    EXPECT_EQ(tipFor("4"), link4 + "\nДругие порты:\n" + link1);
    EXPECT_TRUE(tipFor("9").startsWith("COM9: /dev/ttyS8\nДругие порты:\n")) << "as no adapter "
                                                                                "is plugged in";
}

TEST_F(LiveSessionWindowTest, ASessionIsPlottedWholeWhereverTheChartWasScrolled) {
    TChart& chart = *window_.Chart1;
    chart.Series(0).AddPoint(0, 100);
    chart.Series(0).AddPoint(1, 200);
    chart.Draw();
    QWheelEvent wheel(QPointF(400, 200), chart.mapToGlobal(QPointF(400, 200)), QPoint(),
                      QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&chart, &wheel);
    ASSERT_FALSE(chart.LeftAxis().Automatic());
    Open(QMessageBox::Yes);
    Stream(sim::GenerateRecording(4, 300, false));
    chart.Draw();
    EXPECT_TRUE(chart.LeftAxis().Automatic());
    double low = chart.Series(0).YValues.MinValue(), high = chart.Series(0).YValues.MaxValue();
    for (int s = 1; s < telemetry::PlotSeriesCount; ++s) {
        low = std::min(low, chart.Series(s).YValues.MinValue());
        high = std::max(high, chart.Series(s).YValues.MaxValue());
    }
    EXPECT_EQ(chart.LeftAxis().Map().Minimum, low);
    EXPECT_EQ(chart.LeftAxis().Map().Maximum, high);
    QTest::mouseClick(window_.btnOpenPort, Qt::LeftButton);
}

TEST_F(LiveSessionWindowTest, BytesReceivedWhileThePlottingQuestionIsOpenAreRecordedFirst) {
    const auto sent = sim::GenerateRecording(4, 600, false);
    const std::size_t early = 5 * telemetry::SessionThreshold;
    const QString waiting =
        QString("Вопрос о выводе графиков ждёт ответа | принято 45 байт, они будут записаны после "
                "ответа | COM1: %1 (%2)")
            .arg(QString::fromStdString((serial::EnsurePortFolder() / "COM1").string()),
                 QString::fromStdString(pty_.SlavePath()));
    bool saidWaiting = false;
    TModalAnswer answer([&](QWidget& modal) {
        // The question's own event loop runs the hand-overs meanwhile.
        for (std::size_t at = 0; at < early; at += telemetry::SessionThreshold)
            pty_.WriteAndWaitUntilRead(std::span(sent).subspan(at, telemetry::SessionThreshold),
                                       true);
        // Not "no data" while bytes come and are kept.
        saidWaiting = WaitFor([&] { return window_.lblLinkStatus->text() == waiting; },
                              std::chrono::seconds(2));
        static_cast<QMessageBox&>(modal).button(QMessageBox::Yes)->click();
    });
    QTest::mouseClick(window_.btnOpenPort, Qt::LeftButton);
    ASSERT_TRUE(answer.answered);
    EXPECT_TRUE(saidWaiting) << window_.lblLinkStatus->text().toStdString();

    Stream(sent, early);
    QTest::mouseClick(window_.btnOpenPort, Qt::LeftButton);
    EXPECT_EQ(Recorded(), sent);
    EXPECT_EQ(values_.FrameCounter, 600) << "and decoded in the chosen mode";
}

TEST_F(LiveSessionWindowTest, RecordingOnlyLeavesTheChartEmptyWhileLatestValuesFollow) {
    std::vector<sim::TFrameFields> frames;
    const auto sent = sim::GenerateRecording(9, 500, false, &frames);
    Open(QMessageBox::No);
    Stream(sent);
    for (int s = 0; s < telemetry::PlotSeriesCount; ++s)
        EXPECT_EQ(window_.Chart1->Series(s).Count(), 0u) << "series " << s;
    EXPECT_EQ(values_.FrameCounter, 0);
    EXPECT_EQ(values_.Period, frames.back().Period);
    EXPECT_EQ(values_.AdvanceCode, frames.back().AdvanceCode);
    QTest::mouseClick(window_.btnOpenPort, Qt::LeftButton);
}

TEST_F(LiveSessionWindowTest, PulledAdapterIsReportedOnceAndTheSessionGoesOnWhenItIsBack) {
    Open(QMessageBox::Yes);
    auto sent = sim::GenerateRecording(3, 401, false);
    sent.resize(sent.size() - 5); // the line goes in the middle of a frame
    Stream(sent);
    // The advance is plotted as a frame completes, so it shows where whole frames stand.
    const TChartSeries& advance = window_.Chart1->Series(telemetry::SeriesAdvance);
    const double lastX = advance.XValue(advance.Count() - 1);

    std::vector<QString> shown;
    auto closeBoxes = [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown.push_back(box->text());
            box->buttons().first()->click();
        }
    };
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, closeBoxes);
    poll.start(5);
    const QLabel& status = *window_.lblLinkStatus;
    pty_.CloseMaster();
    ASSERT_TRUE(WaitFor([&] { return !shown.empty(); }));
    ASSERT_TRUE(WaitFor([&] { return status.text().startsWith("Ожидание порта"); }));
    EXPECT_EQ(window_.btnOpenPort->text(), "Закрыть порт и файл") << "the session stays open";
    EXPECT_EQ(Recorded(), sent);

    // The adapter comes back, and goes again, under the same number.
    serial::testing::TPty back;
    back.LinkAs(1);
    const auto more = sim::GenerateRecording(4, 300, false);
    ASSERT_TRUE(WaitFor([&] { return back.Exclusive(); }));
    back.Write(more);
    sent.insert(sent.end(), more.begin(), more.end());
    ASSERT_TRUE(WaitFor([&] { return Recorded().size() == sent.size(); }));
    EXPECT_EQ(Recorded(), sent) << "appended, in order, nothing twice";
    EXPECT_EQ(advance.XValue(advance.Count() - 300), lastX + 1) << "the chart goes on";
    EXPECT_EQ(advance.XValue(advance.Count() - 1), lastX + 300);
    back.CloseMaster();
    ASSERT_TRUE(WaitFor([&] { return status.text().startsWith("Ожидание порта"); }));
    ASSERT_EQ(shown, std::vector<QString>{"Error clearing port \\\\.\\COM1.\n"
                                          "Запись в файл продолжается: порт будет открыт "
                                          "снова, как только он появится."})
        << "the failure is shown once, saying that the session goes on";

    QTest::mouseClick(window_.btnOpenPort, Qt::LeftButton); // while waiting for the port
    EXPECT_EQ(window_.btnOpenPort->text(), "Открыть порт и файл");
    EXPECT_TRUE(window_.btnOpenF_DCC->isEnabled());
    EXPECT_EQ(Recorded(), sent);
}

TEST_F(LiveSessionWindowTest, PortBoxShowsThePortTheSessionOpens) {
    for (const char* typed : {"27", "x", ""}) {
        SCOPED_TRACE(typed);
        window_.edtPortNumber->setText(typed);
        Open(QMessageBox::No);
        EXPECT_EQ(window_.edtPortNumber->text(), "1") << "the port the session opened";
        EXPECT_TRUE(window_.lblLinkStatus->text().contains("| COM1: "));
        QTest::mouseClick(window_.btnOpenPort, Qt::LeftButton);
    }
}

TEST_F(LiveSessionWindowTest, StatusLineCountsWhatReachedAFullDiskAndSaysTheRecordingStopped) {
    Open(QMessageBox::No);
    std::optional<QString> shown;
    TModalAnswer answer([&](QWidget& modal) {
        shown = static_cast<QMessageBox&>(modal).text();
        modal.close();
    });
    {
        const telemetry::testing::TFullDisk full(1000); // a block of the stream crosses it
        pty_.Write(sim::GenerateRecording(3, 200, false));
        ASSERT_TRUE(WaitFor([&] { return shown.has_value(); }));
    }
    ASSERT_EQ(Recorded().size(), 1000u);
    const QString stopped = "Запись остановлена: файл не принял данные | записано 1" +
                            QLocale(QLocale::Russian).groupSeparator() + "000 байт | ";
    EXPECT_TRUE(WaitFor([&] { return window_.lblLinkStatus->text().startsWith(stopped); },
                        std::chrono::seconds(2)))
        << window_.lblLinkStatus->text().toStdString();
    QTest::mouseClick(window_.btnOpenPort, Qt::LeftButton);
}

TEST_F(LiveSessionWindowTest, PortThatCannotBeOpenedLeavesNoSessionAndAnEmptyRecording) {
    fs::create_symlink(runtime_.Path() / "unplugged", serial::EnsurePortFolder() / "COM2");
    window_.edtPortNumber->setText("2");
    std::optional<QString> shown;
    TModalAnswer answer([&](QWidget& modal) {
        shown = static_cast<QMessageBox&>(modal).text();
        modal.close();
    });
    QTest::mouseClick(window_.btnOpenPort, Qt::LeftButton);
    ASSERT_TRUE(shown);
    EXPECT_EQ(*shown, "Error opening port \\\\.\\COM2.");
    EXPECT_EQ(window_.btnOpenPort->text(), "Открыть порт и файл");
    EXPECT_TRUE(window_.btnOpenF_DCC->isEnabled());
    EXPECT_TRUE(fs::exists(dialogs_.answer->toStdString()));
    EXPECT_TRUE(Recorded().empty());

    window_.edtPortNumber->setText("1");
    Open(QMessageBox::Yes); // the same file, once the port is there
    QTest::mouseClick(window_.btnOpenPort, Qt::LeftButton);
}

// A failure that unwound through the toolkit's event delivery would leak the event, so the
// handlers show their failures themselves and raise nothing.
TEST_F(LiveSessionWindowTest, HandlersShowTheirOwnFailuresAndRaiseNothing) {
    fs::create_symlink(runtime_.Path() / "unplugged", serial::EnsurePortFolder() / "COM2");
    const fs::path empty = runtime_.Path() / "empty.dcc";
    std::ofstream{empty};
    const struct {
        const char* handler;
        std::function<void()> run;
        const char* shown;
    } cases[] = {
        {"btnOpenPortClick",
         [&] {
             window_.edtPortNumber->setText("2");
             window_.btnOpenPortClick();
         },
         "Error opening port \\\\.\\COM2."},
        {"btnOpenF_DCCClick",
         [&] {
             dialogs_.answer = QString::fromStdString(empty.string());
             window_.btnOpenF_DCCClick();
         },
         "Ошибка отображения файла."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.handler);
        std::optional<QString> shown;
        TModalAnswer answer([&](QWidget& modal) {
            shown = static_cast<QMessageBox&>(modal).text();
            modal.close();
        });
        EXPECT_NO_THROW(c.run());
        EXPECT_EQ(shown, QString::fromUtf8(c.shown));
        EXPECT_EQ(window_.btnOpenPort->text(), "Открыть порт и файл");
    }
}

TEST_F(LiveSessionWindowTest, RecordingThatCannotBeCreatedIsANotice) {
    dialogs_.answer = QString::fromStdString((runtime_.Path() / "missing" / "x.dcc").string());
    QString notice;
    TModalAnswer answer([&](QWidget& modal) {
        for (const QLabel* label : modal.findChildren<QLabel*>())
            notice += label->text();
        modal.close();
    });
    QTest::mouseClick(window_.btnOpenPort, Qt::LeftButton);
    EXPECT_TRUE(answer.answered);
    EXPECT_TRUE(notice.contains("Ошибка создания файла")) << notice.toStdString();
    EXPECT_EQ(window_.btnOpenPort->text(), "Открыть порт и файл");
    EXPECT_EQ(pty_.Queued(), 0) << "no port was opened";
}

// The second window of issue 18 chooses the file the first one records and answers "Да" to
// replacing it.
TEST_F(LiveSessionWindowTest, RecordingThatAnotherSessionMakesIsLeftAloneAndTheNoticeSaysSo) {
    telemetry::TRecordingFile other(dialogs_.answer->toStdString());
    const auto recorded = sim::GenerateRecording(3, 50, false);
    other.Write(recorded, telemetry::TRecordingFile::TClock::now());
    QString notice;
    TModalAnswer answer([&](QWidget& modal) {
        notice = modal.findChild<QLabel*>("Message")->text();
        modal.close();
    });
    QTest::mouseClick(window_.btnOpenPort, Qt::LeftButton);
    ASSERT_TRUE(answer.answered);
    EXPECT_EQ(notice, "Ошибка создания файла\nЭтот файл сейчас записывается в другом окне или "
                      "другой программой и оставлен без изменений.");
    EXPECT_EQ(window_.btnOpenPort->text(), "Открыть порт и файл");
    EXPECT_FALSE(pty_.Exclusive()) << "no port was opened";
    EXPECT_EQ(Recorded(), recorded);
}

TEST_F(LiveSessionWindowTest, RefusedPortFolderIsExplainedUnderThePortsMessage) {
    const fs::path folder = serial::EnsurePortFolder();
    ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    std::optional<QString> shown;
    TModalAnswer answer([&](QWidget& modal) {
        shown = static_cast<QMessageBox&>(modal).text();
        modal.close();
    });
    QTest::mouseClick(window_.btnOpenPort, Qt::LeftButton);
    ::chmod(folder.c_str(), 0700);
    ASSERT_TRUE(shown);
    EXPECT_EQ(*shown, QString::fromStdString(
                          "Error opening port \\\\.\\COM1.\nВ папку " + folder.string() +
                          " могут писать другие пользователи. Через такую папку можно подменить "
                          "порт, поэтому порты не открываются: удалите её или исправьте "
                          "владельца и права доступа."));
    EXPECT_EQ(window_.btnOpenPort->text(), "Открыть порт и файл");
}

TEST_F(LiveSessionWindowTest, ViewerRefusesTheRecordingOfAnOpenSession) {
    Open(QMessageBox::Yes);
    window_.btnOpenF_DCC->setEnabled(true); // the button is off; the lock must hold anyway
    std::optional<QString> shown;
    TModalAnswer answer([&](QWidget& modal) {
        shown = static_cast<QMessageBox&>(modal).text();
        modal.close();
    });
    QTest::mouseClick(window_.btnOpenF_DCC, Qt::LeftButton);
    ASSERT_TRUE(shown);
    EXPECT_EQ(*shown, "Ошибка открытия файла.");
    window_.btnOpenF_DCC->setEnabled(false);
    QTest::mouseClick(window_.btnOpenPort, Qt::LeftButton);
}

TEST_F(LiveSessionWindowTest, DropsOfRecordingsAreRefusedWhileTheSessionIsOpen) {
    const fs::path other = runtime_.Path() / "other.dcc";
    std::ofstream(other) << "x";
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(other.string()))});
    // The drag then leaves, as every drag the window system starts ends: Qt keeps the widget
    // that took a drag's entry as the target of the next drop, past this window's end.
    const auto dragAccepted = [&] {
        QDragEnterEvent enter({10, 10}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window_, &enter);
        QDragLeaveEvent leave;
        QApplication::sendEvent(&window_, &leave);
        return enter.isAccepted();
    };
    Open(QMessageBox::Yes);
    EXPECT_FALSE(dragAccepted());
    QTest::mouseClick(window_.btnOpenPort, Qt::LeftButton);
    EXPECT_TRUE(dragAccepted()) << "once the session is closed";
}

TEST_F(LiveSessionWindowTest, LiveSessionTakesTheGaugesBackFromAChosenFrame) {
    const fs::path viewed = runtime_.Path() / "viewed.dcc";
    const auto recording = sim::GenerateRecording(4, 200, false);
    std::ofstream(viewed, std::ios::binary)
        .write(reinterpret_cast<const char*>(recording.data()),
               static_cast<std::streamsize>(recording.size()));
    const std::optional<QString> sessionFile = dialogs_.answer;
    dialogs_.answer = QString::fromStdString(viewed.string());
    QTest::mouseClick(window_.btnOpenF_DCC, Qt::LeftButton);
    window_.Chart1->Draw();
    window_.ChosenFrame->Choose(20);
    ASSERT_EQ(window_.ChosenFrame->Frame(), 20);

    dialogs_.answer = sessionFile;
    Open(QMessageBox::Yes);
    EXPECT_EQ(window_.ChosenFrame->Frame(), std::nullopt);
    EXPECT_EQ(window_.ChartReadout->Marker(), std::nullopt);
    window_.ChosenFrame->Choose(5);
    EXPECT_EQ(window_.ChosenFrame->Frame(), std::nullopt) << "no choosing on a live chart";

    std::vector<sim::TFrameFields> frames;
    Stream(sim::GenerateRecording(8, 50, false, &frames));
    window_.TabSheet2->Timer1Timer();
    EXPECT_EQ(window_.TabSheet2->dev_dad->Value(), frames.back().Map);
    EXPECT_EQ(window_.TabSheet2->dev_uoz->Value(),
              telemetry::AdvanceDegrees(frames.back().AdvanceCode));
    QTest::mouseClick(window_.btnOpenPort, Qt::LeftButton);
}

} // namespace

namespace {

// A marker set live with M stands at the newest frame and goes into the companion with its
// text; closing keeps it on the chart beside the session's end, and viewing the recording
// afterwards draws it where it was set.
TEST_F(LiveSessionWindowTest, AMarkerSetLiveIsThereWhenTheRecordingIsViewedAgain) {
    // The curve number's level line alone keeps the frames' range on the bottom axis.
    for (QCheckBox* shown :
         {window_.chkoborot, window_.chkdad, window_.chktemp, window_.chkok, window_.chkuoz})
        shown->setChecked(false);
    Open(QMessageBox::Yes);
    QApplication::setActiveWindow(&window_);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
    const auto sent = sim::GenerateRecording(6, 600, false);
    const std::size_t marked = 300 * telemetry::FrameSize;
    Stream({sent.begin(), sent.begin() + static_cast<std::ptrdiff_t>(marked)});
    ASSERT_EQ(window_.Frames().Rows(), 300);

    QTest::keyClick(&window_, Qt::Key_M);
    ASSERT_TRUE(window_.ChartMarkers->Input->isVisible());
    window_.ChartMarkers->Input->insert("детонация");
    QTest::keyClick(window_.ChartMarkers->Input, Qt::Key_Return);
    Stream(sent, marked);
    QTest::mouseClick(window_.btnOpenPort, Qt::LeftButton);

    const auto marks = [&] { return window_.ChartMarkers->Model().Marks(); };
    ASSERT_EQ(marks().size(), 2u);
    EXPECT_EQ(marks()[0].Text, "детонация");
    EXPECT_EQ(marks()[0].Frame, 299) << "the newest frame when M was pressed";
    EXPECT_EQ(marks()[1].Kind, telemetry::TMarkKind::SessionClosed);
    EXPECT_EQ(marks()[1].Frame, 599);
    EXPECT_FALSE(window_.ChartMarkers->Place->isEnabled()) << "the session is over";

    QTest::mouseClick(window_.btnOpenF_DCC, Qt::LeftButton);
    ASSERT_EQ(window_.ChartMarkers->Markers(),
              (std::vector<telemetry::TMarker>{
                  {1, marked, telemetry::TMarkerOrigin::Live, "детонация"}}));
    ASSERT_EQ(marks().size(), 2u);
    EXPECT_EQ(marks()[1].Text, "Сеанс закрыт");
    TChart& chart = *window_.Chart1;
    chart.Draw();
    const QImage shown = chart.grab().toImage();
    const int x = chart.BottomAxis().Map().ToPixel(299);
    const int top = chart.PlotRect().Top;
    EXPECT_EQ(shown.pixel(x, top + 30), chart::TMarkerLines::LineColour);
    EXPECT_EQ(shown.pixel(x + 5, top + 3), chart::TMarkerLines::LineColour) << "its number, 1";
}

} // namespace
