#include "telemetry/FrameTable.h"
#include "telemetry/FrameTimes.h"
#include "telemetry/RecordingFile.h"
#include "telemetry/RecordingView.h"
#include "telemetry/tests/CompanionFixtures.h"

#include <QImage>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct ToolRun {
    int status;
    std::string out;
};

// Runs the installed tool with stdout (and, when asked, stderr) captured.
ToolRun Tool(const std::string& arguments, bool withStderr = false) {
    const std::string command = std::string(TELMIRA_BIN_DIR) + "/telmira-dcc " + arguments +
                                (withStderr ? " 2>&1" : " 2>/dev/null");
    FILE* pipe = ::popen(command.c_str(), "r");
    ToolRun run{-1, {}};
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.out.append(buffer, n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class RecordingTool : public ::testing::Test {
protected:
    fs::path Write(const std::string& name, const std::vector<unsigned char>& bytes) {
        const fs::path path = dir / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return path;
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir = fs::temp_directory_path() / ("telmira-dcc-test-" + std::to_string(::getpid()));
    void SetUp() override { fs::create_directories(dir); }
};

TEST_F(RecordingTool, CsvHasOneLinePerCompletedFrame) {
    const auto path = Write("r.dcc", {0x01, 0xFF, 0xFF, 0x12, 0x34, 1, 2, 3, 4,   5, // frame 0
                                      0xFF, 0xFF, 0x00, 0x00, 9,    8, 7, 6, 255,    // period 0
                                      0xFF, 0xFF, 0x12, 0x00, 0,    0, 0, 0, 0,      // 6000 rpm
                                      0xFF, 0xFF, 0x10, 0x00, 1});                   // cut short
    const ToolRun run = Tool("csv " + path.string());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "frame,period,rpm,map,curve,temperature,octane,advance_code,advance\n"
                       "0,4660,5933.0472103004295,1,2,3,4,5,6.50390625\n"
                       "1,0,,9,8,7,6,255,50.44921875\n"
                       "2,4608,6000,0,0,0,0,0,5.625\n");
}

// Takes no points: only the frames of a replay are wanted.
class TNoPlot final : public telemetry::TFramePlot {
public:
    void AddPoints(int, double, std::span<const double>, std::uint32_t) override {}
};

TEST_F(RecordingTool, CsvListsExactlyTheFramesOfTheViewersFrameTable) {
    for (const auto& [seed, noise] : {std::pair{1, false}, {2, true}, {3, true}, {4, true}}) {
        SCOPED_TRACE(seed);
        const fs::path path = dir / ("sim" + std::to_string(seed) + ".dcc");
        const std::string command = std::string(TELMIRA_BIN_DIR) + "/telmira-sim --out " +
                                    path.string() + " --frames 20000 --seed " +
                                    std::to_string(seed) + (noise ? " --noise" : "") +
                                    " > /dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;

        telemetry::TFrameTable frames;
        {
            const telemetry::TViewedFile file(path.string());
            const telemetry::TRecordingMapping mapping(file);
            const telemetry::TRecordingView view(mapping);
            TNoPlot plot;
            telemetry::TLatestValues values;
            std::uint8_t state = 0;
            view.Replay(state, values, plot, nullptr, &frames);
        }
        std::string table = telemetry::CsvHeader;
        for (std::int64_t k = 0; k < frames.Rows(); ++k)
            telemetry::AppendCsvLine(table, *frames.Frame(k));
        const ToolRun csv = Tool("csv " + path.string());
        ASSERT_EQ(csv.status, 0);
        EXPECT_EQ(csv.out, table);
        EXPECT_GE(frames.Rows(), 19900);
        const ToolRun info = Tool("info " + path.string());
        EXPECT_NE(info.out.find("frames: " + std::to_string(frames.Rows()) + "\n"),
                  std::string::npos);

        // With a companion whose pace changes at every checkpoint, csv --time gives each frame
        // the time the window gives it.
        const std::vector<std::uint8_t> bytes = telemetry::testing::ReadFile(path);
        telemetry::testing::TCompanionBuilder session(bytes);
        session.Start();
        std::int64_t micros = 0;
        for (std::uint64_t at = 0; at < bytes.size(); at += 4099) {
            session.Checkpoint(at, micros);
            micros += 700'000 + static_cast<std::int64_t>(at % 3) * 90'000;
        }
        session.Checkpoint(bytes.size(), micros);
        telemetry::testing::WriteFile(path.string() + ".tlm", session.bytes);
        const telemetry::TRecordingTimes times =
            telemetry::ReadRecordingTimes(path.string(), bytes);
        ASSERT_TRUE(times.Used()) << telemetry::CompanionStateText(times.State());
        std::string timed = telemetry::CsvHeaderWithTime;
        for (std::int64_t k = 0; k < frames.Rows(); ++k)
            telemetry::AppendCsvLine(timed, *frames.Frame(k),
                                     telemetry::FrameTime(frames, times, k).Seconds);
        EXPECT_EQ(Tool("csv --time " + path.string()).out, timed);
        const std::uint64_t end = frames.EndOffset(100);
        EXPECT_EQ(telemetry::FrameAt(frames, end), 100) << "a marker at a frame's end is at it";
        EXPECT_EQ(telemetry::FrameAt(frames, end - 1), 99) << "and one inside it at the last";
        EXPECT_EQ(telemetry::FrameAt(frames, 0), -1);
    }
}

TEST_F(RecordingTool, InfoCountsFramesSkippedBytesAndTheCutFrame) {
    const auto path = Write(
        "r.dcc", {0x01, 0x02, 0xFF, 0x03, 0xFF, 0xFF, 0x12, 0x00, 4, 2, 3, 4, 5, 0xFF, 0xFF, 0x12});
    const ToolRun run = Tool("info " + path.string());
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("size: 16 bytes\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("frames: 1\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("skipped: 4 bytes\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("last frame cut short: yes\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("rpm: min 6000, max 6000\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("map: min 4, max 4\n"), std::string::npos) << run.out;
}

// The count of telmira's status line: bytes of the frame the file ends inside, from its first
// 0xFF on, are not skipped.
TEST_F(RecordingTool, InfoTakesALoneSyncByteAtTheEndForTheStartOfACutFrame) {
    const struct {
        const char* rule;
        std::vector<unsigned char> bytes;
        const char* skipped;
        const char* cut;
    } cases[] = {
        {"a lone 0xFF at the end", {0x01, 0xFF, 0xFF, 0x12, 0, 4, 2, 3, 4, 5, 0xFF}, "1", "yes"},
        {"0xFF and a byte that is not one", {0xFF, 0x07}, "2", "no"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        const ToolRun run = Tool("info " + Write("r.dcc", c.bytes).string());
        EXPECT_NE(run.out.find("skipped: " + std::string(c.skipped) + " bytes\n"),
                  std::string::npos)
            << run.out;
        EXPECT_NE(run.out.find("last frame cut short: " + std::string(c.cut) + "\n"),
                  std::string::npos)
            << run.out;
    }
}

TEST_F(RecordingTool, EmptyFileIsValid) {
    const auto path = Write("empty.dcc", {});
    const ToolRun csv = Tool("csv " + path.string());
    EXPECT_EQ(csv.status, 0);
    EXPECT_EQ(csv.out, "frame,period,rpm,map,curve,temperature,octane,advance_code,advance\n");
    const ToolRun info = Tool("info " + path.string());
    EXPECT_EQ(info.status, 0);
    EXPECT_NE(info.out.find("frames: 0\n"), std::string::npos);
}

TEST_F(RecordingTool, BadFilesGiveOneLineAndStatusOne) {
    for (const auto& [path, reason] :
         {std::pair{(dir / "missing.dcc").string(), "No such file or directory"},
          std::pair{dir.string(), "Is a directory"}}) {
        for (const char* command : {"csv ", "info "}) {
            const ToolRun run = Tool(command + path, true);
            EXPECT_EQ(run.status, 1) << command << path;
            EXPECT_EQ(run.out, "telmira-dcc: " + path + ": " + reason + "\n");
        }
    }
    EXPECT_EQ(Tool("frames x.dcc").status, 2);
}

TEST_F(RecordingTool, PngIsTheChartAfterAReplay) {
    std::vector<unsigned char> bytes;
    for (int k = 0; k < 200; ++k) { // speed falling from 3000 rpm, MAP rising
        const auto b = static_cast<unsigned char>(k);
        bytes.insert(bytes.end(), {0xFF, 0xFF, 0x24, b, b, 1, 2, 3, 40});
    }
    const auto path = Write("r.dcc", bytes);
    const fs::path out = dir / "chart.png";
    ASSERT_EQ(Tool("png " + path.string() + " " + out.string()).status, 0);
    QImage image(QString::fromStdString(out.string()));
    ASSERT_EQ(image.size(), QSize(1001, 473));
    int red = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            red += image.pixel(x, y) == qRgb(255, 0, 0);
    EXPECT_GT(red, 500) << "the engine-speed line is drawn in its points' colour";

    ASSERT_EQ(Tool("png " + path.string() + " " + out.string() + " --size 400x300").status, 0);
    EXPECT_EQ(QImage(QString::fromStdString(out.string())).size(), QSize(400, 300));
    EXPECT_EQ(Tool("png " + path.string() + " " + out.string() + " --size 400").status, 2);
    EXPECT_EQ(Tool("png " + (dir / "none.dcc").string() + " " + out.string()).status, 1);
}

TEST_F(RecordingTool, PngNeverGoesOverARecordingThatASessionMakes) {
    const std::vector<unsigned char> frame{0xFF, 0xFF, 0x24, 0, 0, 1, 2, 3, 40};
    const auto path = Write("r.dcc", frame);
    const fs::path held = dir / "held.dcc";
    telemetry::TRecordingFile recording(held.string());
    recording.Write(frame, telemetry::TRecordingFile::TClock::now());

    const ToolRun run = Tool("png " + path.string() + " " + held.string(), true);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("telmira-dcc: Cannot create " + held.string() +
                           ": being written by another session or program\n"),
              std::string::npos)
        << run.out;
    std::ifstream in(held, std::ios::binary);
    EXPECT_EQ(std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {}), frame);
}

TEST_F(RecordingTool, FilesOverFourGibibytesWork) {
    const fs::path path = dir / "big.dcc";
    const std::uintmax_t gap = (std::uintmax_t{1} << 32) + 7;
    {
        std::ofstream out(path, std::ios::binary);
        const unsigned char frame[] = {0xFF, 0xFF, 0x12, 0x00, 1, 2, 3, 4, 5};
        out.write(reinterpret_cast<const char*>(frame), sizeof frame);
        out.seekp(static_cast<std::streamoff>(gap));
        out.write(reinterpret_cast<const char*>(frame), sizeof frame);
    }
    const ToolRun run = Tool("info " + path.string());
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("size: " + std::to_string(gap + 9) + " bytes\n"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("frames: 2\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("skipped: " + std::to_string(gap - 9) + " bytes\n"), std::string::npos)
        << run.out;
}

// Forty frames: twenty in the first tenth of a second, then a pause of three seconds, then
// twenty more in a tenth, with the companion a session would have written.
class RecordingWithCompanion : public RecordingTool {
protected:
    std::vector<unsigned char> recording;
    std::vector<unsigned char> companion;

    void SetUp() override {
        RecordingTool::SetUp();
        for (int k = 0; k < 40; ++k)
            recording.insert(recording.end(), {0xFF, 0xFF, 0x12, 0x00, 1, 2, 3, 4, 5});
        using K = telemetry::TSessionEventKind;
        telemetry::testing::TCompanionBuilder session(recording);
        session.Start()
            .Checkpoint(0, 0)
            .Checkpoint(180, 100'000)
            .Event(K::PortLost, 180, 150'000)
            .Event(K::PortBack, 180, 3'000'000)
            .Checkpoint(180, 3'100'000)
            .Event(K::BytesSkipped, 200, 3'110'000, 5)
            .Event(K::CurveChanged, 250, 3'120'000, 4)
            .Marker(1, 90, "стук")
            .Marker(2, 300, "дома", telemetry::TMarkerOrigin::Viewing)
            .Event(K::BytesSkipped, 300, 3'150'000, 2)
            .Checkpoint(360, 3'200'000)
            .Event(K::SessionClosed, 360, 3'200'100);
        companion = session.bytes;
    }
    fs::path WriteBoth() {
        const auto path = Write("r.dcc", recording);
        Write("r.dcc.tlm", companion);
        return path;
    }
    // The time column of csv --time.
    static std::vector<std::string> Times(const std::string& csv) {
        std::vector<std::string> times;
        for (std::size_t at = csv.find('\n') + 1; at < csv.size(); at = csv.find('\n', at) + 1) {
            const std::size_t end = csv.find('\n', at);
            const std::size_t comma = csv.rfind(',', end);
            times.push_back(csv.substr(comma + 1, end - comma - 1));
        }
        return times;
    }
};

TEST_F(RecordingWithCompanion, CsvWithTimeAddsWhenEachFrameCameAndSaysWhenItIsEstimated) {
    const auto path = WriteBoth();
    const ToolRun measured = Tool("csv --time " + path.string(), true);
    EXPECT_EQ(measured.status, 0);
    ASSERT_EQ(measured.out.substr(0, measured.out.find('\n') + 1),
              "frame,period,rpm,map,curve,temperature,octane,advance_code,advance,time\n");
    const auto times = Times(measured.out);
    ASSERT_EQ(times.size(), 40u) << "standard error says nothing: " << measured.out;
    EXPECT_EQ(times[0], "0.005");
    EXPECT_EQ(times[19], "0.100") << "the last frame before the pause";
    EXPECT_EQ(times[20], "3.105") << "the first after it";
    EXPECT_EQ(times[39], "3.200");

    recording[103] ^= 1; // the companion now belongs to another recording
    Write("r.dcc", recording);
    const ToolRun foreign = Tool("csv " + path.string() + " --time", true);
    EXPECT_EQ(foreign.status, 0);
    EXPECT_EQ(foreign.out.substr(0, foreign.out.find('\n') + 1),
              "telmira-dcc: " + path.string() +
                  ": times estimated: the companion belongs to another recording, or the "
                  "recording was changed\n");

    fs::remove(dir / "r.dcc.tlm");
    const auto estimated = Times(Tool("csv --time " + path.string()).out);
    ASSERT_EQ(estimated.size(), 40u);
    EXPECT_EQ(estimated[0], "0.002") << "9 bytes at 5760 a second";
    EXPECT_EQ(estimated[39], "0.062");
    EXPECT_EQ(Tool("info --time " + path.string()).status, 2);
}

TEST_F(RecordingWithCompanion, FiguresTimeTheSelectionAsTheWindowDoesAndSayWhenEstimated) {
    const std::string path = WriteBoth().string();
    // The fields of the rpm line, the first after the header.
    const auto rpm = [](const std::string& out) {
        std::vector<std::string> fields;
        std::stringstream line(out.substr(out.find("\nrpm,") + 1));
        for (std::string field; fields.size() < 10 && std::getline(line, field, ',');)
            fields.push_back(field.substr(0, field.find('\n')));
        return fields;
    };
    const ToolRun measured = Tool("figures " + path + " --frames 19:39", true);
    EXPECT_EQ(measured.status, 0);
    EXPECT_EQ(measured.out.substr(0, measured.out.find('\n') + 1),
              "quantity,first_frame,last_frame,frames,seconds,min,max,mean,std,timing\n")
        << "standard error says nothing";
    ASSERT_EQ(rpm(measured.out).size(), 10u) << measured.out;
    EXPECT_NEAR(std::stod(rpm(measured.out)[4]), 3.1, 1e-9) << "across the pause";
    EXPECT_EQ(rpm(measured.out)[9], "measured");

    fs::remove(dir / "r.dcc.tlm");
    const ToolRun estimated = Tool("figures " + path + " --frames 19:39", true);
    EXPECT_EQ(estimated.out.substr(0, estimated.out.find('\n') + 1),
              "telmira-dcc: " + path + ": times estimated: no companion\n");
    ASSERT_EQ(rpm(estimated.out).size(), 10u) << estimated.out;
    EXPECT_EQ(rpm(estimated.out)[4], "0.03125") << "20 frames of 9 bytes at 5760 bytes a second";
    EXPECT_EQ(rpm(estimated.out)[9], "estimated");
}

// Markers as the companion's last records leave them, among the events by frame, with the
// frames' times; without a companion that can be used, the header alone and the reason.
TEST_F(RecordingWithCompanion, MarkersListsTheMarksByFrameAndSaysWhyWhenThereAreNone) {
    telemetry::TRecordEncoder more(companion);
    more.Marker({3, 27, telemetry::TMarkerOrigin::Viewing, "начало,\n\"холодный\""});
    more.Marker({4, 200, telemetry::TMarkerOrigin::Viewing, "лишняя"});
    more.Rename(1, "глухой стук");
    more.Delete(4);
    const std::string path = WriteBoth().string();
    const ToolRun run = Tool("markers " + path, true);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "number,frame,time,kind,text\n"
                       "3,2,0.015,marker,\"начало,\n\"\"холодный\"\"\"\n"
                       "1,9,0.050,marker,глухой стук\n"
                       ",19,0.100,lost,\n"
                       ",19,0.100,back,\n"
                       ",21,3.110,skipped,5\n"
                       ",26,3.135,curve,4\n"
                       "2,32,3.165,marker,дома\n"
                       ",32,3.165,skipped,2\n"
                       ",39,3.200,closed,\n");

    fs::remove(dir / "r.dcc.tlm");
    const ToolRun none = Tool("markers " + path, true);
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, "telmira-dcc: " + path +
                            ": no markers or events, and times estimated: no companion\n"
                            "number,frame,time,kind,text\n");

    companion[12] ^= 0x40; // inside the first records
    Write("r.dcc.tlm", companion);
    const ToolRun garbled = Tool("markers " + path, true);
    EXPECT_EQ(garbled.status, 0);
    EXPECT_EQ(garbled.out, "telmira-dcc: " + path +
                               ": no markers or events, and times estimated: the companion is "
                               "garbled\n"
                               "number,frame,time,kind,text\n");
    EXPECT_EQ(Tool("markers " + path + " extra.dcc").status, 2);
    EXPECT_EQ(Tool("markers " + (dir / "missing.dcc").string()).status, 1);
}

TEST_F(RecordingWithCompanion, InfoSaysHowTheTimesAreHadAndCountsMarkersAndEventsByKind) {
    const ToolRun run = Tool("info " + WriteBoth().string());
    EXPECT_EQ(run.status, 0);
    const std::string companionLines =
        "times: measured\n"
        "start: 2023-11-15 01:13:20.000 +03:00\n"
        "duration: 3.200 s\n"
        "markers: 2 (live 1, viewing 1)\n"
        "events: port lost 1, port back 1, bytes skipped 2 (7 bytes), curve changed 1, session "
        "closed 1\n";
    ASSERT_GE(run.out.size(), companionLines.size());
    EXPECT_EQ(run.out.substr(run.out.size() - companionLines.size()), companionLines);

    recording.resize(recording.size() + 576, 0x11); // written to after the session closed
    const ToolRun appended = Tool("info " + Write("r.dcc", recording).string());
    EXPECT_NE(appended.out.find("times: measured; the recording grew after its session closed, "
                                "the bytes added estimated\n"),
              std::string::npos)
        << appended.out;
    EXPECT_NE(appended.out.find("duration: 3.300 s (estimated)\n"), std::string::npos);
}

TEST_F(RecordingTool, AnalysisCommandsPrintTheLibrarysCsv) {
    // 3000 and 6000 об/мин, a period of 0, and curve 2, which has no expected curve.
    const auto path = Write("r.dcc", {0xFF, 0xFF, 0x24, 0x00, 20, 1, 90, 0, 140, //
                                      0xFF, 0xFF, 0x12, 0x00, 40, 1, 90, 0, 100, //
                                      0xFF, 0xFF, 0x00, 0x00, 40, 1, 90, 0, 100, //
                                      0xFF, 0xFF, 0x24, 0x00, 20, 2, 60, 0, 0});
    std::ofstream(dir / "c.csv") << "curve,rpm,advance\n1,3000,30\n1,6000,30\n";
    const std::string curves = (dir / "c.csv").string();
    EXPECT_EQ(Tool("band " + path.string() + " " + curves).out, "curve,frames,outside\n1,2,1\n");
    EXPECT_EQ(Tool("band " + path.string() + " " + curves + " --tolerance 12.5").out,
              "curve,frames,outside\n1,2,0\n");
    EXPECT_EQ(Tool("table " + path.string() + " --stat count --speed-bins 0:6000:3000").out,
              "speed_from,speed_to,map_from,map_to,frames,value\n"
              "3000,6000,16,32,2,2\n"
              "3000,6000,32,48,1,1\n");
    EXPECT_EQ(Tool("table " + path.string() + " --range temperature:70: --minus " + path.string() +
                   " --speed-bins 3000:3001:1")
                  .out,
              "speed_from,speed_to,map_from,map_to,frames_a,frames_b,value\n"
              "3000,3001,16,32,1,1,0\n");
    EXPECT_EQ(Tool("table " + path.string() + " --deviation " + curves + " --map-bins 1").out,
              "speed_from,speed_to,map_from,map_to,frames,value\n"
              "3000,3250,0,256,1,0.234375\n"
              "6000,6250,0,256,1,-6.796875\n")
        << "a speed on an edge is in the bin above it";
    EXPECT_EQ(Tool("density " + path.string() + " --x map:0:50:5 --y curve:0:4:2 --colour rpm").out,
              "x,y,frames,colour\n2,0,1,3000\n4,0,2,6000\n2,1,1,3000\n")
        << "a frame without speed is drawn, and not in the colour's mean";
    EXPECT_EQ(Tool("figures " + path.string() + " --frames 3:3").out,
              "quantity,first_frame,last_frame,frames,seconds,min,max,mean,std,timing\n"
              "rpm,3,3,1,0,3000,3000,3000,0,estimated\n"
              "map,3,3,1,0,20,20,20,0,estimated\n"
              "curve,3,3,1,0,2,2,2,0,estimated\n"
              "temperature,3,3,1,0,60,60,60,0,estimated\n"
              "octane,3,3,1,0,0,0,0,0,estimated\n"
              "advance,3,3,1,0,5.625,5.625,5.625,0,estimated\n");
}

TEST_F(RecordingTool, AnalysisCommandsRefuseWhatTheyCannotDo) {
    const auto path = Write("r.dcc", {0xFF, 0xFF, 0x24, 0x00, 20, 1, 90, 0, 140}).string();
    std::ofstream(dir / "bad.csv") << "curve,rpm,advance\n1,3000,30\n1,3000,31\n";
    const ToolRun bad = Tool("band " + path + " " + (dir / "bad.csv").string(), true);
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out, "telmira-dcc: " + (dir / "bad.csv").string() +
                           ": Файл кривых, строка 3: у кривой 1 уже есть точка на 3000 об/мин "
                           "(строка 2)\n");
    EXPECT_EQ(Tool("band " + path + " " + (dir / "none.csv").string()).status, 1);
    for (const std::string& wrong :
         {"band " + path, "table " + path + " --tolerance 1", "table " + path + " --stat median",
          "table " + path + " --speed-bins 0:7000", "table " + path + " --speed-bins 7000:0:250",
          "table " + path + " --map-bins 0", "table " + path + " --map-bins 257",
          "table " + path + " --quantity deviation", "table " + path + " --stat",
          std::string("table"), "table " + path + " --deviation c.csv --quantity map",
          "table " + path + " --stat min --stat max", "table " + path + " --curve 256",
          "table " + path + " --range speed:1:2", "table " + path + " --frames 5:4",
          "density " + path + " --x rpm:0:1:0", "density " + path + " --colour deviation",
          "density " + path + " --x rpm:0:7000:16384 --y map:0:256:16384",
          "figures " + path + " --curve 1"}) {
        const ToolRun run = Tool(wrong, true);
        EXPECT_EQ(run.status, 2) << wrong << ": " << run.out;
        EXPECT_NE(run.out.find("; see telmira-dcc --help\n"), std::string::npos) << run.out;
    }
    const ToolRun help = Tool("table " + path + " --stat nonsense --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--speed-bins FROM:TO:STEP"), std::string::npos);
}

} // namespace
