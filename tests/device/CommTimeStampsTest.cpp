#include "device/CommTimeStamps.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace std::chrono_literals;
using SteadyTime = CommTimeStamps::SteadyTime;

// One step of a conversation on a fixed clock: a send at `at`, or an entry
// whose first byte came at `at` and that is stamped when the display gets it
// at `shownAt`. Times are milliseconds after 14:05:09.000.
struct Step {
    bool send;
    int at;
    int shownAt;
    const char* expected;
};

struct StampCase {
    const char* name;
    std::vector<Step> steps;
};

class CommTimeStampsTest : public ::testing::TestWithParam<StampCase> {};

TEST_P(CommTimeStampsTest, PrefixesGiveTheFirstBytesTimeAndTheReplyDelay)
{
    const SteadyTime origin{};
    const QDateTime wallOrigin(QDate(2026, 12, 10), QTime(14, 5, 9));
    CommTimeStamps stamps;
    for (const Step& step : GetParam().steps) {
        const int nowMs = step.send ? step.at : step.shownAt;
        const CommTimeStamps::Now now{wallOrigin.addMSecs(nowMs), origin + std::chrono::milliseconds(nowMs)};
        const QString prefix = step.send ? stamps.SentPrefix(now)
                                         : stamps.ReceivedPrefix(origin + std::chrono::milliseconds(step.at), now);
        EXPECT_EQ(prefix, QString::fromUtf8(step.expected)) << "step at " << step.at;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommTimeStampsTest,
    ::testing::Values(
        StampCase{"EntryWithoutSend", {{false, 123, 150, "[14:05:09.123] "}}},
        StampCase{"ReplyShowsItsDelay",
                  {{true, 85, 0, "[14:05:09.085] 发送: "}, {false, 123, 150, "[14:05:09.123] +38 ms "}}},
        StampCase{"OnlyTheFirstEntryAfterASendAnswersIt",
                  {{true, 0, 0, "[14:05:09.000] 发送: "},
                   {false, 40, 60, "[14:05:09.040] +40 ms "},
                   {false, 90, 110, "[14:05:09.090] "}}},
        StampCase{"BytesOnTheirWayBeforeTheSendDoNotAnswerIt",
                  {{true, 100, 0, "[14:05:09.100] 发送: "},
                   {false, 95, 120, "[14:05:09.095] "},
                   {false, 130, 150, "[14:05:09.130] +30 ms "}}},
        StampCase{"AnswerAtTheSameMillisecond",
                  {{true, 500, 0, "[14:05:09.500] 发送: "}, {false, 500, 520, "[14:05:09.500] +0 ms "}}},
        StampCase{"ASecondSendRestartsTheDelay",
                  {{true, 0, 0, "[14:05:09.000] 发送: "},
                   {true, 700, 0, "[14:05:09.700] 发送: "},
                   {false, 1938, 1960, "[14:05:10.938] +1238 ms "}}},
        StampCase{"MinutesLater", {{false, 51 * 60 * 1000 + 2, 51 * 60 * 1000 + 30,
                                                                "[14:56:09.002] "}}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
