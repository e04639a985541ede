#include "shell/settings/numbertext.h"

#include <gtest/gtest.h>

using namespace mk;

namespace {

TEST(NumberText, GeneralFloatForm)
{
    EXPECT_EQ(FormatGeneralFloat(1), QStringLiteral("1"));
    EXPECT_EQ(FormatGeneralFloat(8.5), QStringLiteral("8.5"));
    EXPECT_EQ(FormatGeneralFloat(11), QStringLiteral("11"));
    EXPECT_EQ(FormatGeneralFloat(0.1 + 0.2), QStringLiteral("0.3"));
    EXPECT_EQ(FormatGeneralFloat(2.54, QLatin1Char(',')), QStringLiteral("2,54"));
}

TEST(NumberText, Normalize)
{
    struct Case
    {
        const char* in;
        char separator;
        const char* out;
    };
    const Case cases[] = {
            {"8.5", '.', "8.5"},        {"8.5", ',', "8,5"},    {"8,5", '.', "8.5"},  {"1.234,5", ',', "1234,5"},
            {"1,234.5", '.', "1234.5"}, {".5", '.', "0.5"},     {",75", ',', "0,75"}, {"11", '.', "11"},
            {" 2 in", '.', "2"},        {"1.2.3", '.', "12.3"}, {"", '.', ""},        {"abc", '.', ""},
            {"3'5", '\'', "3'5"},       {"-1.5", '.', "1.5"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NormalizeNumberText(QString::fromLatin1(c.in), QLatin1Char(c.separator)), QString::fromLatin1(c.out))
                << c.in;
}

} // namespace
