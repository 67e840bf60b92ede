#pragma once

// The state of the last read, shown as the text of the status bar's first
// panel in the language in force.
enum class ReadState { None, Reading, Parsing, Success, Error, Incomplete, Stopped };

// The language key of the state's text; empty for None.
inline const char* readStateKey(ReadState state) {
    switch (state) {
        case ReadState::Reading:
            return "reading";
        case ReadState::Parsing:
            return "parse";
        case ReadState::Success:
            return "success";
        case ReadState::Error:
            return "error";
        case ReadState::Incomplete:
            return "readIncomplete";
        case ReadState::Stopped:
            return "stopped";
        case ReadState::None:
            break;
    }
    return "";
}
