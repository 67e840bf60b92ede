#include "text/TextUtil.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace qel {
namespace {

bool IsBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view SkipLeadingBlanks(std::string_view text) {
    // C's isspace in the "C" locale: blank, \t \n \v \f \r.
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
        ++i;
    }
    return text.substr(i);
}

}  // namespace

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlankOrControl(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlankOrControl(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool ContainsNoCase(std::string_view text, std::string_view part) {
    if (part.empty()) {
        return true;
    }
    auto it = std::search(text.begin(), text.end(), part.begin(), part.end(),
                          [](char a, char b) { return LowerAscii(a) == LowerAscii(b); });
    return it != text.end();
}

std::optional<int32_t> ParseInt32(std::string_view text) {
    text = Trim(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
            return std::nullopt;
        }
    }
    int32_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

int32_t LeadingInt32(std::string_view text) {
    text = SkipLeadingBlanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    uint32_t value = 0;
    for (char c : text) {
        if (!IsDigit(c)) {
            break;
        }
        value = value * 10u + static_cast<uint32_t>(c - '0');
    }
    if (negative) {
        value = 0u - value;
    }
    return static_cast<int32_t>(value);
}

std::optional<double> LeadingDouble(std::string_view text) {
    text = SkipLeadingBlanks(text);
    bool negative = false;
    std::string_view body = text;
    if (!body.empty() && (body.front() == '+' || body.front() == '-')) {
        negative = body.front() == '-';
        body.remove_prefix(1);
    }
    // from_chars accepts neither a leading '+' nor a leading '.', both of
    // which the scale may send ("+1.5", ".5").
    std::string buffer;
    if (!body.empty() && body.front() == '.') {
        buffer = "0";
        buffer.append(body);
        body = buffer;
    }
    double value = 0;
    auto [end, error] =
        std::from_chars(body.data(), body.data() + body.size(), value, std::chars_format::general);
    if (end == body.data()) {
        return std::nullopt;
    }
    if (error == std::errc::result_out_of_range) {
        // As C does: a huge magnitude saturates, a tiny one becomes 0.
        std::string_view consumed(body.data(), static_cast<size_t>(end - body.data()));
        size_t e = consumed.find_first_of("eE");
        bool tiny =
            e != std::string_view::npos && e + 1 < consumed.size() && consumed[e + 1] == '-';
        value = tiny ? 0.0 : HUGE_VAL;
    }
    return negative ? -value : value;
}

std::string FormatGeneral(double value) {
    if (std::isnan(value)) {
        return "NAN";
    }
    if (std::isinf(value)) {
        return value > 0 ? "INF" : "-INF";
    }
    if (value == 0) {
        return "0";
    }
    char buffer[64];
    // Shortest form at 15 significant digits, then trailing zeros dropped.
    auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
    if (error != std::errc()) {
        return "0";
    }
    std::string scientific(buffer, end);
    size_t ePos = scientific.find('e');
    std::string mantissa = scientific.substr(0, ePos);
    int exponent = 0;
    const char* exponentText = scientific.data() + ePos + 1;
    if (*exponentText == '+') {
        ++exponentText;
    }
    std::from_chars(exponentText, scientific.data() + scientific.size(), exponent);
    bool negative = mantissa.front() == '-';
    if (negative) {
        mantissa.erase(0, 1);
    }
    std::string digits;
    for (char c : mantissa) {
        if (IsDigit(c)) {
            digits.push_back(c);
        }
    }
    while (digits.size() > 1 && digits.back() == '0') {
        digits.pop_back();
    }
    std::string out = negative ? "-" : "";
    const int digitCount = static_cast<int>(digits.size());
    if (exponent >= 15 || exponent < -4) {
        out += digits.substr(0, 1);
        if (digitCount > 1) {
            out += "." + digits.substr(1);
        }
        out += "E";
        if (exponent < 0) {
            out += "-";
        }
        out += std::to_string(std::abs(exponent));
        return out;
    }
    if (exponent < 0) {
        out += "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
        return out;
    }
    if (digitCount <= exponent + 1) {
        out += digits + std::string(static_cast<size_t>(exponent + 1 - digitCount), '0');
        return out;
    }
    out += digits.substr(0, static_cast<size_t>(exponent + 1)) + "." +
           digits.substr(static_cast<size_t>(exponent + 1));
    return out;
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        bool crlf = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n';
        start = end + (crlf ? 2 : 1);
    }
    return lines;
}

std::string FormatInt(int64_t value) {
    char buffer[24];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    (void)error;
    return std::string(buffer, end);
}

}  // namespace qel
