// Creates a scale object through the installed header and library.
#include <QELScale.h>

#include <cstdio>

int main() {
    CVESKScaleInterface* scale = GetVESKScaleInstance();
    if (scale == nullptr) {
        return 1;
    }
    CVESKDeviceInterface* device = scale;
    device->SetConnectionKind(2);
    std::printf("connection kind %s\n", device->GetParameter("ConnectionKind"));
    device->Release();
    return 0;
}
