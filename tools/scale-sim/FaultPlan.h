#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace scalesim {

// A point of a dialogue where a fault can be injected. Indexed steps (a record, a firmware
// line) count from 1 in the order the scale meets them.
enum class Step {
    Salibitrn,
    Salibiprn,
    TypeLine,
    SerialLine,
    DateLine,
    CountLine,
    HeaderLine,
    Record,
    End,
    Sw9,
    Sx3,
    Si,
    St,
    Sz,
    Ss,
    Sl,
    Sh,
    Sj,
    FirmwareStart,
    FirmwareLine,
    FirmwareEnd,
    Wificfg,
    Wifisrv,
};

struct StepRef {
    Step step = Step::Salibitrn;
    int index = 0;  // used only by indexed steps
};

// Parses names such as "salibiprn", "record:5" or "fw-line:2".
bool ParseStep(std::string_view text, StepRef& out);

// The step names as shown in the help text.
std::string StepNamesForHelp();

// Unterminated: the answer without its CR LF, so that it runs into the next one.
// Oversized: the answer stretched to a line of a mebibyte. Repeated: the answer twice.
enum class FaultAction { Answer, Silent, Garbage, Unterminated, Oversized, Repeated };

// Which steps the scale leaves unanswered or answers with garbage. Each session of the
// scale keeps its own copy, so "once" faults fire once per connection.
class FaultPlan {
public:
    void AddSilent(StepRef step) { faults_.push_back({step, FaultAction::Silent, false}); }
    void AddGarbage(StepRef step) { faults_.push_back({step, FaultAction::Garbage, false}); }
    void Add(StepRef step, FaultAction action) { faults_.push_back({step, action, false}); }
    void SetOnce(bool once) { once_ = once; }

    // Decides what to do at this occurrence of the step; a "once" fault is used up here.
    FaultAction ActionFor(Step step, int index = 0);

private:
    struct Fault {
        StepRef where;
        FaultAction action;
        bool used;
    };
    std::vector<Fault> faults_;
    bool once_ = false;
};

}  // namespace scalesim
