#include "support/TestFiles.h"
#include "terminal/CSendHistory.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace {

QList<SentEntry> Texts(std::initializer_list<const char*> texts)
{
    QList<SentEntry> entries;
    for (const char* text : texts)
        entries << SentEntry{QString::fromUtf8(text), false};
    return entries;
}

TEST(SendHistoryTest, NewestFirstDistinctAndMovedToTheFront)
{
    QTemporaryDir dir;
    CSendHistory history(dir.filePath("send-history.json"));
    for (const char* text : {"a", "b", "c", "b", "", "a"})
        history.Add({QString::fromUtf8(text), false});
    EXPECT_EQ(history.Entries(), Texts({"a", "b", "c"}));
    // The same text as hex is another send.
    history.Add({QStringLiteral("b"), true});
    EXPECT_EQ(history.Entries().front(), (SentEntry{QStringLiteral("b"), true}));
    EXPECT_EQ(history.Entries().size(), 4);
}

TEST(SendHistoryTest, KeepsTheLastHundredAcrossARestart)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("sub/send-history.json");
    {
        CSendHistory history(path);
        for (int i = 1; i <= 105; ++i)
            ASSERT_TRUE(history.Add({QString::number(i), i % 2 == 0}));
        ASSERT_EQ(history.Entries().size(), 100);
        EXPECT_EQ(history.Entries().front().text, QStringLiteral("105"));
        EXPECT_EQ(history.Entries().back().text, QStringLiteral("6"));
    }
    CSendHistory reopened(path);
    ASSERT_EQ(reopened.Entries().size(), 100);
    EXPECT_EQ(reopened.Entries().front(), (SentEntry{QStringLiteral("105"), false}));
    EXPECT_EQ(reopened.Entries()[1], (SentEntry{QStringLiteral("104"), true}));
    EXPECT_EQ(reopened.Entries().back().text, QStringLiteral("6"));

    reopened.Add({QStringLiteral("50"), true});
    CSendHistory third(path);
    EXPECT_EQ(third.Entries().front(), (SentEntry{QStringLiteral("50"), true}));
    EXPECT_EQ(third.Entries().size(), 100);
}

TEST(SendHistoryTest, OverlongSendsAreNotKept)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("send-history.json");
    CSendHistory history(path);
    struct Case {
        int length;
        bool kept;
    };
    for (const Case c : {Case{1, true}, Case{CSendHistory::kMaxEntryLength, true},
                         Case{CSendHistory::kMaxEntryLength + 1, false}, Case{30000, false}}) {
        const SentEntry entry{QString(c.length, QLatin1Char('x')), false};
        EXPECT_TRUE(history.Add(entry));
        EXPECT_EQ(history.Entries().contains(entry), c.kept) << c.length;
        EXPECT_EQ(CSendHistory(path).Entries().contains(entry), c.kept) << c.length;
    }
    // Nor does one come back from a file written by hand.
    const QByteArray file = R"({"format": "sirenset-send-history", "version": 1, "entries": [{"text": ")"
                            + QByteArray(CSendHistory::kMaxEntryLength + 1, 'y') + R"("}, {"text": "ok"}]})";
    ASSERT_TRUE(testsupport::WriteFileBytes(path, file));
    EXPECT_EQ(CSendHistory(path).Entries(), Texts({"ok"}));
}

TEST(SendHistoryTest, TwoWindowsKeepEachOthersSends)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("send-history.json");
    CSendHistory first(path);
    CSendHistory second(path);
    ASSERT_TRUE(first.Add({QStringLiteral("a"), false}));
    ASSERT_TRUE(second.Add({QStringLiteral("b"), false}));
    ASSERT_TRUE(first.Add({QStringLiteral("c"), false}));
    ASSERT_TRUE(second.Add({QStringLiteral("a"), false}));
    EXPECT_EQ(CSendHistory(path).Entries(), Texts({"a", "c", "b"}));
    EXPECT_EQ(second.Entries(), Texts({"a", "c", "b"}));

    // Together they still keep the newest hundred only.
    for (int i = 1; i <= 120; ++i)
        ASSERT_TRUE((i % 2 ? first : second).Add({QString::number(i), false}));
    const QList<SentEntry> merged = CSendHistory(path).Entries();
    ASSERT_EQ(merged.size(), CSendHistory::kLimit);
    for (int i = 0; i < CSendHistory::kLimit; ++i)
        EXPECT_EQ(merged[i].text, QString::number(120 - i));
}

TEST(SendHistoryTest, BrokenFileGivesAnEmptyHistory)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("send-history.json");
    for (const QByteArray& bytes : {QByteArray("{\"entries\": [{\"text"), QByteArray("[1,2]"),
                                   QByteArray(R"({"format": "other", "version": 1, "entries": [{"text": "x"}]})"),
                                   QByteArray(R"({"format": "sirenset-send-history", "version": 1, "entries": 5})")}) {
        ASSERT_TRUE(testsupport::WriteFileBytes(path, bytes));
        CSendHistory history(path);
        EXPECT_TRUE(history.Entries().isEmpty()) << bytes.toStdString();
        EXPECT_TRUE(history.Add({QStringLiteral("x"), false}));
        EXPECT_EQ(CSendHistory(path).Entries(), Texts({"x"}));
    }
}

}  // namespace
