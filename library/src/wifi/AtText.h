// How values travel inside the WiFi module's AT commands.
#pragma once

#include <string>
#include <string_view>

namespace qel {

// `value` between double quotes, with every '"', ',' and '\' preceded by a
// backslash: the module's command parser splits arguments at commas and ends
// a quoted argument at a quote unless the byte is escaped. Values without
// those bytes come out as "value".
std::string QuotedAtValue(std::string_view value);

// Whether `value` can be placed into a command at all. A control byte would
// end or cut the command (CR, LF) or hand the line back to the scale in the
// middle of it (ESC), so that the rest of the value reached the scale or the
// module as a command of its own.
bool IsSendableAtValue(std::string_view value);

// A port number as the module and the scale take it, unquoted: 1 to 65535 in
// plain decimal digits.
bool IsPortNumber(std::string_view value);

}  // namespace qel
