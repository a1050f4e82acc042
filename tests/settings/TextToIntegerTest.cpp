#include <gtest/gtest.h>

#include <QString>

#include "settings/TextToInteger.h"

namespace {

struct Accepted {
  const char16_t* text;
  int32_t value;
};

void PrintTo(const Accepted& accepted, std::ostream* out) {
  *out << QString::fromUtf16(accepted.text).toStdString();
}

class TextToIntegerAccepts : public testing::TestWithParam<Accepted> {};

TEST_P(TextToIntegerAccepts, GivesTheValue) {
  EXPECT_EQ(TextToInteger(QString::fromUtf16(GetParam().text)), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    TextToInteger, TextToIntegerAccepts,
    testing::Values(Accepted{u"0", 0}, Accepted{u"3", 3}, Accepted{u"+7", 7}, Accepted{u"-3", -3},
                    Accepted{u"-0", 0}, Accepted{u"007", 7}, Accepted{u"0x0A", 10},
                    Accepted{u"0X0a", 10}, Accepted{u"0x1", 1}, Accepted{u"$1f", 31},
                    Accepted{u"$1F", 31}, Accepted{u"-$10", -16}, Accepted{u"+$10", 16},
                    Accepted{u"-0x10", -16}, Accepted{u"2147483647", 2147483647},
                    Accepted{u"-2147483648", INT32_MIN}, Accepted{u"$7FFFFFFF", 2147483647},
                    Accepted{u"-$80000000", INT32_MIN}, Accepted{u"000000000000000000012", 12}));

class TextToIntegerRefuses : public testing::TestWithParam<const char16_t*> {};

TEST_P(TextToIntegerRefuses, GivesNothing) {
  EXPECT_EQ(TextToInteger(QString::fromUtf16(GetParam())), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(TextToInteger, TextToIntegerRefuses,
                         testing::Values(u"", u"+", u"-", u"$", u"0X", u"0x", u"-0x", u"abc", u" 5",
                                         u"5 ", u"1 2", u"+-5", u"--5", u"$-5", u"0x-5", u"12a",
                                         u"$g", u"5$", u"1.5", u"0b1", u"\u0663", u"\uFF11",
                                         u"2147483648", u"-2147483649", u"99999999999",
                                         u"0xFFFFFFFF", u"$80000000", u"-$80000001"));

}  // namespace
