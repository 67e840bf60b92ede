// QELScale: talks to one weighing scale at a time over a serial line, an FTDI
// USB converter or the scale's Ethernet module.
//
// The library exports one function, GetVESKScaleInstance(). Everything else is
// reached through the virtual operations of the object it returns. The slot
// order of both interfaces is part of the binary contract between the library
// and its callers: add nothing in the middle.
//
// Threads
// -------
// Every operation is called on the caller's thread. Asynchronous dialogues
// (StartAlibiRead, RequestSI, UpdateFirmware) run on a library thread, and all
// their callbacks arrive on that thread, never on the caller's. Inside a
// callback the caller may use GetDeviceInfo, GetAlibiRecordCount,
// GetAlibiRecord, GetAlibiLineCount, GetAlibiRecordLine, EndAlibiReadAfter,
// Disconnect, StopListener and Release:
// - StopListener there ends the dialogue once the callback has returned;
// - Release there ends the dialogue too: no further callback comes, and the
//   object is destroyed on the library thread once the callback has
//   returned. The pointer is dead from the call on.
// A new dialogue cannot start inside a callback: StartAlibiRead, RequestSI
// and the scale's UpdateFirmware return false there and change nothing.
//
// Apart from callbacks, one thread at a time drives an object; two objects
// are independent of each other. A new dialogue, SetConnectionKind,
// StopListener and Release stop a running dialogue and wait for it first.
// Disconnect does not stop it: the dialogue meets a closed line and ends as
// on silence (an unlimited one goes on, idle, until stopped).
//
// The firmware load of the Ethernet module (UpdateFirmware with
// ethernetModule) runs on a thread of its own, and its callbacks arrive
// there. Release is allowed inside one of them: the load then ends without a
// further callback. Release or SetConnectionKind while a load runs stops it
// first; its last status arrives during that call, on the load's thread.
//
// Texts
// -----
// Every const char* the library returns is owned by the library and stays
// valid only until the next call of the same kind on the same object (for
// GetAlibiRecord: the next GetAlibiRecord). Copy what you keep.
//
// Later additions
// ---------------
// GetAlibiLineCount, GetAlibiRecordLine and EndAlibiReadAfter came after the
// first release. They are appended after RequestSI, so the slot of every
// operation before them is unchanged: a caller built against the older
// header keeps working with this library. A caller that uses them needs a
// library that has them.
#ifndef QELSCALE_H
#define QELSCALE_H

#include <cstdint>

#if defined(_WIN32)
#if defined(QELSCALE_BUILDING)
#define QELSCALE_API __declspec(dllexport)
#else
#define QELSCALE_API __declspec(dllimport)
#endif
#else
#define QELSCALE_API __attribute__((visibility("default")))
#endif

// The numbers that cross the boundary as int32_t, by name. They are plain
// values: a caller built with any C++ standard can use them, and the library
// exports nothing more for them.
namespace qelscale {

// SetConnectionKind.
constexpr int32_t kConnectionSerial = 0;    // "RS232": a serial line
constexpr int32_t kConnectionUsb = 1;       // "USB": an FTDI D2XX converter
constexpr int32_t kConnectionEthernet = 2;  // "ETH": the scale's Ethernet module

// The StatusCallback of StartAlibiRead.
constexpr int32_t kAlibiHeaderReceived = 0;  // identity and count known, records follow
constexpr int32_t kAlibiRecordsStored = 1;   // all records stored, line settings restored
constexpr int32_t kAlibiNoAnswer = 2;        // the scale did not answer; nothing more comes

// The StatusCallback of the scale's UpdateFirmware (ethernetModule false).
constexpr int32_t kFirmwareComplete = 2;          // "f3", or silence after the last line
constexpr int32_t kFirmwareLineRefusedTwice = 3;  // the same line refused twice
constexpr int32_t kFirmwareLineUnanswered = 4;    // no answer to a line sent twice
constexpr int32_t kFirmwareUnexpectedReply = 5;   // or the switch to 115200 baud failed

// The StatusCallback of the Ethernet module's UpdateFirmware (ethernetModule
// true); every load ends with exactly one of them.
constexpr int32_t kModuleLoadDone = 2;         // module back in normal mode, line closed
constexpr int32_t kModuleImageUnreadable = 5;  // or a block answered with neither A nor F
constexpr int32_t kModuleNoLoadingMode = 6;    // no loading mode after the switch
constexpr int32_t kModuleLoadRefused = 7;      // "L" not accepted
constexpr int32_t kModuleEndRefused = 8;       // "E" not accepted
constexpr int32_t kModuleQueryRefused = 9;     // "Q" not accepted
constexpr int32_t kModuleNoNormalMode = 10;    // no normal mode after the end
constexpr int32_t kModuleBlockRefused = 12;    // a block answered with "F"

// AlibiRecord::unit and WeighingResult::unit.
constexpr int32_t kUnitNone = 0;
constexpr int32_t kUnitCarat = 1;        // ct
constexpr int32_t kUnitMilligram = 2;    // mg
constexpr int32_t kUnitGram = 3;         // g
constexpr int32_t kUnitKilogram = 4;     // kg
constexpr int32_t kUnitPound = 5;        // lb
constexpr int32_t kUnitOunce = 6;        // oz
constexpr int32_t kUnitTroyOunce = 7;    // ozt
constexpr int32_t kUnitGrain = 8;        // gr
constexpr int32_t kUnitPennyweight = 9;  // dwt
constexpr int32_t kUnitNewton = 14;      // N

// The baud rates every transport accepts for "baud", slowest first.
constexpr int32_t kBaudRates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

}  // namespace qelscale

