#include "device/ReplyChannel.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

struct CompletionCase {
    const char* name;
    int code;
    std::vector<QByteArray> reads;   // bytes as they arrive, read by read
    bool completes;
};

class ReplyCompletion : public ::testing::TestWithParam<CompletionCase> {};

TEST_P(ReplyCompletion, RecognisesTheAwaitedText)
{
    const CompletionCase& c = GetParam();
    ReplyChannel channel;
    channel.Arm(static_cast<std::int8_t>(c.code));
    bool completed = false;
    for (const QByteArray& read : c.reads)
        completed = channel.Receive(read.constData(), read.size()).completed || completed;
    EXPECT_EQ(completed, c.completes);
    EXPECT_EQ(channel.Wait(0), c.completes);
    // A completed reply goes back to "nothing awaited" so later bytes cannot
    // complete it twice; an incomplete one keeps its code.
    EXPECT_EQ(channel.Expected(), c.completes ? ReplyChannel::kNothingAwaited : c.code);
}

const CompletionCase kCompletionCases[] = {
    {"ReportComplete", 0, {"Alarm admin NO:  \r\nAccess Point Name:cmnet\r\nOK\r\n"}, true},
    {"ReportOkAloneIsNotEnough", 0, {"OK\r\n"}, false},
    {"ReportOkBeforeLabel", 0, {"OK\r\nAccess Point Name:cmnet\r\n"}, false},
    {"ReportSplitAcrossReads", 0, {"Access Po", "int Name:x\r\nO", "K\r", "\n"}, true},
    {"OkLineSplit", 25, {"O", "K\r\n"}, true},
    {"OkLineForPresetText", 4, {"O", "K\r\n"}, true},
    {"OkWithoutLineEndForPlayCount", 17, {"OK"}, false},
    {"OkLineCode18", 18, {"OK\r\n"}, true},
    {"PlainOkAnywhere", 25, {"+CSQ: 20,0 OK"}, true},
    {"UnusedCode19NeverCompletes", 19, {"OK\r\n"}, false},
    {"UnusedCode22NeverCompletes", 22, {"OK\r\n"}, false},
    {"ListAnnounced", 23, {"boot...\r\nAT+LI", "ST\r\n"}, true},
    {"RebootBanner", 24, {"configure program."}, true},
    {"RebootBannerSplit", 24, {"configure ", "program."}, true},
    {"NothingAwaited", -1, {"OK\r\n"}, false},
    {"CodeOutOfTable", 40, {"OK\r\n"}, false},
    {"CaseSensitive", 25, {"ok\r\n"}, false},
    {"ZeroByteTurnedIntoBlank", 25, {QByteArray("\0\0O", 3), QByteArray("K", 1)}, true},
    {"ZeroByteDoesNotHideLaterText", 23, {QByteArray("x\0AT+LIST", 9)}, true},
};

