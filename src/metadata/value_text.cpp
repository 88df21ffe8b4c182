#include "metadata/value_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "metadata/tag_names.h"
#include "platform/kernel/code_page.h"

namespace orrery::metadata {

namespace {

constexpr uint32_t kLargestRendered = 9999;
constexpr size_t kUserCommentPrefix = 8;
constexpr int kSignificantDigits = 15;

bool alwaysText(uint32_t id) { return id == 700 || id == TagExifUserComment || id == TagPrintIMData; }

std::string byteCount(uint32_t length) { return std::to_string(length) + " Byte"; }

uint32_t readLittleEndian(std::span<const uint8_t> bytes, size_t at, size_t size) {
    uint32_t v = 0;
    for (size_t i = 0; i < size; ++i) v |= static_cast<uint32_t>(bytes[at + i]) << (8 * i);
    return v;
}

// A number's sign place: a blank when it is not negative.
std::string signPlace(bool negative) { return std::string(1, negative ? '-' : ' '); }

std::string signedWhole(int64_t v) {
    std::string out = v < 0 ? std::string() : signPlace(false);
    return out.append(std::to_string(v));
}

std::string text(uint32_t id, std::span<const uint8_t> bytes) {
    if (bytes.empty()) return "0";
    if (id == TagExifUserComment) {
        if (bytes.size() < kUserCommentPrefix) return "";
        bytes = bytes.subspan(kUserCommentPrefix);
    }
    return kernel::windows1252ToUtf8(bytes);
}

std::string hexPair(uint8_t b) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[b >> 4], kDigits[b & 0xF]};
}

std::string quotient(int32_t numerator, int32_t denominator) {
    if (denominator == 0) return signedWhole(numerator).append("/0");
    return FormatNumber(static_cast<double>(numerator) / denominator);
}

// Each of up to `count` values of `size` bytes that lie wholly inside
// `bytes`, written by `write` and joined with ", ".
template <typename Write>
std::string joinValues(std::span<const uint8_t> bytes, uint32_t count, size_t size, Write write) {
    const size_t whole = std::min<size_t>(count, bytes.size() / size);
    std::string out;
    for (size_t i = 0; i < whole; ++i) {
        if (i > 0) out += ", ";
        out += write(i * size);
    }
    return out;
}

}  // namespace

std::string FormatNumber(double value) {
    if (value == 0) return " 0";
    char buf[40];
    // d.dddddddddddddde+XX: the 15 significant digits and the exponent.
    std::snprintf(buf, sizeof buf, "%.*e", kSignificantDigits - 1, std::fabs(value));
    std::string digits;
    const char* p = buf;
    for (; *p != 'e'; ++p)
        if (*p != '.') digits.push_back(*p);
    const int exponent = std::atoi(p + 1);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    std::string body;
    if (exponent < -4 || exponent >= kSignificantDigits) {
        body.append(digits, 0, 1);
        if (digits.size() > 1) body.append(1, '.').append(digits, 1);
        char e[16];
        std::snprintf(e, sizeof e, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
        body.append(e);
    } else if (exponent >= 0) {
        const auto whole = static_cast<size_t>(exponent) + 1;
        body.append(digits, 0, whole);
        if (digits.size() <= whole) body.append(whole - digits.size(), '0');
        else body.append(1, '.').append(digits, whole);
    } else {
        body.append(1, '.').append(static_cast<size_t>(-exponent - 1), '0').append(digits);
    }
    return signPlace(value < 0).append(body);
}

std::string FormatTagValue(uint32_t id, uint16_t type, uint32_t length, uint32_t count,
                           std::span<const uint8_t> bytes) {
    const uint16_t effective = alwaysText(id) ? uint16_t{TagTypeASCII} : type;
    if (length > kLargestRendered) return byteCount(length);
    bytes = bytes.first(std::min<size_t>(bytes.size(), length));
    switch (effective) {
        case TagTypeByte:
            return joinValues(bytes, count, 1, [&](size_t at) { return signedWhole(bytes[at]); });
        case TagTypeASCII:
            return text(id, bytes);
        case TagTypeShort:
        case TagTypeSSHORT:
            return joinValues(bytes, count, 2, [&](size_t at) { return signedWhole(readLittleEndian(bytes, at, 2)); });
        case TagTypeLong:
        case TagTypeSLONG:
            return joinValues(bytes, count, 4, [&](size_t at) {
                return signedWhole(static_cast<int32_t>(readLittleEndian(bytes, at, 4)));
            });
        case TagTypeRational:
        case TagTypeSRational:
            return joinValues(bytes, count, 8, [&](size_t at) {
                return quotient(static_cast<int32_t>(readLittleEndian(bytes, at, 4)),
                                static_cast<int32_t>(readLittleEndian(bytes, at + 4, 4)));
            });
        case TagTypeUndefined:
            return joinValues(bytes, count, 1, [&](size_t at) { return hexPair(bytes[at]); });
        default:
            return byteCount(length);
    }
}

}  // namespace orrery::metadata
