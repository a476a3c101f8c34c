#include "store/ValueStore.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <vector>

namespace {

using store::TExtremes;
using store::TSteps;
using store::TValueStore;

constexpr std::size_t B = TValueStore::BlockSize;
const double NaN = std::numeric_limits<double>::quiet_NaN();
const double Inf = std::numeric_limits<double>::infinity();

std::uint64_t Bits(double v) {
    return std::bit_cast<std::uint64_t>(v);
}

// Values of the kinds a list may hold, stretch by stretch, so that blocks of every form,
// blocks that mix forms and runs broken by one value all occur.
std::vector<double> Values(const char* kind, std::size_t n, std::mt19937& random) {
    std::uniform_real_distribution<double> unit(0, 1);
    const std::string k = kind;
    if (k == "Mixed") {
        // Stretches of the other kinds, which cross block boundaries.
        const char* kinds[] = {"Counter", "Constant", "SmallIntegers", "Floats",
                               "Doubles", "Specials", "WideIntegers",  "NegativeZeros"};
        std::vector<double> v;
        for (std::size_t s = 0; v.size() < n; ++s) {
            const auto part = Values(kinds[s % std::size(kinds)], 300 + s * 577 % 1400, random);
            v.insert(v.end(), part.begin(), part.end());
        }
        v.resize(n);
        return v;
    }
    std::vector<double> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (k == "Counter")
            v[i] = static_cast<double>(i);
        else if (k == "CounterWithGaps") // a frame without a speed now and then
            v[i] = static_cast<double>(i + i / 700);
        else if (k == "FractionalSteps")
            v[i] = 0.1 * static_cast<double>(i);
        else if (k == "Constant")
            v[i] = 270;
        else if (k == "NegativeZeros")
            v[i] = i % 3 == 0 ? -0.0 : 0.0;
        else if (k == "SmallIntegers")
            v[i] = std::floor(unit(random) * 25) * 10;
        else if (k == "WideIntegers")
            v[i] = std::floor(unit(random) * 5e9) - 2e9;
        else if (k == "HugeIntegers")
            v[i] = std::ldexp(std::floor(unit(random) * 1000), 50);
        else if (k == "Floats")
            v[i] = static_cast<float>(unit(random) * 5000);
        else if (k == "Doubles")
            v[i] = 27648000.0 / (1000 + std::floor(unit(random) * 30000));
        else if (k == "Specials") {
            const double specials[] = {NaN, -NaN, Inf, -Inf, -0.0, 4.9e-324, 1e308, -1};
            v[i] = unit(random) < 0.1 ? specials[i % std::size(specials)] : unit(random);
        } else {
            v[i] = 1.5 * static_cast<double>(i);
        }
    }
    return v;
}

void ExpectSame(const TValueStore& store, const std::vector<double>& model) {
    ASSERT_EQ(store.size(), model.size());
    for (std::size_t i = 0; i < model.size(); ++i)
        ASSERT_EQ(Bits(store[i]), Bits(model[i])) << "value " << i;
    std::vector<double> copy(model.size());
    store.Copy(0, copy);
    for (std::size_t i = 0; i < model.size(); ++i)
        ASSERT_EQ(Bits(copy[i]), Bits(model[i])) << "copied value " << i;
}

TExtremes ModelExtremes(const std::vector<double>& model, std::size_t first, std::size_t end) {
    TExtremes e;
    for (std::size_t i = first; i < end; ++i) {
        if (model[i] < e.Min)
            e.Min = model[i];
        if (model[i] > e.Max)
            e.Max = model[i];
        e.NaN |= std::isnan(model[i]);
    }
    return e;
}

// Stretches of every length and place: short ones, ones that end on block edges, long ones.
std::vector<std::pair<std::size_t, std::size_t>> Stretches(std::size_t n, std::mt19937& random) {
    std::vector<std::pair<std::size_t, std::size_t>> s = {{0, n}, {0, 0}, {n / 2, n / 2 + 1}};
    for (std::size_t edge = B; edge < n; edge += 7 * B)
        s.push_back({edge - 1, std::min(n, edge + 1)});
    std::uniform_int_distribution<std::size_t> at(0, n);
    for (int k = 0; k < 300; ++k) {
        std::size_t a = at(random), b = at(random);
        if (k % 3 == 0)
            b = std::min(n, a + at(random) % 80);
        s.push_back({std::min(a, b), std::max(a, b)});
    }
    return s;
}

