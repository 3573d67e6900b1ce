// The value-to-text helpers: exact texts for worked values, halfway cases, signs, extremes,
// special values, bounded lengths and independence from the locale.
#include "vst_plugin/text_helpers.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace corvalen::test {
namespace {

// Formats into an oversized buffer and checks that nothing beyond the text was written.
std::string formatted(void (*format)(char*, float), float value) {
    char buffer[128];
    std::memset(buffer, 0x5A, sizeof buffer);
    format(buffer, value);
    const std::size_t length = strnlen(buffer, sizeof buffer);
    EXPECT_LT(length, sizeof buffer);
    for (std::size_t i = length + 1; i < sizeof buffer; ++i) {
        EXPECT_EQ(buffer[i], 0x5A) << "byte " << i << " written for " << value;
    }
    return std::string(buffer, length);
}

std::string floatText(float value) {
    return formatted(floatToText, value);
}
std::string dbText(float value) {
    return formatted(dbToText, value);
}

TEST(PackFourCharCode, FirstCharacterGoesToTheMostSignificantByte) {
    EXPECT_EQ(packFourCharCode('V', 's', 't', 'P'), 0x56737450);
    EXPECT_EQ(packFourCharCode('N', 'o', 'E', 'f'), 0x4E6F4566);
    EXPECT_EQ(packFourCharCode('N', 'v', 'E', 'f'), 0x4E764566);
    EXPECT_EQ(packFourCharCode('K', 'q', 'z', 't'), 0x4B717A74);
}

TEST(PackFourCharCode, CharactersCountAsUnsignedBytes) {
    EXPECT_EQ(packFourCharCode('\x80', 0, 0, 0), std::numeric_limits<VstInt32>::min());
    EXPECT_LT(packFourCharCode('\xFF', 'a', 'b', 'c'), 0);
    EXPECT_EQ(packFourCharCode(0, 0, 0, '\xFF'), 0xFF);  // no sign extension into higher bytes
    EXPECT_EQ(packFourCharCode('\xFF', '\xFF', '\xFF', '\xFF'), -1);
}

TEST(FloatToText, WorkedValues) {
    EXPECT_EQ(floatText(0.5f), "0.50");
    EXPECT_EQ(floatText(440.0f), "440.00");
    EXPECT_EQ(floatText(-0.004f), "0.00");
    EXPECT_EQ(floatText(-0.006f), "-0.01");
    // -0.005 as a float is a hair below 0.005 in magnitude.
    EXPECT_EQ(floatText(-0.005f), "0.00");
    EXPECT_EQ(floatText(0.124f), "0.12");
    EXPECT_EQ(floatText(0.12723f), "0.13");
    EXPECT_EQ(floatText(0.6f), "0.60");
    EXPECT_EQ(floatText(0.8f), "0.80");
    EXPECT_EQ(floatText(1.0f), "1.00");
    EXPECT_EQ(floatText(0.0f), "0.00");
}

TEST(FloatToText, ExactHalvesRoundAwayFromZero) {
    // Binary fractions that sit exactly halfway between two hundredths.
    EXPECT_EQ(floatText(0.125f), "0.13");
    EXPECT_EQ(floatText(-0.125f), "-0.13");
    EXPECT_EQ(floatText(0.375f), "0.38");
    EXPECT_EQ(floatText(0.625f), "0.63");
    EXPECT_EQ(floatText(2.875f), "2.88");
    EXPECT_EQ(floatText(-1024.625f), "-1024.63");
    // Decimal halves are not floats: the nearest float decides.
    EXPECT_EQ(floatText(0.995f), "1.00");     // 0.99500000476837158203125
    EXPECT_EQ(floatText(9.995f), "9.99");     // 9.99499988555908203125
    EXPECT_EQ(floatText(99.995f), "100.00");  // 99.99500274658203125
}

TEST(FloatToText, CarryRunsThroughEveryDigit) {
    EXPECT_EQ(floatText(999.99951f), "1000.00");
    EXPECT_EQ(floatText(-999.99951f), "-1000.00");
}

TEST(FloatToText, ZeroAndTinyValuesHaveNoSign) {
    EXPECT_EQ(floatText(-0.0f), "0.00");
    EXPECT_EQ(floatText(std::numeric_limits<float>::denorm_min()), "0.00");
    EXPECT_EQ(floatText(-std::numeric_limits<float>::denorm_min()), "0.00");
    EXPECT_EQ(floatText(-std::numeric_limits<float>::min()), "0.00");
    EXPECT_EQ(floatText(0.00499999f), "0.00");
    EXPECT_EQ(floatText(0.0050001f), "0.01");
}

TEST(FloatToText, LargeValuesKeep18SignificantDigits) {
    EXPECT_EQ(floatText(16777216.0f), "16777216.00");
    EXPECT_EQ(floatText(1e10f), "10000000000.00");
    // 2^60 = 1152921504606846976 has 19 digits: the last one is rounded away.
    EXPECT_EQ(floatText(1152921504606846976.0f), "1152921504606846980.00");
    // 3.4028234663852886e38 is 340282346638528859811704183484516925440.
    EXPECT_EQ(floatText(std::numeric_limits<float>::max()),
              "340282346638528860000000000000000000000.00");
    EXPECT_EQ(floatText(-std::numeric_limits<float>::max()),
              "-340282346638528860000000000000000000000.00");
    EXPECT_EQ(floatText(-std::numeric_limits<float>::max()).size() + 1, kFloatTextMaxBytes);
}

TEST(FloatToText, SmallFractionsRoundAtTheEighteenthDigit) {
    // 1/3 as a float is 0.3333333432674407958984375; 18 digits, then two decimals.
    EXPECT_EQ(floatText(1.0f / 3.0f), "0.33");
    EXPECT_EQ(floatText(2.0f / 3.0f), "0.67");
}

TEST(FloatToText, SpecialValues) {
    EXPECT_EQ(floatText(std::numeric_limits<float>::infinity()), "inf");
    EXPECT_EQ(floatText(-std::numeric_limits<float>::infinity()), "-inf");
    EXPECT_EQ(floatText(std::numeric_limits<float>::quiet_NaN()), "nan");
    EXPECT_EQ(floatText(-std::numeric_limits<float>::quiet_NaN()), "nan");
}

TEST(FloatToText, AgreesWithAnExactReferenceForManyValues) {
    // Multiples of 1/64 from -62.5 to 62.5: exact binary values, among them every kind of
    // halfway case (k = 8 mod 16). 100 * k / 64 is exact in a double, so the reference can
    // round it half away from zero directly.
    for (int k = -4000; k <= 4000; ++k) {
        const float value = static_cast<float>(k) / 64.0f;
        const double scaled = static_cast<double>(value) * 100.0;
        const double magnitude = std::fabs(scaled);
        double rounded = std::floor(magnitude);
        if (magnitude - rounded >= 0.5) rounded += 1.0;
        const long long hundredths = static_cast<long long>(rounded);
        std::string expected = (value < 0 && hundredths != 0) ? "-" : "";
        expected += std::to_string(hundredths / 100) + ".";
        const long long cents = hundredths % 100;
        expected += (cents < 10 ? "0" : "") + std::to_string(cents);
        ASSERT_EQ(floatText(value), expected) << k;
    }
}

TEST(DbToText, WorkedValues) {
    EXPECT_EQ(dbText(1.0f), "0.00");
    EXPECT_EQ(dbText(0.5f), "-6.02");
    EXPECT_EQ(dbText(0.8f), "-1.94");
    EXPECT_EQ(dbText(10.0f), "20.00");
    EXPECT_EQ(dbText(0.001f), "-60.00");
}

TEST(DbToText, ValuesNotAboveZeroGiveMinusInfinityText) {
    EXPECT_EQ(dbText(0.0f), "   -oo  ");
    EXPECT_EQ(dbText(-0.0f), "   -oo  ");
    EXPECT_EQ(dbText(-1.0f), "   -oo  ");
    EXPECT_EQ(dbText(std::numeric_limits<float>::quiet_NaN()), "   -oo  ");
    EXPECT_EQ(dbText(-std::numeric_limits<float>::infinity()), "   -oo  ");
    EXPECT_EQ(std::strlen("   -oo  ") + 1, kDbTextMaxBytes);
}

TEST(DbToText, ExtremesStayShort) {
    EXPECT_EQ(dbText(std::numeric_limits<float>::infinity()), "inf");
    EXPECT_EQ(dbText(std::numeric_limits<float>::denorm_min()), "-897.07");
    EXPECT_EQ(dbText(std::numeric_limits<float>::max()), "770.64");
    EXPECT_LE(dbText(std::numeric_limits<float>::denorm_min()).size() + 1, kDbTextMaxBytes);
}

TEST(TextHelpersInAnyLocale, DecimalCommaLocaleDoesNotChangeTheTexts) {
    const char* commaLocales[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE"};
    const char* active = nullptr;
    for (const char* name : commaLocales) {
        if (std::setlocale(LC_ALL, name)) {
            active = name;
            break;
        }
    }
    if (!active) GTEST_SKIP() << "no locale with a decimal comma is installed";
    // Proof that the locale is in force: the C library now writes a comma.
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.2f", 0.5);
    const std::string probeText = probe;
    const std::string half = floatText(0.5f);
    const std::string db = dbText(0.5f);
    const std::string big = floatText(1234567.0f);
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(probeText, "0,50") << active;
    EXPECT_EQ(half, "0.50");
    EXPECT_EQ(db, "-6.02");
    EXPECT_EQ(big, "1234567.00");
}

}  // namespace
}  // namespace corvalen::test
