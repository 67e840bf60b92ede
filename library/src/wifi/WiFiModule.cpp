#include "wifi/WiFiModule.h"

namespace qel {

bool WiFiModule::Configure(const char*, const char*) {
    return false;
}

const char* WiFiModule::Query(const char*) {
    return nullptr;
}

}  // namespace qel
