// The byte-stream transport every exchange with the scale goes through: a
// serial line, an FTDI USB converter or the Ethernet module. Besides the
// primitive Write and Read it carries the exchange routines all transports
// share: read one CR LF line, send and collect a reply, send and compare.
//
// Strings are 8-bit and may hold any byte value. A transport is driven by one
// thread at a time; its own threads only fill its receive side.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "QELScale.h"
#include "platform/Failure.h"

namespace qel {

class CInterfejs {
public:
    // Rates every transport accepts, searched in this order; the Ethernet
    // module counts them by their place in this table.
    static constexpr const auto& kBaudRates = qelscale::kBaudRates;

    // `accepted` tells whether SetBaud/SetParity took the new value.
    virtual bool ApplyBaud(bool accepted) = 0;
    virtual bool ApplyParity(bool accepted) = 0;
    virtual ~CInterfejs();
    // True when the key is known and the value taken.
    virtual bool SetParam(const char* key, const char* value) = 0;
    // Null for an unknown key. The text stays valid until the next GetParam.
    virtual const char* GetParam(const char* key);
    virtual bool Open() = 0;
    virtual bool Close() = 0;
    virtual bool IsOpen() = 0;
    virtual bool Write(std::string data) = 0;
    // In: `count` bytes wanted. Out: what was taken (at most `count`) and how
    // many. Each transport says how long it waits and what it returns.
    virtual bool Read(std::string& out, int32_t& count) = 0;
    // Collects bytes until the text ends with CR LF, `maxBytes` arrived or
    // `timeoutMs` passed; partial text is handed back. True on CR LF. On a
    // closed transport it waits out `timeoutMs` and returns false.
    virtual bool ReadLine(std::string& out, const int32_t& maxBytes, uint32_t timeoutMs);
    // Sends `data` (nothing when empty), then collects up to `count` bytes
    // until `idleTimeoutMs` pass without a byte. 2147483647 means "until
    // silence". `data` and `count` come back with what was received. A peer
    // that never goes quiet is cut off after kMaxCollectBytes, or
    // kCollectOverrunMs after the first idle period would have ended. False
    // when nothing came, at once on a closed transport.
    virtual bool WriteRead(std::string& data, int32_t& count, uint32_t idleTimeoutMs);
    // Sends `command` and compares the reply, as long as `expected`, with it;
    // both trimmed of blanks and control bytes at the ends.
    virtual bool WriteExpect(std::string command, std::string expected, uint32_t idleTimeoutMs);
    virtual bool SetReadTimeout(int32_t ms) = 0;
    // Drops whatever was received and not yet read, so that the next
    // exchange starts afresh. Nothing to do by default.
    virtual void DiscardInput() {}

    static constexpr int32_t kMaxCollectBytes = 64 * 1024;
    static constexpr int64_t kCollectOverrunMs = 10000;

    bool SetBaud(int32_t baud);
    bool SetParity(char letter);

    int32_t Baud() const { return baud_; }
    char Parity() const { return parity_; }

    // Why the last failed operation failed; after a successful Open, none.
    // Open records every reason it fails for; the other operations record
    // theirs where they know one. Any thread may ask.
    Failure LastFailure() const { return failure_.Get(); }

protected:
    // Stores `text` as the answer of GetParam and returns a pointer to it.
    const char* ReturnParam(std::string text);
    // Keeps `failure` as the reason and traces it under `what` ("serial
    // open", "Ethernet write").
    void Fail(std::string_view what, Failure failure) { failure_.Set(what, std::move(failure)); }
    void ClearFailure() { failure_.Clear(); }

    int32_t baud_ = 0;
    char parity_ = 0;

private:
    std::string paramText_;
    FailureRecord failure_;
};

}  // namespace qel
