#pragma once

#include <stdexcept>

// A record table that cannot be defined or a value it cannot take; it ends
// a read in the error state.
class RecordTableError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
