// The simulated logger board's frames, physics and damaged frames.

#include "tools/boardmodel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <functional>
#include <map>
#include <regex>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using sim::Fault;
using sim::RawSample;
using Text = std::string;

struct Reading
{
    double volts, amps, rpm, wind;
};

// What the program makes of a sample with the calibration file it ships.
Reading decode(const RawSample& raw)
{
    return {raw.v / 38.46, (raw.i - 0.52) / 10.3, raw.r / 2.0 * 60.0, raw.s / 1.6};
}

// (tag, value) pairs in frame order.
std::vector<std::pair<Text, Text>> tagsOf(const Text& text)
{
    static const std::regex tag(R"(<([A-Z])>([^<]*)</\1>)");
    std::vector<std::pair<Text, Text>> found;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), tag);
         it != std::sregex_iterator(); ++it) {
        found.emplace_back((*it)[1], (*it)[2]);
    }
    return found;
}

// --- Frames and physics ----------------------------------------------------------------------

TEST(FrameText, IsExactlyTheBoardsFormat)
{
    EXPECT_EQ(sim::frameText({512, 530, 10, 1, 25}),
              "[<V>512</V><I>530</I><R>10</R><M>1</M><S>25</S>]\r\n");
    EXPECT_EQ(sim::frameText({0, -21, 0, 0, 0}),
              "[<V>0</V><I>-21</I><R>0</R><M>0</M><S>0</S>]\r\n");
}

class BoardDay : public ::testing::TestWithParam<std::uint32_t>
{
protected:
    static constexpr int kSeconds = 24 * 60 * 60;
    void SetUp() override
    {
        sim::BoardModel model(GetParam());
        for (int t = 0; t < kSeconds; ++t) {
            m_day.push_back(model.step(1.0));
        }
    }
    bool switchesOn(std::size_t t) const { return m_day[t].m == 1 && m_day[t - 1].m == 0; }

    std::vector<RawSample> m_day;
};

TEST_P(BoardDay, StaysInPlausibleRanges)
{
    double minWind = 1e9, maxWind = 0, maxAmps = 0;
    for (const RawSample& raw : m_day) {
        const Reading r = decode(raw);
        SCOPED_TRACE(sim::frameText(raw));
        ASSERT_TRUE(r.volts >= 12.0 && r.volts <= 14.5);
        ASSERT_TRUE(r.wind >= 0.0 && r.wind <= 61.0);
        ASSERT_TRUE(r.rpm >= 0.0 && r.rpm <= 900.0);
        // The turbine's current at its rated 600 W and the lowest battery volts.
        ASSERT_LE(r.amps, 600.0 / 12.0 + 0.5);
        ASSERT_TRUE(raw.m == 0 || raw.m == 1);
        // The current is the turbine's: never negative, and a still turbine charges nothing.
        ASSERT_GE(raw.i, 0);
        ASSERT_TRUE(raw.r > 0 || raw.m == 1 || std::abs(r.amps) < 0.1);
        minWind = std::min(minWind, r.wind);
        maxWind = std::max(maxWind, r.wind);
        maxAmps = std::max(maxAmps, r.amps);
    }
    // A day's weather has calm and windy spells, and the turbine charges in the windy ones.
    EXPECT_LT(minWind, 10.0);
    EXPECT_GT(maxWind, 30.0);
    EXPECT_GT(maxAmps, 5.0);
}

TEST_P(BoardDay, LoadComesOnSoonAndSwitchesBothWays)
{
    const auto firstOn =
        std::find_if(m_day.begin(), m_day.end(), [](const RawSample& s) { return s.m == 1; });
    EXPECT_LT(firstOn - m_day.begin(), 20);

    int ons = 0, offs = 0, shortest = kSeconds, longest = 0, onSince = -1;
    for (std::size_t t = 1; t < m_day.size(); ++t) {
        if (switchesOn(t)) {
            ++ons;
            onSince = static_cast<int>(t);
        } else if (m_day[t].m == 0 && m_day[t - 1].m == 1 && onSince >= 0) {
            ++offs;
            shortest = std::min(shortest, static_cast<int>(t) - onSince);
            longest = std::max(longest, static_cast<int>(t) - onSince);
        }
    }
    EXPECT_GT(ons, 50);
    EXPECT_GT(offs, 50);
    // On for tens of seconds to a few minutes at a time.
    EXPECT_GE(shortest, 10);
    EXPECT_LE(longest, 300);
}

TEST_P(BoardDay, VoltsRiseWithChargeAndSagWithTheLoad)
{
    double charging = 0, idle = 0, sag = 0;
    int chargingCount = 0, idleCount = 0, switchCount = 0;
    for (std::size_t t = 1; t + 10 < m_day.size(); ++t) {
        const Reading r = decode(m_day[t]);
        if (r.amps > 10.0) {
            charging += r.volts;
            ++chargingCount;
        } else if (r.amps < 0.5) {
            idle += r.volts;
            ++idleCount;
        }
        if (switchesOn(t)) {
            sag += decode(m_day[t + 10]).volts - decode(m_day[t - 1]).volts;
            ++switchCount;
        }
    }
    ASSERT_TRUE(chargingCount > 0 && idleCount > 0 && switchCount > 0);
    EXPECT_GT(charging / chargingCount, idle / idleCount + 0.2);
    EXPECT_LT(sag / switchCount, -0.05);
}

INSTANTIATE_TEST_SUITE_P(Seeds, BoardDay, ::testing::Values(1u, 42u, 20240917u));

