#include "params/DecimalValue.h"
#include "params/ParameterCodes.h"
#include "params/ParameterSet.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>

TEST(FixedText, HoldsUpToItsCapacityAndRefusesMore)
{
    auto set = std::make_unique<ParameterSet>();
    struct {
        const char* name;
        bool (*assign)(ParameterSet&, const std::string&);
        std::size_t limit;
    } fields[] = {
        {"100-byte field", [](ParameterSet& s, const std::string& t) { return s.apn.Assign(t); }, 99},
        {"256-byte field", [](ParameterSet& s, const std::string& t) { return s.registerInfo.Assign(t); }, 255},
        {"preset text", [](ParameterSet& s, const std::string& t) { return s.presetText1.Assign(t); }, 400},
        {"number slot", [](ParameterSet& s, const std::string& t) { return s.adminNumbers[254].Assign(t); }, 32},
    };
    for (const auto& field : fields) {
        SCOPED_TRACE(field.name);
        EXPECT_TRUE(field.assign(*set, std::string(field.limit, 'x')));
        EXPECT_FALSE(field.assign(*set, std::string(field.limit + 1, 'y')));
        EXPECT_FALSE(field.assign(*set, std::string(5000, 'z')));
    }
    // A refused write leaves the field as it was.
    EXPECT_EQ(set->apn, std::string(99, 'x'));
    EXPECT_EQ(set->registerInfo.Length(), 255u);
    EXPECT_EQ(set->presetText1.View(), std::string(400, 'x'));
    EXPECT_EQ(set->adminNumbers[254], std::string(32, 'x'));
    EXPECT_EQ(std::string(set->apn.CStr()), std::string(99, 'x'));
}

TEST(FixedText, RefusesEmbeddedZeroBytesAndShortensCleanly)
{
    ShortText text;
    EXPECT_FALSE(text.Assign(std::string_view("ab\0cd", 5)));
    EXPECT_TRUE(text.IsEmpty());
    ASSERT_TRUE(text.Assign("a long text"));
    ASSERT_TRUE(text.Assign("ab"));
    EXPECT_EQ(text, "ab");
    EXPECT_EQ(std::string(text.CStr()), "ab");
}

TEST(NumberList, NewNumbersFillTheLowestEmptySlot)
{
    NumberList list;
    EXPECT_EQ(list.Insert("111"), 0u);
    EXPECT_EQ(list.Insert("222"), 1u);
    EXPECT_EQ(list.Insert("333"), 2u);
    EXPECT_EQ(list.RemoveAll("222"), 1u);
    EXPECT_EQ(list.Insert("444"), 1u);
    EXPECT_EQ(list.JoinedWithCommas(), "111,444,333");
    EXPECT_FALSE(list.Insert(""));
    EXPECT_FALSE(list.Insert(std::string(33, '1')));
    EXPECT_TRUE(list.Insert(std::string(32, '1')));
}

TEST(NumberList, RemoveTakesEveryCopyAndAFullListTakesNoMore)
{
    NumberList list;
    for (std::size_t slot = 0; slot < NumberList::kSlotCount; ++slot)
        ASSERT_TRUE(list.Insert(slot % 2 ? "odd" : std::to_string(slot)));
    EXPECT_FALSE(list.Insert("one more"));
    EXPECT_EQ(list.RemoveAll("odd"), 127u);
    EXPECT_FALSE(list.Contains("odd"));
    EXPECT_TRUE(list.Contains("254"));
    EXPECT_EQ(list.NonEmptyNumbers().size(), 128u);
    EXPECT_EQ(list.LowestEmptySlot(), 1u);
    list.Clear();
    EXPECT_EQ(list.JoinedWithCommas(), "");
}

TEST(ParameterSet, ClearEmptiesEveryField)
{
    auto set = std::make_unique<ParameterSet>();
    set->adminNumbers.Insert("1");
    set->backupNumbers.Insert("2");
    set->presetText3.Assign("text");
    set->phonePriority = 5;
    set->lineInPriority = 3;
    set->localPlayCount = -7;
    set->smsReceipt = 1;
    set->serverCount.Assign("1");
    set->pppOffPassword.Assign("off");
    ClearParameterSet(*set);
    EXPECT_TRUE(set->adminNumbers.NonEmptyNumbers().empty());
    EXPECT_TRUE(set->backupNumbers.NonEmptyNumbers().empty());
    EXPECT_TRUE(set->presetText3.IsEmpty());
    EXPECT_EQ(set->phonePriority, 0);
    EXPECT_EQ(set->lineInPriority, 0);
    EXPECT_EQ(set->localPlayCount, 0);
    EXPECT_EQ(set->smsReceipt, 0);
    EXPECT_TRUE(set->serverCount.IsEmpty());
    EXPECT_TRUE(set->pppOffPassword.IsEmpty());
    EXPECT_STREQ(set->pppOffPassword.CStr(), "");
}

TEST(ParameterCodes, FirstListedWordDecides)
{
    const struct {
        const char* reported;
        std::optional<std::string_view> workMode;
        std::optional<std::string_view> activation;
    } cases[] = {
        {"TCP SERVER", "TCPSVR", std::nullopt},
        {"PROTOCOL TCP SERVER", "PROT", std::nullopt},
        {"TCP TRANSPARENT", "TRNS", std::nullopt},
        {"UDP LONG", "LONG", std::nullopt},
        {"SMS AUTO", std::nullopt, "AUTO"},
        {"DATA SMS", std::nullopt, "SMSD"},
        {"CONTROLABLE", std::nullopt, "CTRL"},
        {"MIXD", std::nullopt, "MIXD"},
        {"TCST", std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.reported);
        EXPECT_EQ(WorkModeCode(test.reported), test.workMode);
        EXPECT_EQ(ActivateMethodCode(test.reported), test.activation);
    }
}

TEST(ParameterCodes, SerialModeGivesDataBitsAndParity)
{
    const struct {
        const char* serialMode;
        SerialFraming framing;
    } cases[] = {
        {"8N1", {8, SerialParity::None}},   {"8E1", {8, SerialParity::Even}}, {"8O1", {8, SerialParity::Odd}},
        {"7O1", {7, SerialParity::Odd}},    {"7E1", {7, SerialParity::Even}}, {"7N1", {7, SerialParity::None}},
        {"x7E1y", {7, SerialParity::Even}}, {"7E18N1", {8, SerialParity::None}},  // table order, not position
        {"811", {8, SerialParity::None}},   {"9X2", {8, SerialParity::None}},  {"", {8, SerialParity::None}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.serialMode);
        EXPECT_EQ(SerialModeSettings(test.serialMode), test.framing);
    }
}

TEST(DecimalValue, ReadsLeadingIntegerAndSaturates)
{
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    const struct {
        std::string_view text;
        std::int32_t value;
    } cases[] = {
        {"0", 0},
        {"8850", 8850},
        {"  42", 42},
        {"\t\r\n\v\f42", 42},
        {"+7", 7},
        {"-7", -7},
        {"60abc", 60},
        {"abc", 0},
        {"", 0},
        {"-", 0},
        {"+", 0},
        {" - 5", 0},
        {"--5", 0},
        {"5 6", 5},
        {"2147483647", kMax},
        {"2147483648", kMax},
        {"-2147483648", kMin},
        {"-2147483649", kMin},
        {"99999999999999999999999999999999999999999999", kMax},
        {"-99999999999999999999999999999999999999999999", kMin},
        {"000000000000000000000000000000000000000000012", 12},
        {std::string_view("7\0" "9", 3), 7},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(std::string(test.text));
        EXPECT_EQ(DecimalValue(test.text), test.value);
    }
}