void ExpectQueriesAnswerAsAScan(const TValueStore& store, const std::vector<double>& model,
                                std::mt19937& random) {
    const std::size_t n = model.size();
    for (const auto& [first, end] : Stretches(n, random)) {
        const TExtremes e = store.Extremes(first, end), m = ModelExtremes(model, first, end);
        ASSERT_EQ(Bits(e.Min), Bits(m.Min)) << first << ".." << end;
        ASSERT_EQ(Bits(e.Max), Bits(m.Max)) << first << ".." << end;
        ASSERT_EQ(e.NaN, m.NaN) << first << ".." << end;
        // Bounds may take another of equal extremes (0 for -0).
        const TExtremes b = store.Bounds(first, end);
        ASSERT_EQ(b.HasValues(), m.HasValues()) << first << ".." << end;
        if (m.HasValues()) {
            ASSERT_EQ(b.Min, m.Min) << first << ".." << end;
            ASSERT_EQ(b.Max, m.Max) << first << ".." << end;
        }
        ASSERT_EQ(b.NaN, m.NaN) << first << ".." << end;
        if (first == end)
            continue;
        // An interval around the value at first: the span stops at the first value off it.
        const double centre = model[first];
        const double half = std::isfinite(centre) ? std::fabs(centre) * 0.01 + 5 : 1;
        auto inside = [&](double low, double high) {
            return low >= centre - half && high <= centre + half;
        };
        std::size_t spanEnd = first;
        while (spanEnd < end && inside(model[spanEnd], model[spanEnd]))
            ++spanEnd;
        ASSERT_EQ(store.SpanEnd(first, end, inside), spanEnd) << first << ".." << end;
        std::size_t spanStart = end;
        while (spanStart > first && inside(model[spanStart - 1], model[spanStart - 1]))
            --spanStart;
        ASSERT_EQ(store.SpanStart(first, end, inside), spanStart) << first << ".." << end;
    }
}

struct StoreCase {
    const char* kind;
    std::size_t count;
};

void PrintTo(const StoreCase& c, std::ostream* os) {
    *os << c.kind;
}

class ValueStore : public ::testing::TestWithParam<StoreCase> {};

TEST_P(ValueStore, EveryValueReadsBackBitForBitAndQueriesAnswerAsAScan) {
    std::mt19937 random(5);
    const auto model = Values(GetParam().kind, GetParam().count, random);
    // One value at a time, and in runs of uneven length.
    TValueStore single, runs;
    for (double v : model) {
        const double one[] = {v};
        ASSERT_EQ(single.Prepare(one), 1u);
        single.Append(one);
    }
    for (std::size_t i = 0; i < model.size();) {
        const std::size_t n = std::min(model.size() - i, std::size_t{1} + random() % 1500);
        runs.AppendAll({model.data() + i, n});
        i += n;
    }
    ExpectSame(single, model);
    ExpectSame(runs, model);
    ExpectQueriesAnswerAsAScan(runs, model, random);
}

INSTANTIATE_TEST_SUITE_P(
    Chart, ValueStore,
    ::testing::Values(StoreCase{"Counter", 20 * B + 17}, StoreCase{"CounterWithGaps", 20 * B},
                      StoreCase{"FractionalSteps", 3 * B + 5}, StoreCase{"Constant", 300 * B},
                      StoreCase{"NegativeZeros", 3 * B + 1}, StoreCase{"SmallIntegers", 5 * B},
                      StoreCase{"WideIntegers", 5 * B}, StoreCase{"HugeIntegers", 3 * B},
                      StoreCase{"Floats", 5 * B + 3}, StoreCase{"Doubles", 5 * B},
                      StoreCase{"Specials", 5 * B}, StoreCase{"Mixed", 300 * B + 999},
                      StoreCase{"Short", 3}),
    [](const auto& info) { return std::string(info.param.kind); });

