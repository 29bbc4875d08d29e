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

TEST(ReplyChannel, KeepsOnlyTheNewest8192Bytes)
{
    ReplyChannel channel;
    channel.Arm(-1);
    const QByteArray first(8000, 'a');
    const QByteArray second = QByteArray(300, 'b');
    channel.Receive(first.constData(), first.size());
    channel.Receive(second.constData(), second.size());
    ASSERT_EQ(channel.Length(), ReplyChannel::kCapacity);
    const QByteArray text = channel.Text();
    EXPECT_EQ(text.left(7892), QByteArray(7892, 'a'));
    EXPECT_EQ(text.right(300), second);
}

TEST(ReplyChannel, ASingleReadLargerThanTheBufferKeepsItsTail)
{
    ReplyChannel channel;
    channel.Arm(-1);
    QByteArray big(9000, 'x');
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
    const QByteArray filler(8190, 'f');
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

}  // namespace
