// The empty transport: every operation fails at once. The device holds one
// until a connection kind is chosen, so no caller needs a null check.
#pragma once

#include "transport/CInterfejs.h"

namespace qel {

class CPustyInterfejs : public CInterfejs {
public:
    bool ApplyBaud(bool) override { return false; }
    bool ApplyParity(bool) override { return false; }
    bool SetParam(const char*, const char*) override { return false; }
    const char* GetParam(const char*) override { return nullptr; }
    // No kind chosen, so nothing to open: the caller's settings are at fault.
    bool Open() override;
    bool Close() override { return false; }
    bool IsOpen() override { return false; }
    bool Write(std::string) override { return false; }
    bool Read(std::string&, int32_t&) override { return false; }
    bool ReadLine(std::string& out, const int32_t&, uint32_t) override;
    bool WriteRead(std::string&, int32_t&, uint32_t) override { return false; }
    bool WriteExpect(std::string, std::string, uint32_t) override { return false; }
    bool SetReadTimeout(int32_t) override { return false; }
};

}  // namespace qel
