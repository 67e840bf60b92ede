#pragma once

#include <QtGlobal>

class CVESKScaleInterface;
struct DeviceIdentity;

// Work that a read does on the library's listener thread beside the read
// session's own: the record archive plans there how far an incremental read
// fetches, ends the transfer at that record, and keeps every stored line once
// the transfer is over. Both calls come while the library's results are
// valid and nothing else uses the scale object.
class ReadListenerHook {
public:
    virtual ~ReadListenerHook() = default;

    // Status 0 with a column line, on the listener thread: the identity and
    // the announced count are known and the first record is not yet asked
    // for. The hook may end the transfer early with EndAlibiReadAfter; the
    // session copies the lines the library stored.
    virtual void identityKnown(CVESKScaleInterface& scale, const DeviceIdentity& identity) = 0;

    // The library's part of the read is over, once per read: `ended` is true
    // after status 1, false when the read failed or was stopped. Called on
    // the listener thread, or on the caller's thread after the listener was
    // stopped. Every way a read ends calls it, before the line is reused.
    virtual void transferOver(CVESKScaleInterface& scale, bool ended) = 0;
};
