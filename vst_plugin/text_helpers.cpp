#include "vst_plugin/text_helpers.h"

#include <cmath>
#include <cstring>

namespace {

// An unsigned integer wide enough for any float's exact value scaled to an integer: a 24-bit
// mantissa times 2^104 (the largest float) or times 5^149 (the smallest denormal, 149 decimals).
class WideUnsigned {
public:
    explicit WideUnsigned(std::uint32_t value) { limbs_[0] = value; }

    void multiplyBy(std::uint32_t factor) {
        std::uint64_t carry = 0;
        for (int i = 0; i < used_; ++i) {
            const std::uint64_t product = std::uint64_t{limbs_[i]} * factor + carry;
            limbs_[i] = static_cast<std::uint32_t>(product);
            carry = product >> 32;
        }
        if (carry != 0) limbs_[used_++] = static_cast<std::uint32_t>(carry);
    }

    // Writes the decimal digits, most significant first, and returns their count (at least 1).
    int toDecimal(char* digits) const {
        WideUnsigned rest = *this;
        char reversed[kMaxDigits];
        int count = 0;
        do {
            std::uint32_t chunk = rest.divideBy(1000000000u);
            for (int i = 0; i < 9; ++i) {
                reversed[count++] = static_cast<char>('0' + chunk % 10);
                chunk /= 10;
            }
        } while (!rest.isZero());
        while (count > 1 && reversed[count - 1] == '0') --count;
        for (int i = 0; i < count; ++i) digits[i] = reversed[count - 1 - i];
        return count;
    }

    static constexpr int kMaxDigits = 128;

private:
    std::uint32_t divideBy(std::uint32_t divisor) {
        std::uint64_t remainder = 0;
        for (int i = used_ - 1; i >= 0; --i) {
            const std::uint64_t current = (remainder << 32) | limbs_[i];
            limbs_[i] = static_cast<std::uint32_t>(current / divisor);
            remainder = current % divisor;
        }
        while (used_ > 1 && limbs_[used_ - 1] == 0) --used_;
        return static_cast<std::uint32_t>(remainder);
    }

    bool isZero() const { return used_ == 1 && limbs_[0] == 0; }

    std::uint32_t limbs_[16] = {};
    int used_ = 1;
};

// A non-negative decimal number as digit characters with a decimal point after the first
// integerDigits of them; always at least one integer digit.
class DecimalNumber {
public:
    // The exact value of a finite float's magnitude.
    explicit DecimalNumber(float value) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        const int biasedExponent = static_cast<int>((bits >> 23) & 0xFF);
        std::uint32_t mantissa = bits & 0x7FFFFF;
        int exponent = -149;  // denormals: mantissa * 2^-149
        if (biasedExponent != 0) {
            mantissa |= 0x800000;
            exponent = biasedExponent - 150;
        }
        WideUnsigned scaled(mantissa);
        int fractionDigits = 0;
        if (exponent >= 0) {
            for (int i = 0; i < exponent; ++i) scaled.multiplyBy(2);
        } else {
            // m * 2^-k is m * 5^k / 10^k: an integer with k decimals.
            fractionDigits = -exponent;
            for (int i = 0; i < fractionDigits; ++i) scaled.multiplyBy(5);
        }
        char digits[WideUnsigned::kMaxDigits];
        const int count = scaled.toDecimal(digits);
        // Leading zeros so that the integer part has at least one digit ("0.00...").
        const int leadingZeros = fractionDigits >= count ? fractionDigits - count + 1 : 0;
        std::memset(digits_, '0', static_cast<std::size_t>(leadingZeros) + 1);
        // digits_[0] stays free for a carry out of the first digit.
        std::memcpy(digits_ + 1 + leadingZeros, digits, static_cast<std::size_t>(count));
        count_ = 1 + leadingZeros + count;
        integerDigits_ = count_ - fractionDigits;
    }

    void roundToSignificantDigits(int significant) {
        int first = 0;
        while (first < count_ && digits_[first] == '0') ++first;
        if (first < count_) roundAt(first + significant);
    }

    void roundToDecimals(int decimals) {
        const int end = integerDigits_ + decimals;
        while (count_ < end) digits_[count_++] = '0';
        roundAt(end);
        count_ = end;
    }

    bool isZero() const {
        for (int i = 0; i < count_; ++i) {
            if (digits_[i] != '0') return false;
        }
        return true;
    }

    // Writes the integer part without leading zeros (but at least "0"), the point and the
    // decimals; returns the number of characters written.
    int write(char* out) const {
        int first = 0;
        while (first < integerDigits_ - 1 && digits_[first] == '0') ++first;
        int length = 0;
        for (int i = first; i < integerDigits_; ++i) out[length++] = digits_[i];
        out[length++] = '.';
        for (int i = integerDigits_; i < count_; ++i) out[length++] = digits_[i];
        return length;
    }

private:
    // Keeps the digits before position, rounding half away from zero: the magnitude grows when
    // the first dropped digit is 5 or more.
    void roundAt(int position) {
        if (position >= count_) return;
        const bool up = digits_[position] >= '5';
        for (int i = position; i < count_; ++i) digits_[i] = '0';
        for (int i = position - 1; up && i >= 0; --i) {
            if (digits_[i] != '9') {
                ++digits_[i];
                return;
            }
            digits_[i] = '0';
        }
        // A carry out of digit 0 cannot happen: digit 0 is a zero kept free for it.
    }

    // 1 spare digit, at most 151 leading zeros and digits together, and 2 decimals of padding.
    char digits_[WideUnsigned::kMaxDigits + 160] = {};
    int count_ = 0;
    int integerDigits_ = 0;
};

void copyText(char* text, const char* source) {
    std::memcpy(text, source, std::strlen(source) + 1);
}

}  // namespace

void floatToText(char* text, float value) {
    if (std::isnan(value)) {
        copyText(text, "nan");
        return;
    }
    if (std::isinf(value)) {
        copyText(text, value < 0.0f ? "-inf" : "inf");
        return;
    }
    DecimalNumber number(value);
    number.roundToSignificantDigits(18);
    number.roundToDecimals(2);
    char buffer[kFloatTextMaxBytes];
    int length = 0;
    if (std::signbit(value) && !number.isZero()) buffer[length++] = '-';
    length += number.write(buffer + length);
    buffer[length++] = '\0';
    std::memcpy(text, buffer, static_cast<std::size_t>(length));
}

void dbToText(char* text, float value) {
    if (value > 0.0f) {
        const long double decibels = 20.0L * std::log10(static_cast<long double>(value));
        floatToText(text, static_cast<float>(decibels));
    } else {
        copyText(text, "   -oo  ");
    }
}
