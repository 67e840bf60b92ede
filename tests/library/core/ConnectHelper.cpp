// A caller of QELScale in a process of its own, for tests that need one: a
// line held by another program, or what the library writes on stderr.
//
//   qel-connect-helper hold|try <kind> [key=value...]
//
// Sets the connection kind and the parameters, connects, prints
// "error <GetParameter("error")>" and "ready". "hold" then keeps the
// connection until the process is stopped; "try" ends, with exit code 0 when
// the connection was made and 3 when it was not.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "QELScale.h"

int main(int argc, char** argv) {
    if (argc < 3 || (std::strcmp(argv[1], "hold") != 0 && std::strcmp(argv[1], "try") != 0)) {
        std::fprintf(stderr, "usage: %s hold|try <kind> [key=value...]\n", argv[0]);
        return 2;
    }
    CVESKScaleInterface* scale = GetVESKScaleInstance();
    if (scale == nullptr) {
        return 2;
    }
    CVESKDeviceInterface* device = scale;
    device->SetConnectionKind(std::atoi(argv[2]));
    for (int i = 3; i < argc; ++i) {
        const std::string pair = argv[i];
        const size_t equals = pair.find('=');
        if (equals != std::string::npos) {
            device->SetParameter(pair.substr(0, equals).c_str(), pair.substr(equals + 1).c_str());
        }
    }
    const bool connected = device->Connect();
    std::printf("error %s\nready\n", device->GetParameter("error"));
    std::fflush(stdout);
    if (std::strcmp(argv[1], "hold") == 0 && connected) {
        for (;;) {
            pause();  // until the test stops this process
        }
    }
    device->Release();
    return connected ? 0 : 3;
}
