#include "ethernet/WatekFirmTibbo.h"

namespace qel {

bool StartModuleFirmwareUpdate(const char*, CInterfejs*, ProgressCallback, StatusCallback) {
    return false;
}

}  // namespace qel
