// Four-character codes and the parameter display's number text.
#include <gtest/gtest.h>

#include <cfenv>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>

#include "DVstUtils.h"

namespace {

TEST(FourCharCode, PacksTheFirstCharacterHighest) {
    EXPECT_EQ(fourCharCode("VstP"), 0x56737450);
    EXPECT_EQ(fourCharCode("NvEf"), 0x4E764566);
    EXPECT_EQ(fourCharCode("NoEf"), 0x4E6F4566);
    EXPECT_EQ(fourCharCode('O', 'r', 'v', 'S'), 0x4F727653);
    // A signed char with the top bit set must not smear its sign over the
    // higher bytes.
    EXPECT_EQ(fourCharCode('\x01', '\xFF', '\x80', '\x02'), 0x01FF8002);
    EXPECT_EQ(static_cast<uint32_t>(fourCharCode('\xFF', '\xFE', '\xFD', '\xFC')), 0xFFFEFDFCu);
    static_assert(fourCharCode("VstP") == 0x56737450, "usable in constant expressions");
}

std::string text(float v, size_t size = kFloatTextMax) {
    char buf[kFloatTextMax];
    std::memset(buf, 'x', sizeof buf);
    floatToText(buf, v, size);
    return std::string(buf, strnlen(buf, sizeof buf));
}

TEST(FloatToText, TwoDecimalsAndASignForNegatives) {
    ASSERT_EQ(decimalSeparator(), '.');  // the test runs under the C locale
    EXPECT_EQ(text(0.5f), "0.50");
    EXPECT_EQ(text(-1.0f), "-1.00");
    EXPECT_EQ(text(0.0f), "0.00");
    EXPECT_EQ(text(1.0f), "1.00");
    EXPECT_EQ(text(0.333f), "0.33");
    EXPECT_EQ(text(0.666f), "0.67");
    EXPECT_EQ(text(1234567.0f), "1234567.00");  // no thousands separators
    EXPECT_EQ(text(3.4e38f).size(), 42u);       // FLT_MAX in full still fits the default buffer
}

TEST(FloatToText, StaysInsideTheCallersBuffer) {
    char buf[8];
    std::memset(buf, 'x', sizeof buf);
    floatToText(buf, 123.25f, 5);
    EXPECT_STREQ(buf, "123.");
    EXPECT_EQ(buf[5], 'x');
    floatToText(buf, 0.5f, 1);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(buf[1], '2');  // left from the first call
    buf[0] = 'q';
    floatToText(buf, 0.5f, 0);
    EXPECT_EQ(buf[0], 'q');
}

// A comma locale built by the test fixture with localedef into ORVO_LOCPATH;
// skipped where the build machine cannot build one.
TEST(FloatToText, UsesTheSeparatorReadFromTheLocale) {
    const char* dir = std::getenv("ORVO_LOCPATH");
    if (!dir) GTEST_SKIP() << "ORVO_LOCPATH not set";
    setenv("LOCPATH", dir, 1);
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) GTEST_SKIP() << "no de_DE locale in " << dir;
    readDecimalSeparator();
    std::setlocale(LC_NUMERIC, "C");
    // The separator was read once; a later locale change does not matter.
    EXPECT_EQ(decimalSeparator(), ',');
    EXPECT_EQ(text(0.5f), "0,50");
    EXPECT_EQ(text(-12.75f), "-12,75");
    readDecimalSeparator();
    EXPECT_EQ(text(0.5f), "0.50");
}

TEST(FloatToText, FallsBackToAFullStopForAMultiByteSeparator) {
    const char* dir = std::getenv("ORVO_LOCPATH");
    if (!dir) GTEST_SKIP() << "ORVO_LOCPATH not set";
    setenv("LOCPATH", dir, 1);
    if (!std::setlocale(LC_NUMERIC, "ps_AF.UTF-8")) GTEST_SKIP() << "no ps_AF locale in " << dir;
    readDecimalSeparator();  // U+066B: two bytes in UTF-8
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(text(0.5f), "0.50");
    readDecimalSeparator();
}

TEST(RoundHalfEven, TiesGoToTheEvenNeighbourInAnyRoundingMode) {
    // A host may leave its thread rounding upwards; the answers must not move.
    const int saved = std::fegetround();
    std::fesetround(FE_UPWARD);
    EXPECT_EQ(roundHalfEven(2.5), 2.0);
    EXPECT_EQ(roundHalfEven(-3.5), -4.0);
    EXPECT_EQ(roundHalfEven(2.4), 2.0);
    std::fesetround(saved);
    EXPECT_EQ(roundHalfEven(2.5), 2.0);
    EXPECT_EQ(roundHalfEven(3.5), 4.0);
    EXPECT_EQ(roundHalfEven(-2.5), -2.0);
    EXPECT_EQ(roundHalfEven(-3.5), -4.0);
    EXPECT_EQ(roundHalfEven(2.6), 3.0);
    EXPECT_EQ(roundHalfEven(-0.4), 0.0);
    EXPECT_EQ(roundHalfEven(1e300), 1e300);
}

TEST(CopyText, BoundedAndAlwaysTerminated) {
    char buf[6];
    copyText(buf, "Switch 1", sizeof buf);
    EXPECT_STREQ(buf, "Switc");
    copyText(buf, nullptr, sizeof buf);
    EXPECT_STREQ(buf, "");
    copyText(buf, "ab", sizeof buf);
    EXPECT_STREQ(buf, "ab");
}

}  // namespace
