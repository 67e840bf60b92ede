// Text helpers for the scale protocol. Every conversion here is independent
// of the process locale: the scale always writes "." as decimal separator,
// whatever language the operator's desktop uses.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qel {

// Removes bytes with values up to 32 (blanks and control bytes) at both ends.
std::string_view Trim(std::string_view text);

// Whether `text` contains `part`, comparing ASCII letters without case.
bool ContainsNoCase(std::string_view text, std::string_view part);

// A whole text that is a decimal integer: optional blanks, optional sign,
// digits, optional blanks; nothing else. Values outside int32 do not fit.
std::optional<int32_t> ParseInt32(std::string_view text);

// Like C's atol: leading blanks, an optional sign, then as many digits as
// follow; 0 when none. The result wraps to 32 bits, as the scale's records
// were always read.
int32_t LeadingInt32(std::string_view text);

// Like C's strtod on a prefix: leading blanks skipped, decoding stops at the
// first byte that cannot continue a number, "." is the decimal point; empty
// when nothing decodes.
std::optional<double> LeadingDouble(std::string_view text);

// The general floating-point text form: at most 15 significant digits, no
// trailing zeros, "." as separator, exponent form only for very large or very
// small magnitudes (12.5 -> "12.5", 100 -> "100", 1e20 -> "1E20").
std::string FormatGeneral(double value);

std::string FormatInt(int64_t value);

// Splits at CR LF, a lone CR or a lone LF; a break at the very end opens no
// further line.
std::vector<std::string> SplitLines(std::string_view text);

}  // namespace qel