TEST(BoardModel, SameSeedRepeatsDifferentSeedDiffers)
{
    sim::BoardModel a(7), b(7), c(8);
    bool differs = false;
    for (int t = 0; t < 3600; ++t) {
        const RawSample sample = a.step(1.0);
        ASSERT_EQ(sample, b.step(1.0)) << "at step " << t;
        differs = differs || !(sample == c.step(1.0));
        const auto fault = a.nextFault(0.3);
        ASSERT_EQ(fault, b.nextFault(0.3));
        if (fault) {
            const Text frame = sim::frameText(sample);
            ASSERT_EQ(a.malform(*fault, frame, frame), b.malform(*fault, frame, frame));
        }
    }
    EXPECT_TRUE(differs);
}

TEST(BoardModel, DamagingFramesLeavesTheReadingsAlone)
{
    sim::BoardModel plain(11), faulty(11);
    for (int t = 0; t < 500; ++t) {
        const RawSample sample = faulty.step(0.5);
        if (const auto fault = faulty.nextFault(0.5)) {
            faulty.malform(*fault, sim::frameText(sample), "");
        }
        ASSERT_EQ(plain.step(0.5), sample) << "at step " << t;
    }
}

// --- Damaged frames --------------------------------------------------------------------------

TEST(BoardFaults, FractionAndTakingTurns)
{
    for (const auto& [fraction, least, most] :
         {std::tuple{0.0, 0, 0}, {0.25, 800, 1200}, {1.0, 4000, 4000}}) {
        sim::BoardModel model(3);
        std::map<Fault, int> kinds;
        int damaged = 0;
        for (int n = 0; n < 4000; ++n) {
            if (const auto fault = model.nextFault(fraction)) {
                ++damaged;
                ++kinds[*fault];
            }
        }
        EXPECT_TRUE(damaged >= least && damaged <= most) << damaged << " at fraction " << fraction;
        EXPECT_EQ(kinds.size(), damaged > 0 ? sim::kAllFaults.size() : 0u) << fraction;
    }
}

// Each check sees a good frame, the frame after it, and the pieces malform() made of the first.
using FaultCheck =
    std::function<void(const Text& frame, const Text& next, const std::vector<Text>&)>;

void forManyFrames(Fault fault, const FaultCheck& check)
{
    // Enough frames that every tag and every cut position has its turn.
    sim::BoardModel model(5);
    for (int n = 0; n < 200 && !::testing::Test::HasFatalFailure(); ++n) {
        const Text frame = sim::frameText(model.step(1.0));
        const Text next = sim::frameText(model.step(1.0));
        const std::vector<Text> pieces = model.malform(fault, frame, next);
        SCOPED_TRACE(frame);
        ASSERT_EQ(pieces.size(), fault == Fault::Split ? 2u : 1u);
        check(frame, next, pieces);
    }
}

// Exactly one value differs from the frame, and it satisfies isDamaged.
void expectOneValueChanged(Fault fault, const std::function<bool(const Text&)>& isDamaged)
{
    forManyFrames(fault, [&](const Text& frame, const Text&, const std::vector<Text>& pieces) {
        const auto good = tagsOf(frame), got = tagsOf(pieces[0]);
        ASSERT_EQ(got.size(), good.size()) << pieces[0];
        int changed = 0;
        for (std::size_t k = 0; k < got.size(); ++k) {
            EXPECT_EQ(got[k].first, good[k].first) << pieces[0];
            if (got[k].second != good[k].second) {
                ++changed;
                EXPECT_TRUE(isDamaged(got[k].second)) << pieces[0];
            }
        }
        EXPECT_EQ(changed, 1) << pieces[0];
    });
}

TEST(BoardFaults, MissingTagDropsOneTaggedValue)
{
    forManyFrames(
        Fault::MissingTag, [](const Text& frame, const Text&, const std::vector<Text>& pieces) {
            EXPECT_TRUE(pieces[0].starts_with("[") && pieces[0].ends_with("]\r\n")) << pieces[0];
            const auto good = tagsOf(frame), left = tagsOf(pieces[0]);
            bool oneDropped = false;
            for (std::size_t k = 0; k < good.size(); ++k) {
                auto expected = good;
                expected.erase(expected.begin() + static_cast<long>(k));
                oneDropped = oneDropped || expected == left;
            }
            EXPECT_TRUE(oneDropped) << pieces[0];
        });
}

TEST(BoardFaults, LettersReplaceOneValue)
{
    expectOneValueChanged(Fault::Letters, [](const Text& value) {
        return !value.empty() && std::all_of(value.begin(), value.end(),
                                             [](unsigned char c) { return std::isalpha(c) != 0; });
    });
}

TEST(BoardFaults, EmptyValueEmptiesOneTag)
{
    expectOneValueChanged(Fault::EmptyValue, [](const Text& value) { return value.empty(); });
}

TEST(BoardFaults, SplitCutsTheFrameInTwoBeforeItsEnd)
{
    forManyFrames(Fault::Split,
                  [](const Text& frame, const Text&, const std::vector<Text>& pieces) {
                      EXPECT_EQ(pieces[0] + pieces[1], frame);
                      EXPECT_FALSE(pieces[0].empty());
                      EXPECT_EQ(pieces[0].find(']'), Text::npos) << pieces[0];
                  });
}

TEST(BoardFaults, MergedRunsPartOfTheFrameIntoTheNext)
{
    forManyFrames(
        Fault::Merged, [](const Text& frame, const Text& next, const std::vector<Text>& pieces) {
            ASSERT_TRUE(pieces[0].ends_with(next)) << pieces[0];
            const Text head = pieces[0].substr(0, pieces[0].size() - next.size());
            EXPECT_FALSE(head.empty());
            EXPECT_NE(frame.find(head), Text::npos) << "not part of the frame: " << head;
            EXPECT_FALSE(head.ends_with("\n")) << "the frames must run together: " << pieces[0];
        });
}

} // namespace