TEST(ValueStoreSteps, EqualStepsGoInWithoutBeingLookedAtYetReadBackAsGiven) {
    // Frame counters in the pieces a decoder hands over, with a frame left out now and then,
    // and steps that are no exact integers, which the store takes value by value.
    std::vector<double> model;
    TValueStore store;
    std::mt19937 random(3);
    double x = 0;
    auto add = [&](const TSteps& run, std::size_t n) {
        for (std::size_t done = 0; done < n;) {
            const std::size_t fit = store.PrepareSteps(run, done, n - done);
            store.AppendSteps(run, done, fit);
            done += fit;
        }
        for (std::size_t i = 0; i < n; ++i)
            model.push_back(run[i]);
    };
    for (int piece = 0; piece < 400; ++piece) {
        const std::size_t n = 1 + random() % 600;
        add({x, 1}, n);
        x += static_cast<double>(n) + (random() % 40 == 0 ? 1 : 0);
    }
    // Only a block with a frame left out holds its numbers.
    EXPECT_LT(store.Bytes(), model.size() / 2) << "frame numbers take next to no room";
    add({x, 2}, 50); // the next number, but a step of its own
    add({-0.0, -3}, 5);
    add({0.3, 0.1}, 2 * B);
    add({1e300, 1e300}, 10);
    ExpectSame(store, model);
}

TEST(ValueStoreSteps, LowerBoundFindsWhereAValueFalls) {
    std::mt19937 random(9);
    for (const char* kind : {"Counter", "CounterWithGaps", "FractionalSteps"}) {
        const auto model = Values(kind, 30 * B + 123, random);
        TValueStore store;
        store.AppendAll(model);
        std::uniform_real_distribution<double> value(-5, model.back() + 5);
        for (int k = 0; k < 2000; ++k) {
            const double v = k % 2 ? value(random) : std::floor(value(random));
            const std::size_t first = random() % model.size();
            const auto expected = std::lower_bound(model.begin() + first, model.end(), v);
            ASSERT_EQ(store.LowerBound(first, model.size(), v),
                      static_cast<std::size_t>(expected - model.begin()))
                << kind << " from " << first << " for " << v;
        }
    }
}

TEST(ValueStoreChanges, InsertsAndReplacementsKeepEveryOtherValue) {
    std::mt19937 random(21);
    auto model = Values("Mixed", 12 * B, random);
    TValueStore store;
    store.AppendAll(model);
    std::uniform_int_distribution<std::size_t> at(0, 12 * B);
    for (int k = 0; k < 200; ++k) {
        const std::size_t index = std::min(at(random), model.size());
        const double v = k % 4 == 0 ? NaN : static_cast<double>(k) * 0.25;
        std::size_t firstBlock = 0;
        TValueStore rest = store.PrepareInsert(index, v, firstBlock);
        store.CommitInsert(std::move(rest), firstBlock);
        model.insert(model.begin() + static_cast<std::ptrdiff_t>(index), v);

        // Summaries the queries keep must follow the changes.
        (void)store.Extremes(0, store.size());
        const std::size_t changed =
            k % 3 == 0 ? model.size() - 1 - k % 40 : at(random) % model.size();
        store.Set(changed, -static_cast<double>(k));
        model[changed] = -static_cast<double>(k);
    }
    ExpectSame(store, model);
    ExpectQueriesAnswerAsAScan(store, model, random);
    // What replaced blocks leave behind is given back along the way.
    TValueStore compact;
    compact.AppendAll(model);
    EXPECT_LE(store.Bytes(), 3 * compact.Bytes() + (std::size_t{4} << 20));
}

TEST(ValueStoreChanges, ANewValueInTheTailShowsInWhatWasAskedBefore) {
    std::mt19937 random(4);
    auto model = Values("Doubles", 5 * B + 100, random);
    TValueStore store;
    store.AppendAll(model);
    (void)store.Extremes(0, model.size());
    const std::size_t last = model.size() - 1;
    store.Set(last - 50, 1e9);
    model[last - 50] = 1e9;
    ExpectQueriesAnswerAsAScan(store, model, random);
}

TEST(ValueStoreChanges, ReleaseGivesEverythingBack) {
    std::mt19937 random(1);
    TValueStore store;
    store.AppendAll(Values("Doubles", 40 * B, random));
    EXPECT_GT(store.Bytes(), 40 * B * sizeof(double));
    store.Release();
    EXPECT_EQ(store.size(), 0u);
    EXPECT_EQ(store.Bytes(), 0u);
    const double one[] = {1.5};
    store.AppendAll(one);
    EXPECT_EQ(store[0], 1.5);
}

} // namespace
