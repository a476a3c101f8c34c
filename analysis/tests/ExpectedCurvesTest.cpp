#include "analysis/ExpectedCurves.h"
#include "analysis/ExpectedAdvance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace analysis {
namespace {

namespace fs = std::filesystem;

TEST(Interpolation, LinearBetweenNeighboursAndFlatBeyondTheEnds) {
    const std::vector<TCurvePoint> points = {{1000, 10}, {2000, 20}, {4000, 30}};
    struct TCase {
        const char* rule;
        double rpm;
        double expected;
    };
    for (const TCase& c : {TCase{"before the first point: the first's advance", 500, 10},
                           {"at the first point", 1000, 10},
                           {"between the first two", 1500, 15},
                           {"at an inner point", 2000, 20},
                           {"between the last two, a slope of its own", 3000, 25},
                           {"at the last point", 4000, 30},
                           {"after the last point: the last's advance", 9000, 30},
                           {"zero speed", 0, 10}}) {
        SCOPED_TRACE(c.rule);
        EXPECT_EQ(Interpolate(points, c.rpm), c.expected);
    }
}

TEST(Interpolation, OnePointGivesItsAdvanceEverywhere) {
    const std::vector<TCurvePoint> one = {{2500, 17.5}};
    for (const double rpm : {0.0, 2499.0, 2500.0, 7000.0})
        EXPECT_EQ(Interpolate(one, rpm), 17.5) << rpm;
}

TEST(Interpolation, IsThePlainFormulaInDoublePrecision) {
    // The reference script evaluates the same expression; a different order would differ in
    // the last bits, and a frame on the band's edge would change sides.
    const std::vector<TCurvePoint> points = {{833.3, 7.1}, {2950.7, 31.9}};
    const double rpm = 27648000.0 / 12345;
    const double a = 7.1, b = 31.9;
    EXPECT_EQ(Interpolate(points, rpm), a + (b - a) * (rpm - 833.3) / (2950.7 - 833.3));
}

TEST(ExpectedCurves, SortsPointsByTheirSpeedAndAnswersPerCurve) {
    TExpectedCurves curves;
    curves.SetCurve(2, {{3000, 30}, {1000, 10}, {2000, 12}});
    EXPECT_TRUE(curves.Has(2));
    EXPECT_FALSE(curves.Has(1));
    EXPECT_EQ(curves.Expected(2, 1500), 11);
    EXPECT_EQ(curves.Expected(2, 2500), 21);
    EXPECT_EQ(curves.Expected(1, 1500), std::nullopt);
    curves.SetCurve(2, {});
    EXPECT_TRUE(curves.Empty());
}

TEST(ExpectedCurves, ABadCurveChangesNothing) {
    TExpectedCurves curves;
    curves.SetCurve(1, {{1000, 10}});
    const TExpectedCurves before = curves;
    for (const std::vector<TCurvePoint>& bad :
         {std::vector<TCurvePoint>{{1000, 5}, {2000, 6}, {1000, 7}},
          {{-1, 5}},
          {{NAN, 5}},
          {{1000, INFINITY}},
          {{1000, 10}, {std::nextafter(MostCurveRpm, INFINITY), 20}},
          {{1000, -360.5}}}) {
        EXPECT_THROW(curves.SetCurve(1, bad), ECurveError);
        EXPECT_EQ(curves, before);
    }
}

TEST(ExpectedAdvance, IsTheRuleAtEachPeriodsEngineSpeed) {
    TExpectedCurves curves;
    curves.SetCurve(0, {{700, 8}, {2950.5, 31.25}, {5000, 33}});
    curves.SetCurve(200, {{3000, 20}});
    const TExpectedAdvance expected(curves);
    EXPECT_EQ(expected.Curves().count(), 2u);
    for (std::uint32_t period = 1; period < 65536; ++period) {
        const auto p = static_cast<std::uint16_t>(period);
        ASSERT_EQ(expected.Expected(0, p), *curves.Expected(0, 27648000.0 / period)) << period;
        ASSERT_EQ(expected.Expected(200, p), 20);
        ASSERT_TRUE(std::isnan(expected.Expected(1, p)));
    }
    EXPECT_TRUE(std::isnan(expected.Expected(0, 0))) << "no speed";
}

TEST(CurveFile, ReadsPointsInAnyOrderWithTheFormsEditorsWrite) {
    const std::string text = "\xEF\xBB\xBF"
                             "curve,rpm,advance\r\n"
                             "\r\n"
                             "3, 4000 ,35.5\r\n"
                             "3,800,8\r\n"
                             "0,1000,+1e1\r\n"
                             "  \r\n"
                             "3,2000.25,-2\r\n";
    const TExpectedCurves curves = ParseCurveFile(text);
    EXPECT_EQ(std::vector<TCurvePoint>(curves.Points(3).begin(), curves.Points(3).end()),
              (std::vector<TCurvePoint>{{800, 8}, {2000.25, -2}, {4000, 35.5}}));
    EXPECT_EQ(std::vector<TCurvePoint>(curves.Points(0).begin(), curves.Points(0).end()),
              (std::vector<TCurvePoint>{{1000, 10}}));
    EXPECT_EQ(CurveFileText(curves), "curve,rpm,advance\n"
                                     "0,1000,10\n"
                                     "3,800,8\n"
                                     "3,2000.25,-2\n"
                                     "3,4000,35.5\n");
}

TEST(CurveFile, WrittenTextReadsBackTheSameNumbers) {
    TExpectedCurves curves;
    curves.SetCurve(255, {{0.1, 1.0 / 3}, {27648000.0 / 4661, 5.625 + 0.17578125 * 77}});
    curves.SetCurve(7, {{6999.999999999999, -0.0001}});
    EXPECT_EQ(ParseCurveFile(CurveFileText(curves)), curves);
}

TEST(CurveFile, BadFilesAreRefusedNamingTheLine) {
    struct TCase {
        const char* rule;
        std::string text;
        std::string message;
    };
    const std::string header = "curve,rpm,advance\n";
    for (const TCase& c : {
             TCase{"empty", "", "Файл кривых пуст"},
             {"blank lines only", "\n  \r\n", "Файл кривых пуст"},
             {"a header without points", header + "\n", "В файле кривых нет ни одной точки"},
             {"wrong header", "curve,speed,advance\n0,1000,10\n",
              "Файл кривых, строка 1: первой строкой ожидается заголовок curve,rpm,advance"},
             {"no header", "0,1000,10\n", "строка 1: первой строкой ожидается заголовок"},
             {"semicolons", header + "0;1000;10\n", "строка 2: нужны три значения через запятую"},
             {"decimal comma", header + "0,1000,10,5\n",
              "строка 2: нужны три значения через запятую: кривая, обороты, угол (дробная часть "
              "— через точку)"},
             {"two columns", header + "\n0,1000\n", "строка 3: нужны три значения"},
             {"speed not a number", header + "1,abc,10\n", "строка 2: обороты «abc» — не число"},
             {"advance not a number", header + "1,1000,12.5x\n",
              "строка 2: угол «12.5x» — не число"},
             {"advance empty", header + "1,1000,\n", "строка 2: угол «» — не число"},
             {"infinite speed", header + "1,inf,10\n", "строка 2: обороты «inf» — не число"},
             {"curve number too large", header + "256,1000,10\n",
              "строка 2: номер кривой «256» — не целое число от 0 до 255"},
             {"curve number not whole", header + "1.5,1000,10\n", "строка 2: номер кривой «1.5»"},
             {"negative speed", header + "1,-5,10\n",
              "строка 2: обороты не могут быть отрицательными"},
             {"speed beyond any engine's", header + "1,1000,10\n1,1e300,10\n",
              "строка 3: обороты больше 1000000 об/мин"},
             {"advance beyond a turn", header + "1,1000,-1e300\n",
              "строка 2: угол больше 360° по модулю"},
             {"duplicate speed in a curve", header + "1,1000,10\n2,1000,11\n1,2000,12\n1,1000,13\n",
              "строка 5: у кривой 1 уже есть точка на 1000 об/мин (строка 2)"},
             {"long value quoted in part", header + "1," + std::string(100, 'x') + ",1\n",
              "«" + std::string(40, 'x') + "…»"},
         }) {
        SCOPED_TRACE(c.rule);
        try {
            (void)ParseCurveFile(c.text);
            ADD_FAILURE() << "taken";
        } catch (const ECurveError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

class CurveFileOnDisk : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir = fs::temp_directory_path() / ("telmira-curves-" + std::to_string(::getpid()));
};

TEST_F(CurveFileOnDisk, WrittenFileReadsBackAndReplacesTheOldOne) {
    TExpectedCurves curves;
    curves.SetCurve(1, {{1000, 10}, {3000, 30}});
    const fs::path path = dir / "curves.csv";
    std::ofstream(path) << "old";
    WriteCurveFile(path, curves);
    EXPECT_EQ(ReadCurveFile(path), curves);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1)
        << "nothing left beside it";
}

TEST_F(CurveFileOnDisk, FailuresSayWhatTheWindowSays) {
    TExpectedCurves curves;
    curves.SetCurve(1, {{1000, 10}});
    EXPECT_THROW(
        {
            try {
                (void)ReadCurveFile(dir / "missing.csv");
            } catch (const ECurveError& e) {
                EXPECT_STREQ(e.what(), "Ошибка открытия файла");
                throw;
            }
        },
        ECurveError);
    EXPECT_THROW((void)ReadCurveFile(dir), ECurveError) << "a folder";
    try {
        WriteCurveFile(dir / "no" / "such" / "folder.csv", curves);
        ADD_FAILURE() << "written";
    } catch (const ECurveError& e) {
        EXPECT_STREQ(e.what(), "Ошибка записи файла");
    }
    EXPECT_FALSE(fs::exists(dir / "no"));
}

} // namespace
} // namespace analysis