INSTANTIATE_TEST_SUITE_P(Codes, ReplyCompletion, ::testing::ValuesIn(kCompletionCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReplyChannel, ZeroBytesBecomeBlanksInTheText)
{
    ReplyChannel channel;
    channel.Arm(25);
    channel.Receive("A\0B", 3);
    EXPECT_EQ(channel.Text(), QByteArray("A B"));
}

TEST(ReplyChannel, KeepsOnlyTheNewestBytesBeyondItsCapacity)
{
    constexpr int kCapacity = ReplyChannel::kCapacity;
    ReplyChannel channel;
    channel.Arm(-1);
    const QByteArray first(kCapacity - 192, 'a');
    const QByteArray second = QByteArray(300, 'b');
    channel.Receive(first.constData(), first.size());
    channel.Receive(second.constData(), second.size());
    ASSERT_EQ(channel.Length(), kCapacity);
    const QByteArray text = channel.Text();
    EXPECT_EQ(text.left(kCapacity - 300), QByteArray(kCapacity - 300, 'a'));
    EXPECT_EQ(text.right(300), second);
}

TEST(ReplyChannel, ASingleReadLargerThanTheBufferKeepsItsTail)
{
    ReplyChannel channel;
    channel.Arm(-1);
    QByteArray big(ReplyChannel::kCapacity + 800, 'x');
    big.append("END");
    channel.Receive(big.constData(), big.size());
    EXPECT_EQ(channel.Length(), ReplyChannel::kCapacity);
    EXPECT_TRUE(channel.Text().endsWith("xEND"));
}

TEST(ReplyChannel, AReplyCutByTheOverflowIsMissed)
{
    ReplyChannel channel;
    channel.Arm(0);
    channel.Receive("Access Point Name:x\r\n", 21);
    const QByteArray filler(ReplyChannel::kCapacity - 2, 'f');
    channel.Receive(filler.constData(), filler.size());
    EXPECT_FALSE(channel.Receive("OK\r\n", 4).completed);
}

TEST(ReplyChannel, BannerWhileIdleIsSeenAndEmptiesTheBuffer)
{
    ReplyChannel channel;
    channel.Arm(-1);
    const auto result = channel.Receive("boot\r\nPress 's' key to", 22);
    EXPECT_TRUE(result.bannerSeen);
    EXPECT_EQ(channel.Length(), 0);
}

TEST(ReplyChannel, BannerWhileAReplyIsAwaitedIsIgnored)
{
    ReplyChannel channel;
    channel.Arm(25);
    const auto result = channel.Receive("Press 's' key", 13);
    EXPECT_FALSE(result.bannerSeen);
    EXPECT_EQ(channel.Length(), 13);
}

TEST(ReplyChannel, BannerWithUnusedCodesIsSeen)
{
    for (int code : {19, 20, 21, 22, 26, 100, -5}) {
        ReplyChannel channel;
        channel.Arm(static_cast<std::int8_t>(code));
        EXPECT_TRUE(channel.Receive("Press 's' key", 13).bannerSeen) << code;
    }
}

TEST(ReplyChannel, ArmEmptiesBufferAndResetsEvent)
{
    ReplyChannel channel;
    channel.Arm(25);
    channel.Receive("OK", 2);
    ASSERT_TRUE(channel.Wait(0));
    channel.Arm(25);
    EXPECT_EQ(channel.Length(), 0);
    EXPECT_FALSE(channel.Wait(0));
}

TEST(ReplyChannel, WaitWakesWhenAnotherThreadCompletesTheReply)
{
    ReplyChannel channel;
    channel.Arm(25);
    std::thread receiver([&] { channel.Receive("OK", 2); });
    EXPECT_TRUE(channel.Wait(10000));
    receiver.join();
}

TEST(ReplyChannel, UnlimitedWaitEndsWhenTheEventIsSetByHand)
{
    ReplyChannel channel;
    channel.Arm(23);
    std::thread releaser([&] { channel.SetEvent(); });
    EXPECT_TRUE(channel.Wait(-1));
    releaser.join();
}

TEST(ReplyChannel, ShutdownReleasesAnUnlimitedWaitAsFailure)
{
    ReplyChannel channel;
    channel.Arm(23);
    std::thread closer([&] { channel.Shutdown(); });
    EXPECT_FALSE(channel.Wait(-1));
    closer.join();
    EXPECT_FALSE(channel.Wait(-1));
}

// ---------------------------------------------------------------- echo

struct EchoCase {
    const char* name;
    const char* command;             // what was sent
    std::vector<QByteArray> reads;   // what came back
    bool completes;
};

class EchoedCommand : public ::testing::TestWithParam<EchoCase> {};

TEST_P(EchoedCommand, OnlyWhatFollowsTheEchoCanComplete)
{
    const EchoCase& c = GetParam();
    ReplyChannel channel;
    channel.Arm(ReplyChannel::AnyOk, c.command);
    bool completed = false;
    for (const QByteArray& read : c.reads)
        completed = channel.Receive(read.constData(), read.size()).completed || completed;
    EXPECT_EQ(completed, c.completes);
}

const EchoCase kEchoCases[] = {
    // The echo of a command whose text holds "OK" is not the answer.
    {"EchoAlone", "at+apn=BOOKNET\r", {"at+apn=BOOKNET\r"}, false},
    {"EchoWithLineFeed", "at+apn=BOOKNET\r", {"at+apn=BOOKNET\r\n"}, false},
    {"EchoCutInTheMiddleOfOk", "at+apn=BOOKNET\r", {"at+apn=BO", "OK"}, false},
    {"EchoThenAnswer", "at+apn=BOOKNET\r", {"at+apn=BOOKNET\r\n", "OK\r\n"}, true},
    {"EchoAndAnswerInOneRead", "at+apn=BOOKNET\r", {"at+apn=BOOKNET\rOK\r\n"}, true},
    {"NoEchoAnswer", "at+apn=BOOKNET\r", {"OK\r\n"}, true},
    {"NoEchoError", "at+apn=BOOKNET\r", {"ERROR\r\n"}, false},
    // Text that is not the echo is searched whole, as always.
    {"OtherText", "at+apn=BOOKNET\r", {"+CME: BOOK OK\r\n"}, true},
    {"CommandWithoutOk", "at+apn=CMNET\r", {"at+apn=CMNET\r\nOK\r\n"}, true},
};

INSTANTIATE_TEST_SUITE_P(Replies, EchoedCommand, ::testing::ValuesIn(kEchoCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReplyChannel, HoldsTheLongestReportWhole)
{
    // Three lists of 255 numbers of 32 digits, and the rest of the report.
    EXPECT_GE(ReplyChannel::kCapacity, 3 * 255 * 33 + 8192);
    ReplyChannel channel;
    channel.Arm(ReplyChannel::FullReport);
    const QByteArray list = QByteArray("Alarm admin NO:  ") + QByteArray(32, '1').append(',').repeated(255) + "\r\n";
    const QByteArray report = list.repeated(3) + "Access Point Name:cmnet\r\nOK\r\n";
    ASSERT_LT(report.size(), ReplyChannel::kCapacity);
    for (qsizetype at = 0; at < report.size(); at += 4096)
        channel.Receive(report.constData() + at, static_cast<int>(std::min<qsizetype>(4096, report.size() - at)));
    EXPECT_TRUE(channel.Wait(0));
    EXPECT_EQ(channel.Text(), report);
}

}  // namespace
