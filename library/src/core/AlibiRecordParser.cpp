#include "core/AlibiRecordParser.h"

#include <charconv>
#include <stdexcept>
#include <string_view>

#include "text/TextUtil.h"

namespace qel {
namespace {

// Fields are taken from the front: the text before the next ";", after which
// the rest is cut behind it. With no ";" left a field is empty and the rest
// stays, so a short line gives its tail to the last field.
class FieldReader {
public:
    explicit FieldReader(std::string_view line) : rest_(line) {}

    std::string_view Next() {
        size_t separator = rest_.find(';');
        if (separator == std::string_view::npos) {
            return {};
        }
        std::string_view field = rest_.substr(0, separator);
        rest_.remove_prefix(separator + 1);
        return field;
    }

    std::string_view Rest() const { return rest_; }

private:
    std::string_view rest_;
};

float MassField(std::string_view text) {
    // A mass that is not a number reads as 0 rather than an undefined value.
    return static_cast<float>(LeadingDouble(text).value_or(0));
}

}  // namespace

AlibiRecord ParseAlibiRecord(const std::string& line, std::array<std::string, 10>& slots,
                             const std::function<int32_t(const std::string&)>& unitCode) {
    FieldReader fields(line);
    AlibiRecord record{};
    record.recordId = LeadingInt32(fields.Next());
    slots[0] = fields.Next();
    slots[1] = fields.Next();
    record.number = LeadingInt32(fields.Next());
    slots[2] = fields.Next();
    slots[3] = fields.Next();
    record.net = MassField(fields.Next());
    record.gross = MassField(fields.Next());
    record.tare = MassField(fields.Next());
    record.unit = unitCode(std::string(fields.Next()));
    record.decimals = static_cast<int16_t>(LeadingInt32(fields.Next()));
    std::string_view stability = Trim(fields.Rest());
    auto stable = ParseInt32(stability);
    if (!stable) {
        throw std::invalid_argument("'" + std::string(stability) + "' is not a valid integer");
    }
    record.stable = *stable != 0;
    record.date = slots[0].c_str();
    record.time = slots[1].c_str();
    record.userId = slots[2].c_str();
    record.productId = slots[3].c_str();
    return record;
}

double RecordNumberForProgress(const std::string& line) {
    std::string_view first = line;
    size_t separator = first.find(';');
    if (separator != std::string_view::npos) {
        first = first.substr(0, separator);
    }
    std::string_view number = Trim(first);
    double value = 0;
    auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (number.empty() || error != std::errc() || end != number.data() + number.size()) {
        throw std::invalid_argument("'" + std::string(number) +
                                    "' is not a valid floating point value");
    }
    return value;
}

}  // namespace qel
