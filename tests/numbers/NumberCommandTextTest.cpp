#include "numbers/NumberCommandText.h"
#include "params/NumberList.h"

#include <gtest/gtest.h>

namespace {

using namespace NumberCommandText;

struct ListCommandCase {
    int category;
    const char* add;
    const char* remove;
    const char* reset;
    const char* wholeList;
};

void PrintTo(const ListCommandCase& c, std::ostream* os)
{
    *os << "category " << c.category;
}

class ListCommandTest : public ::testing::TestWithParam<ListCommandCase> {};

TEST_P(ListCommandTest, CommandsCarryTheListsNamesAndOneCarriageReturn)
{
    const ListCommandCase& c = GetParam();
    EXPECT_EQ(AddCommand(c.category, "12,345"), QByteArray(c.add));
    EXPECT_EQ(DeleteCommand(c.category, {"12", "345"}), QByteArray(c.remove));
    EXPECT_EQ(ResetCommand(c.category), QByteArray(c.reset));

    NumberList list;
    list[0].Assign("111");
    list[3].Assign("444");
    list[254].Assign("999");
    EXPECT_EQ(WholeListCommand(c.category, list), QByteArray(c.wholeList));
    // An empty list is written exactly as the reset.
    EXPECT_EQ(WholeListCommand(c.category, NumberList{}), ResetCommand(c.category));
}

INSTANTIATE_TEST_SUITE_P(
    Lists, ListCommandTest,
    ::testing::Values(
        ListCommandCase{0, "AT+LRMADDADMINNO=12,345\r", "AT+LRMDELADMINNO=12,345\r", "AT+LRMSETADMINNO=\r",
                        "AT+LRMSETADMINNO=111,444,999\r"},
        ListCommandCase{1, "AT+LRMADDLRMNO=12,345\r", "AT+LRMDELLRMNO=12,345\r", "AT+LRMSETLRMNO=\r",
                        "AT+LRMSETLRMNO=111,444,999\r"},
        ListCommandCase{2, "AT+LRMADDBKNO=12,345\r", "AT+LRMDELBKNO=12,345\r", "AT+LRMSETBKNO=\r",
                        "AT+LRMSETBKNO=111,444,999\r"}));

TEST(NumberCommandText, UnknownCategoriesAndEmptyDeletesGiveNoCommand)
{
    for (int category : {-1, 3}) {
        EXPECT_TRUE(AddCommand(category, "12").isEmpty());
        EXPECT_TRUE(DeleteCommand(category, {"12"}).isEmpty());
        EXPECT_TRUE(ResetCommand(category).isEmpty());
        EXPECT_TRUE(WholeListCommand(category, NumberList{}).isEmpty());
    }
    EXPECT_TRUE(DeleteCommand(0, {}).isEmpty());
    EXPECT_EQ(DeleteCommand(0, {"111"}), QByteArray("AT+LRMDELADMINNO=111\r"));
    EXPECT_EQ(PowerOnTestCommand(), QByteArray("AT+LRMSNDPOWER\r"));
}

struct SplitCase {
    const char* name;
    int category;
    QByteArray command;
    bool valid;
    QList<QByteArray> followedByComma;
    QByteArray last;
};

void PrintTo(const SplitCase& c, std::ostream* os)
{
    *os << c.name;
}

class SplitAddCommandTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitAddCommandTest, SplitsAfterThePrefix)
{
    const SplitCase& c = GetParam();
    const std::optional<AddedNumbers> numbers = SplitAddCommand(c.category, c.command);
    ASSERT_EQ(numbers.has_value(), c.valid);
    if (!numbers)
        return;
    EXPECT_EQ(numbers->followedByComma, c.followedByComma);
    EXPECT_EQ(numbers->last, c.last);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitAddCommandTest,
    ::testing::Values(SplitCase{"One", 0, "AT+LRMADDADMINNO=13800000001\r", true, {}, "13800000001"},
                      SplitCase{"Several", 1, "AT+LRMADDLRMNO=12,3,456\r", true, {"12", "3"}, "456"},
                      SplitCase{"EmptyLast", 2, "AT+LRMADDBKNO=12,\r", true, {"12"}, ""},
                      SplitCase{"Nothing", 2, "AT+LRMADDBKNO=\r", true, {}, ""},
                      SplitCase{"OtherListsPrefix", 1, "AT+LRMADDADMINNO=12\r", false, {}, ""},
                      SplitCase{"UnknownCategory", 3, "AT+LRMADDBKNO=12\r", false, {}, ""}),
    [](const ::testing::TestParamInfo<SplitCase>& info) { return std::string(info.param.name); });

}  // namespace
