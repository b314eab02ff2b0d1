#include "model/Numbers.h"

#include <gtest/gtest.h>

using namespace kelvar;

TEST(Numbers, RoundsHalfToEven) {
    const std::pair<double, std::int64_t> cases[] = {
        {0.5, 0},    {1.5, 2},    {2.5, 2},   {-2.5, -2},     {-0.5, 0},        {3.5, 4},
        {2.4999, 2}, {2.5001, 3}, {-1.5, -2}, {1500.0, 1500}, {65535.5, 65536},
    };
    for (const auto& [value, expected] : cases) {
        EXPECT_EQ(RoundHalfEven(value), expected) << value;
    }
}

TEST(Numbers, FormatsPatterns) {
    struct Case {
        double value;
        const char16_t* pattern;
        const char* expected;
    };
    const Case cases[] = {
        {1234567.891, u"###,##0.000", "1,234,567.891"},
        {0.5, u"###,##0.000", "0.500"},
        {-12.3456, u"###,##0.0000", "-12.3456"},
        {50.196, u"##0.0", "50.2"},
        {0, u"#,##0", "0"},
        {12345, u"#,##0", "12,345"},
        {3.25, u"#.0", "3.3"},
        {0.46, u"#.0", ".5"},
        {12.0, u"#.#", "12."},
        {-0.0001, u"0.000", "0.000"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatNumber(c.value, c.pattern), QString::fromLatin1(c.expected))
            << c.value << " " << QString::fromUtf16(c.pattern).toStdString();
    }
}