// The scale's identity. GetDeviceInfo fills type, serialNumber, productionDate
// and recordHeader (the column line of the last alibi read); ReadSW9 fills all
// seven fields from the scale's identity lines.
struct DeviceInfo {
    const char* type;
    int32_t serialNumber;
    const char* productionDate;
    const char* extraText1;
    const char* recordHeader;
    int32_t extraNumber;
    const char* extraText2;
};

// One record of the alibi memory, parsed from the line the scale sent.
struct AlibiRecord {
    int64_t recordId;
    const char* date;
    const char* time;
    int32_t number;
    const char* userId;
    const char* productId;
    float net;
    float gross;
    float tare;
    int32_t unit;  // ct 1, mg 2, g 3, kg 4, lb 5, oz 6, ozt 7, gr 8, dwt 9, N 14, none 0
    int16_t decimals;
    bool stable;
};

struct WeighingResult {
    bool received;
    bool noHighLow;
    int32_t status;
    double value;
    int32_t unit;
    int32_t reserved;
};

// Callbacks run on a library thread (see above).
using ProgressCallback = void (*)(double fraction);
using StatusCallback = void (*)(int32_t status);
using WeighingCallback = void (*)(WeighingResult result);

// Connection operations. Obtain it from a CVESKScaleInterface pointer by an
// ordinary conversion (the interface is a virtual base).
class CVESKDeviceInterface {
public:
    // 0 RS232 (serial line), 1 USB (FTDI D2XX), 2 ETH (Ethernet module).
    virtual void SetConnectionKind(int32_t kind) = 0;
    // Keys and values of the transport in use. On an Ethernet connection a
    // "port" that is not an integer throws std::invalid_argument.
    virtual bool SetParameter(const char* key, const char* value) = 0;
    // Keys of the transport in use, and two of the device's own:
    // "ConnectionKind" ("RS232", "USB", "ETH") and "error".
    //
    // "error" says why the last Connect failed: "" after a successful one
    // (and before any, or after SetConnectionKind), otherwise
    // "<code>: <detail>". <code> is one of
    //   not-found    no such port, device or converter
    //   permission   the system refuses access (on Linux: not in `dialout`)
    //   busy         another program holds the line; the detail ends in
    //                "(process <pid>)" where a lock names the holder
    //   unreachable  no route to the address
    //   refused      nothing accepts connections at the address and port
    //   timeout      no answer in time
    //   no-library   the FTDI D2XX library is missing or cannot be loaded
    //   invalid      the settings cannot work (no kind, a bad address)
    //   closed       closed while connecting, or the other end went away
    //   io           the device failed
    //   other        anything else
    // <detail> begins with the port, converter or address ("/dev/ttyUSB0",
    // "USB1 (serial FT5XK1A)", "192.168.1.75:1001", "libftd2xx.so"), then
    // ": " and the reason in English, whatever the process locale. With the
    // environment variable QELSCALE_DEBUG=1 every failure inside the library
    // is also written to standard error, one line each.
    virtual const char* GetParameter(const char* key) = 0;
    virtual bool Connect() = 0;
    virtual bool Disconnect() = 0;
    virtual bool SendSJ(int32_t timeoutMs) = 0;
    // Uploads a firmware text file to the scale, or loads one into its
    // Ethernet module. Throws std::runtime_error when the scale's firmware
    // file cannot be opened. The scale's file is UTF-8 or, with its
    // byte-order mark, UTF-16; false, and nothing starts, for a file without
    // lines or one that is no text (zero bytes in it, malformed UTF-16). A
    // second upload stops the one running first.
    virtual bool UpdateFirmware(const char* path, bool sendStartCommand, bool ethernetModule,
                                ProgressCallback onProgress, StatusCallback onStatus) = 0;
    virtual bool StopListener() = 0;
    // Destroys the whole object; the pointer is dead afterwards.
    virtual void Release() = 0;

protected:
    // Objects are destroyed through Release(), never through delete.
    ~CVESKDeviceInterface() = default;
};

