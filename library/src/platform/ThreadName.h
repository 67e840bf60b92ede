#pragma once

namespace qel {

// Names the calling thread for debuggers and `top -H` (at most 15 bytes show).
void NameCurrentThread(const char* name);

}  // namespace qel
