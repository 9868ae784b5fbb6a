// Conversions between the settings files' text and the values they hold.

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "settings/dat_format.h"

namespace sorimba::settings {
namespace {

// Decimal text taken apart: sign, digits before and after the point, without
// leading zeros before it and trailing zeros after it.
struct Decimal {
    bool negative = false;
    std::string whole;
    std::string fraction;
    bool isZero() const { return whole.empty() && fraction.empty(); }
};

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

std::optional<Decimal> parseDecimal(const QString& field) {
    qsizetype begin = 0;
    qsizetype end = field.size();
    while (begin < end && isBlank(field[begin])) ++begin;
    while (end > begin && isBlank(field[end - 1])) --end;
    Decimal d;
    qsizetype i = begin;
    if (i < end && (field[i] == u'+' || field[i] == u'-')) {
        d.negative = field[i] == u'-';
        ++i;
    }
    bool point = false;
    bool digits = false;
    for (; i < end; ++i) {
        char16_t c = field[i].unicode();
        if (c >= u'0' && c <= u'9') {
            (point ? d.fraction : d.whole).push_back(static_cast<char>(c));
            digits = true;
        } else if (c == u'.' && !point) {
            point = true;
        } else {
            return std::nullopt;
        }
    }
    if (!digits) return std::nullopt;
    d.whole.erase(0, d.whole.find_first_not_of('0') == std::string::npos
                         ? d.whole.size()
                         : d.whole.find_first_not_of('0'));
    while (!d.fraction.empty() && d.fraction.back() == '0') d.fraction.pop_back();
    if (d.isZero()) d.negative = false;
    return d;
}

// The magnitude in units of 10^-scale, rounded half to even; nothing when it
// exceeds limit.
std::optional<unsigned __int128> scaled(const Decimal& d, int scale, unsigned __int128 limit) {
    if (d.whole.size() > 20) return std::nullopt;
    unsigned __int128 v = 0;
    for (char c : d.whole) v = v * 10 + static_cast<unsigned>(c - '0');
    for (int k = 0; k < scale; ++k) {
        unsigned digit = k < static_cast<int>(d.fraction.size()) ? d.fraction[k] - '0' : 0;
        v = v * 10 + digit;
    }
    if (static_cast<qsizetype>(d.fraction.size()) > scale) {
        unsigned next = static_cast<unsigned>(d.fraction[scale] - '0');
        // The fraction has no trailing zeros, so anything after the next
        // digit is non-zero.
        bool more = static_cast<qsizetype>(d.fraction.size()) > scale + 1;
        if (next > 5 || (next == 5 && (more || (v & 1) != 0))) ++v;
    }
    if (v > limit) return std::nullopt;
    return v;
}

template <typename Int>
std::optional<Int> toInteger(const QString& field, int scale) {
    auto d = parseDecimal(field);
    if (!d) return std::nullopt;
    using Limits = std::numeric_limits<Int>;
    const unsigned __int128 limit = d->negative ? static_cast<unsigned __int128>(Limits::max()) + 1
                                                : static_cast<unsigned __int128>(Limits::max());
    auto v = scaled(*d, scale, limit);
    if (!v) return std::nullopt;
    if (!d->negative) return static_cast<Int>(*v);
    if (*v == static_cast<unsigned __int128>(Limits::max()) + 1) return Limits::min();
    return static_cast<Int>(-static_cast<Int>(*v));
}

// "-" or " ", then the magnitude's digits, then " ".
QString signedText(bool negative, const std::string& digits) {
    QString out = negative ? QStringLiteral("-") : QStringLiteral(" ");
    out += QString::fromLatin1(digits.data(), static_cast<qsizetype>(digits.size()));
    out += u' ';
    return out;
}

}  // namespace

std::optional<float> toSingle(const QString& field) {
    auto d = parseDecimal(field);
    if (!d) return std::nullopt;
    if (d->isZero()) return 0.0f;
    std::string text = d->negative ? "-" : "";
    text += d->whole.empty() ? "0" : d->whole;
    if (!d->fraction.empty()) text += "." + d->fraction;
    float value = 0;
    auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::int64_t> toFixed4(const QString& field) {
    return toInteger<std::int64_t>(field, 4);
}

std::optional<std::int32_t> toInt32(const QString& field) {
    return toInteger<std::int32_t>(field, 0);
}

std::optional<bool> toYesNo(const QString& field) {
    QString word = field;
    while (!word.isEmpty() && isBlank(word.front())) word.remove(0, 1);
    while (!word.isEmpty() && isBlank(word.back())) word.chop(1);
    if (word == u"True") return true;
    if (word == u"False") return false;
    auto d = parseDecimal(word);
    if (!d) return std::nullopt;
    return !d->isZero();
}

QString renderSingle(float value) {
    if (!std::isfinite(value) || value == 0) value = 0;  // also drops a negative zero
    char buffer[64];
    auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::fixed);
    if (error != std::errc()) return QStringLiteral(" 0 ");
    return signedText(value < 0, std::string(buffer, end));
}

QString renderFixed4(std::int64_t tenThousandths) {
    const bool negative = tenThousandths < 0;
    const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(tenThousandths)
                                             : static_cast<std::uint64_t>(tenThousandths);
    std::string digits = std::to_string(magnitude / 10000);
    std::string fraction = std::to_string(magnitude % 10000);
    fraction.insert(0, 4 - fraction.size(), '0');
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    if (!fraction.empty()) digits += "." + fraction;
    return signedText(negative, digits);
}

QString renderInt32(std::int32_t value) {
    const bool negative = value < 0;
    const std::uint32_t magnitude =
        negative ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
    return signedText(negative, std::to_string(magnitude));
}

QString renderYesNo(bool on) {
    return on ? QStringLiteral("True") : QStringLiteral("False");
}

std::int64_t fixed4FromPoints(double points) {
    const double units = std::nearbyint(points * 10000.0);
    // 2^63 exactly; everything below it converts without overflow.
    if (!std::isfinite(units) || std::fabs(units) >= 9223372036854775808.0) return 0;
    return static_cast<std::int64_t>(units);
}

}  // namespace sorimba::settings
