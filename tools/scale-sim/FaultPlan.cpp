#include "FaultPlan.h"

#include <charconv>

namespace scalesim {

namespace {

struct StepName {
    const char* name;
    Step step;
    bool indexed;
};

constexpr StepName kStepNames[] = {
    {"salibitrn", Step::Salibitrn, false},
    {"salibiprn", Step::Salibiprn, false},
    {"type", Step::TypeLine, false},
    {"serial", Step::SerialLine, false},
    {"date", Step::DateLine, false},
    {"count", Step::CountLine, false},
    {"header", Step::HeaderLine, false},
    {"record", Step::Record, true},
    {"end", Step::End, false},
    {"sw9", Step::Sw9, false},
    {"sx3", Step::Sx3, false},
    {"si", Step::Si, false},
    {"st", Step::St, false},
    {"sz", Step::Sz, false},
    {"ss", Step::Ss, false},
    {"sl", Step::Sl, false},
    {"sh", Step::Sh, false},
    {"sj", Step::Sj, false},
    {"fw-start", Step::FirmwareStart, false},
    {"fw-line", Step::FirmwareLine, true},
    {"fw-end", Step::FirmwareEnd, false},
    {"wificfg", Step::Wificfg, false},
    {"wifisrv", Step::Wifisrv, false},
};

bool ParsePositive(std::string_view text, int& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && value > 0;
}

}  // namespace

bool ParseStep(std::string_view text, StepRef& out) {
    const auto colon = text.find(':');
    const std::string_view name = text.substr(0, colon);
    for (const StepName& candidate : kStepNames) {
        if (name != candidate.name) {
            continue;
        }
        if (candidate.indexed != (colon != std::string_view::npos)) {
            return false;
        }
        out.step = candidate.step;
        out.index = 0;
        return !candidate.indexed || ParsePositive(text.substr(colon + 1), out.index);
    }
    return false;
}

std::string StepNamesForHelp() {
    std::string names;
    for (const StepName& candidate : kStepNames) {
        if (!names.empty()) {
            names += ", ";
        }
        names += candidate.name;
        if (candidate.indexed) {
            names += ":K";
        }
    }
    return names;
}

FaultAction FaultPlan::ActionFor(Step step, int index) {
    for (Fault& fault : faults_) {
        if (fault.where.step != step || fault.where.index != index || fault.used) {
            continue;
        }
        if (once_) {
            fault.used = true;
        }
        return fault.action;
    }
    return FaultAction::Answer;
}

}  // namespace scalesim