// Scale operations.
class CVESKScaleInterface : public virtual CVESKDeviceInterface {
public:
    virtual DeviceInfo GetDeviceInfo() = 0;
    // Status 0: identity and count are known; 1: all records are stored and
    // the line settings restored; 2: the scale did not answer.
    virtual bool StartAlibiRead(ProgressCallback onProgress, StatusCallback onStatus) = 0;
    // index counts from 1. Throws std::out_of_range for an index outside the
    // stored records and std::invalid_argument for a malformed last field.
    virtual AlibiRecord GetAlibiRecord(int64_t index) = 0;
    virtual int64_t GetAlibiRecordCount() = 0;
    virtual bool SetWiFiParameter(const char* key, const char* value) = 0;
    virtual const char* GetWiFiParameter(const char* key) = 0;
    virtual bool SendST(int32_t timeoutMs) = 0;
    virtual bool SendSZ(int32_t timeoutMs) = 0;
    virtual bool SendSS(int32_t timeoutMs) = 0;
    virtual bool SendSL(double value, int32_t timeoutMs) = 0;
    virtual bool SendSH(double value, int32_t timeoutMs) = 0;
    virtual DeviceInfo ReadSW9(int32_t timeoutMs) = 0;
    virtual WeighingResult ReadSx3(int32_t timeoutMs) = 0;
    virtual bool RequestSI(WeighingCallback onWeight, int32_t timeoutMs) = 0;

    // ---- later additions: keep them after RequestSI, in this order ----

    // The number of record lines the last alibi read stored. It differs from
    // GetAlibiRecordCount() when the scale sent more or fewer lines than it
    // announced, or when the read ended early. Like GetAlibiRecord: read it in
    // a status callback or once the read is over.
    virtual int64_t GetAlibiLineCount() = 0;
    // Record line `index` (1-based, arrival order, as GetAlibiRecord counts)
    // exactly as the scale sent it, CR LF included; null outside
    // 1..GetAlibiLineCount(). Valid until the next GetAlibiRecordLine. (A NUL
    // byte inside a line ends the text there.)
    virtual const char* GetAlibiRecordLine(int64_t index) = 0;
    // Ends the running alibi read early: once a record line whose record
    // number (its first field) is at or below `recordId` has been stored, no
    // further "Salibinext" is sent, the line settings are restored and status
    // 1 follows, as after the end line. 0, the default that every
    // StartAlibiRead sets again, reads to the end line. May be called from
    // inside the status-0 callback or from the caller's thread while the read
    // runs. The scale is then left in the middle of its transfer; the next
    // StartAlibiRead still works (two silences, then "Salibiprn"). Returns
    // false, and changes nothing, for a negative `recordId`.
    virtual bool EndAlibiReadAfter(int64_t recordId) = 0;

protected:
    ~CVESKScaleInterface() = default;
};

extern "C" {
// Creates an independent scale object; null if it cannot be allocated.
QELSCALE_API CVESKScaleInterface* GetVESKScaleInstance();
// Type of GetVESKScaleInstance, for callers that load the library at run time.
typedef CVESKScaleInterface* (*GetVESKScaleInstanceFunction)();
}

#endif  // QELSCALE_H
