#include <signal.h>

#include <cstdio>
#include <memory>
#include <string>

#include "EventLoop.h"
#include "MemoryUpdates.h"
#include "PtyServer.h"
#include "SimOptions.h"
#include "TcpServer.h"
#include "UdpServers.h"

using namespace scalesim;

namespace {

int Fail(const std::string& message) {
    std::fprintf(stderr, "scale-sim: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    SimOptions options;
    std::string error;
    if (!ParseSimOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "scale-sim: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(HelpText().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("scale-sim %s\n", SCALE_SIM_VERSION);
        return 0;
    }
    AlibiMemory memory;
    if (options.recordsFile.empty()) {
        memory = AlibiMemory::Generate(options.records, options.seed);
    } else if (!AlibiMemory::Load(options.recordsFile, memory, error)) {
        return Fail(error);
    }

    EventLoop::PrepareSignals();
    DeviceSetup setup{&options.scale,   &memory,       &options.wifi,
                      options.delivery, options.trace, nullptr};
    if (options.oneScale) {
        setup.sharedScale = std::make_shared<ScaleModel>(options.scale, memory, options.wifi);
    }
    EventLoop loop;
    MemoryUpdates updates(memory, options.growBy, options.seed, options.recordsFile);
    loop.OnSignal(SIGUSR1, [&updates] { updates.AddOnTop(); });
    loop.OnSignal(SIGHUP, [&updates] { updates.ReloadFile(); });
    std::string endpoints;
    if (options.pty) {
        auto pty = PtyServer::Open(setup, options.linkPath, error);
        if (!pty) {
            return Fail(error);
        }
        endpoints += "pty " + pty->SlavePath() + "\n";
        loop.Add(std::move(pty));
    }
    // Behind the Ethernet module the scale's line runs at the module's serial settings.
    ModuleSerial moduleSerial{options.scale.baud, options.scale.parity};
    const ModuleSerial* module = options.tibbo ? &moduleSerial : nullptr;
    if (options.tcp) {
        auto tcp = TcpServer::Open(setup, *options.tcp, module, error);
        if (!tcp) {
            return Fail(error);
        }
        endpoints += "tcp " + tcp->Address().ToString() + "\n";
        loop.Add(std::move(tcp));
    }
    if (options.udp) {
        auto udp = UdpServer::Open(setup, *options.udp, module, error);
        if (!udp) {
            return Fail(error);
        }
        endpoints += "udp " + udp->Address().ToString() + "\n";
        loop.Add(std::move(udp));
    }
    if (options.tibbo) {
        const std::string& host = options.udp ? options.udp->host : options.tcp->host;
        auto tibbo = TibboServer::Open(options.module, moduleSerial, host, options.trace, error);
        if (!tibbo) {
            return Fail(error);
        }
        endpoints += "tibbo " + tibbo->Address().ToString() + "\n";
        loop.Add(std::move(tibbo));
    }
    std::fputs((endpoints + "ready\n").c_str(), stdout);
    std::fflush(stdout);
    loop.Run();
    return 0;
}
