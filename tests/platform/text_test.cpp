#include "platform/text.h"

#include <gtest/gtest.h>

namespace {

TEST(Cp1252, EveryByteSurvivesARoundTrip)
{
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i));
    const QString text = mk::fromCp1252(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(mk::toCp1252(text), all);
    EXPECT_EQ(mk::toCp1252Std(text), all.toStdString());
}

TEST(Cp1252, HighRangeMapsToTheWindowsCharacters)
{
    struct Case
    {
        unsigned char byte;
        char16_t unicode;
    };
    const Case cases[] = {{0x80, 0x20AC}, {0x82, 0x201A}, {0x83, 0x0192}, {0x85, 0x2026}, {0x8A, 0x0160},
                          {0x8C, 0x0152}, {0x8E, 0x017D}, {0x91, 0x2018}, {0x92, 0x2019}, {0x93, 0x201C},
                          {0x94, 0x201D}, {0x96, 0x2013}, {0x97, 0x2014}, {0x99, 0x2122}, {0x9C, 0x0153},
                          {0x9F, 0x0178}, {0xA0, 0x00A0}, {0xE9, 0x00E9}, {0xFF, 0x00FF}, {0x41, 0x0041}};
    for (const Case& c : cases) {
        EXPECT_EQ(mk::cp1252ToUnicode(c.byte), c.unicode) << int(c.byte);
        EXPECT_EQ(mk::unicodeToCp1252(c.unicode), int(c.byte)) << int(c.byte);
    }
}

TEST(Cp1252, UndefinedBytesKeepTheirControlCharacters)
{
    for (unsigned char b : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) {
        const QString s = mk::fromCp1252(QByteArray(1, char(b)));
        ASSERT_EQ(s.size(), 1);
        EXPECT_EQ(s.at(0).unicode(), char16_t(b));
        EXPECT_EQ(mk::toCp1252(s), QByteArray(1, char(b)));
    }
    // The other C1 controls have a Windows-1252 byte of their own already taken.
    EXPECT_EQ(mk::unicodeToCp1252(0x80), -1);
    EXPECT_EQ(mk::unicodeToCp1252(0x9F), -1);
}

TEST(Cp1252, UnmappableCharactersBecomeQuestionMarks)
{
    // Cyrillic, a CJK character and an emoji (one '?' for the surrogate pair).
    const QString s = QString::fromUtf8("a\u0416b\u4E2Dc\U0001F600d\u20AC");
    EXPECT_EQ(mk::toCp1252(s), QByteArray("a?b?c?d\x80"));
}

TEST(Cp1252, OverloadsAgree)
{
    const QByteArray bytes("Ch\xE2teau \x96 1999");
    const QString expected = QString::fromUtf8("Ch\u00E2teau \u2013 1999");
    EXPECT_EQ(mk::fromCp1252(bytes), expected);
    EXPECT_EQ(mk::fromCp1252(std::string_view(bytes.constData(), size_t(bytes.size()))), expected);
    EXPECT_EQ(mk::fromCp1252(bytes.constData(), bytes.size()), expected);
    EXPECT_EQ(mk::fromCp1252("abc"), QStringLiteral("abc"));
    EXPECT_EQ(mk::fromCp1252(nullptr, 5), QString());
}

TEST(UpperAscii, OnlyPlainLettersChange)
{
    EXPECT_EQ(mk::upperAscii(QString::fromUtf8("ros\u00e9 d'anjou 1999 \u00e7a")),
              QString::fromUtf8("ROS\u00e9 D'ANJOU 1999 \u00e7A"));
    EXPECT_EQ(mk::upperAscii(QByteArray("caf\xe9 z{`a")), QByteArray("CAF\xe9 Z{`A"));
    EXPECT_EQ(mk::upperAscii(std::string("abc\xff")), std::string("ABC\xff"));
    EXPECT_EQ(mk::lowerAscii(QString::fromUtf8("ABC \u00c9")), QString::fromUtf8("abc \u00c9"));
}

} // namespace
