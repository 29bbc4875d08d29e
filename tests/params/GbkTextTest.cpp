#include "params/GbkText.h"

#include <gtest/gtest.h>

#include <string>

TEST(GbkText, ChineseRoundTripsThroughUnicode)
{
    const std::string gbk = "\xC4\xAC\xC8\xCF";  // 默认
    EXPECT_EQ(GbkToUnicode(gbk), QStringLiteral("默认"));
    EXPECT_EQ(UnicodeToGbk(QStringLiteral("默认")), gbk);

    const QString mixed = QStringLiteral("台风橙色预警（乗）, level 3！");
    const std::optional<std::string> encoded = UnicodeToGbk(mixed);
    ASSERT_TRUE(encoded);
    EXPECT_NE(encoded->find("\x81\x5C"), std::string::npos);
    EXPECT_EQ(GbkToUnicode(*encoded), mixed);
    EXPECT_EQ(GbkToUnicode(QByteArray::fromStdString(*encoded)), mixed);
    EXPECT_EQ(UnicodeToGbkBytes(mixed), QByteArray::fromStdString(*encoded));
}

TEST(GbkText, EncodingRefusesWhatGbkCannotHold)
{
    const QString refused[] = {
        QStringLiteral("警报😀"),            // emoji outside the BMP
        QString(QChar(0xFFFD)),                // a replacement character itself
        QStringLiteral("ok") + QChar(0xF8F5),  // what a stray 0xFF byte decodes to
        QString::fromUcs4(U"\U00020000"),      // CJK extension B
        QStringLiteral("한국어"),
    };
    for (const QString& text : refused) {
        SCOPED_TRACE(text.toStdString());
        EXPECT_FALSE(UnicodeToGbk(text));
        EXPECT_FALSE(UnicodeToGbkBytes(text));
    }
    EXPECT_EQ(UnicodeToGbk(QString()), std::string());
    EXPECT_EQ(UnicodeToGbk(QStringLiteral("AT+SHOW\r")), std::string("AT+SHOW\r"));
}

TEST(GbkText, InvalidBytesDecodeToReplacementCharacters)
{
    const QChar bad = QChar::ReplacementCharacter;
    const struct {
        const char* name;
        std::string bytes;
        QString text;
    } cases[] = {
        {"lone lead byte at the end", "A\xC4", QStringLiteral("A") + bad},
        {"lead byte with a blank after it", "\xC4 Z", QString(bad) + QStringLiteral(" Z")},
        {"byte 0xFF", "x\xFFy", QStringLiteral("x") + bad + QStringLiteral("y")},
        {"lead byte then a control character", "\xB0\x0D\x0A", QString(bad) + QStringLiteral("\r\n")},
        {"trailing blank kept", "ab  ", QStringLiteral("ab  ")},
        {"empty", "", QString()},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        EXPECT_EQ(GbkToUnicode(test.bytes), test.text);
    }
}
