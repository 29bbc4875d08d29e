#include "NumberEntryCases.h"
#include "numbers/NumberEntryValidation.h"

#include <gtest/gtest.h>

namespace {

TEST(NumberEntryValidation, EveryCaseGivesItsMessageOrText)
{
    for (const NumberEntryCase& c : NumberEntryCases()) {
        const NumberEntry::Result result = NumberEntry::Validate(c.typed);
        EXPECT_EQ(NumberEntry::Message(result.error), c.message) << c.name;
        EXPECT_EQ(result.numberText, c.numberText) << c.name;
        if (c.message.isEmpty()) {
            EXPECT_EQ(result.error, NumberEntry::Error::None) << c.name;
        }
    }
}

TEST(NumberEntryValidation, SplitGivesTheNumbersInOrder)
{
    EXPECT_EQ(NumberEntry::Split(QStringLiteral("13800000000,12,345")),
              QStringList({"13800000000", "12", "345"}));
    EXPECT_EQ(NumberEntry::Split(QStringLiteral("110")), QStringList({"110"}));
    EXPECT_TRUE(NumberEntry::Split(QString()).isEmpty());

    // Every number of an accepted text fits a stored slot.
    const NumberEntry::Result result = NumberEntry::Validate(QStringLiteral("12,") + QString(32, u'9'));
    ASSERT_EQ(result.error, NumberEntry::Error::None);
    const QStringList numbers = NumberEntry::Split(result.numberText);
    ASSERT_EQ(numbers.size(), 2);
    EXPECT_EQ(numbers.last().size(), 32);
}

}  // namespace
