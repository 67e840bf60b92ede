#include "FaultPlan.h"
#include "SimOptions.h"

namespace scalesim {

namespace {

// Breaks a comma-separated list into lines of at most `width` characters; continued
// lines are indented by `indent`, where the first one starts too.
std::string Wrapped(const std::string& list, std::size_t indent, std::size_t width) {
    std::string text;
    std::size_t column = indent;
    std::size_t start = 0;
    while (start < list.size()) {
        std::size_t end = list.find(", ", start);
        end = end == std::string::npos ? list.size() : end + 2;
        const std::string word = list.substr(start, end - start);
        if (column + word.size() > width) {
            while (!text.empty() && text.back() == ' ') {
                text.pop_back();
            }
            text += "\n" + std::string(indent, ' ');
            column = indent;
        }
        text += word;
        column += word.size();
        start = end;
    }
    return text;
}

}  // namespace

std::string HelpText() {
    return R"(scale-sim - a simulated weighing scale with its Ethernet and WiFi modules

Usage: scale-sim [options]

The simulator answers the scale's line protocol (ST, SZ, SS, SL<n>, SH<n>, SJ, Sx3, SI,
SW9, the alibi memory dialogue Salibitrn / Salibiprn / Salibinext, the firmware upload
Sfirmwupd, Swificfg and Swifisrv) on a pseudo-terminal, on TCP and on UDP, so that the
record browser and the QELScale library can be used without a scale at hand.

When everything listens, one line per endpoint is printed to standard output:
  pty <slave device>      tcp <addr>:<port>      udp <addr>:<port>      tibbo <addr>:65535
followed by the line "ready". SIGTERM or SIGINT stop the simulator (the --link is
removed); SIGUSR1 and SIGHUP change its alibi memory (see below).

Carriers (the default is --pty when no carrier is given):
  --pty                  serve on a new pseudo-terminal
  --link PATH            also place a symbolic link PATH -> the pseudo-terminal's slave
  --tcp ADDR:PORT        serve the scale's line on TCP (loopback addresses only,
                         127.0.0.0/8; port 0 picks a free port)
  --udp ADDR:PORT        serve the scale's line as UDP datagrams (one conversation per peer)
  --tibbo                simulate the Ethernet module's management protocol on UDP port
                         65535 of the --udp (or --tcp) address; its serial settings (PBR,
                         PPR) then act as the line speed of the network carriers
  --one-scale            every carrier, TCP connection and UDP peer talks to one and
                         the same scale, which keeps its state (an open transfer, tare,
                         limits, faults already shown) from one connection to the next,
                         as a scale behind its Ethernet module does; without it each TCP
                         connection and UDP peer gets a fresh scale. The pseudo-terminal
                         is one scale for its whole run, however often the program
                         closes and reopens it.

Line settings:
  --baud B               the scale's configured line speed (default 9600): 1200, 2400,
                         4800, 9600, 19200, 38400, 57600 or 115200
  --parity P             the scale's configured parity: N (default), E or O
  --any-baud             understand everything at any line speed
  Like a real scale, ordinary commands are understood only at the configured speed and
  Salibiprn / Salibinext only at 115200 baud; firmware lines and the WiFi module also run
  at 115200. After Salibitrn the whole line runs at 115200 baud, even parity, until the
  scale has sent the end line of a listing: then it is back at its configured settings.
  Bytes received at another speed are ignored as noise. On a pseudo-terminal
  the speed is the one the program set on its end (a pseudo-terminal keeps no parity);
  behind --tibbo it is the module's serial setting (with parity: E for the alibi
  transfer). Plain TCP and UDP have no line speed: everything is understood.

Identity and weighing:
  --type T               type (default "SIM 6/C1")
  --serial N             serial number (default 560123)
  --production-date D    production date (default 2019-03-01)
  --firmware-version V   firmware version, fourth line of SW9 (default 1.4.2)
  --header TEXT          the column line of the alibi dialogue (default
                         REC_ID;DATE;TIME;NUM;USER_ID;PROD_ID;NET;GROSS;TARE;UNIT;DEC;STB)
  --weight W             gross weight on the pan (default 1.234); ST tares it, SZ zeroes it
  --unit U               weighing unit (default kg)
  --decimals D           decimal places shown (default 3)
  Sx3 answers "H<weight> <unit>S" (H: a valid reading, S: stable; at most 16 bytes).
  SI answers a sign in column 1, the value in columns 2-10, the unit in columns 11-13, then
  a blank and H or L when the net is above the SH limit or below the SL limit.
  SW9 answers seven lines: type, serial number, production date, firmware version, column
  line, record count, verification scale interval.

Alibi memory:
  --records N            generate N records (default 1000): ascending dates and times on
                         working days, users, products, units (kg, g, lb, ct, N), decimals
                         and masses that agree, stability mostly 1
  --seed S               seed of the generated records (default 1)
  --records-file F       load the record lines from F instead: one line per record, twelve
                         ";"-separated fields, sent in file order; "#" starts a comment line
  The dialogue: Salibitrn -> "Malibitrn"; Salibiprn -> "Type:...", "Serial number:...",
  "Production date:...", "Records:<count>", the column line; then one record per
  Salibinext, numbered from the count down to 1; then "Malibiprn" (also the answer to
  Salibinext when no listing is under way).
  A transfer left before its end line (a program that stops a read, or ends it once it
  has the records it needs) stays open: the line stays at 115200 baud, even parity, so
  Salibitrn and every other command at the configured settings is noise; Salibinext
  goes on with the next older record; Salibiprn starts the listing again from the top
  (identity lines, count, column line, newest record first); Salibitrn at 115200 is
  answered "Malibitrn" and changes nothing else. A program that reads again at other
  settings therefore meets two silences before it switches the line and sends Salibiprn.

Changing the memory while the simulator runs (the same scale, read again):
  --grow K               how many records each SIGUSR1 adds (default 1)
  SIGUSR1                K new weighings on top of the memory, numbered on from the
                         count. A generated memory goes on with its own sequence: with
                         --records N --seed S it then holds byte for byte what --records
                         N+K --seed S would; the older records never change. A memory of
                         a --records-file gets records generated with --seed.
  SIGHUP                 read the --records-file again, whatever it holds now: fewer lines
                         (the memory was cleared), other texts (another scale under the
                         same serial number), other numbers (renumbered). A file that
                         cannot be read leaves the memory as it was.
  After each change the simulator prints "records <count>" on standard output. The change
  is made before any command that arrives after the signal; a listing under way goes on
  with the record it was at (records added on top do not move it; a shorter memory ends
  it sooner).

Faults:
  --silent-at STEP       never answer at STEP (may be repeated)
  --garbage-at STEP      send a garbage line instead of the answer at STEP (may be repeated)
  --unterminated-at STEP send the answer at STEP without its CR LF, so that it runs into
                         the next line (may be repeated)
  --oversized-at STEP    stretch the answer at STEP to a line of 1 MiB (may be repeated)
  --repeat-at STEP       send the answer at STEP twice (may be repeated)
  --fault-once           the steps above misbehave only the first time they occur
                         (per connection); a retry is then answered
    STEP is one of: )" +
           Wrapped(StepNamesForHelp(), 20, 90) +
           R"(
    type, serial, date, count and header are the five lines after Salibiprn (silence
    there ends that answer early); record:K is the K-th record sent (the answer to the
    K-th Salibinext; the scale does not move on while it stays silent); end is the line
    "Malibiprn"; fw-start the answer to Sfirmwupd; fw-line:K the answer to the K-th
    firmware line; fw-end the "f3" after the last line.
  --malformed-count      the count line reads "Records:<count>a"
  --announce N           the count line announces N records, whatever the memory holds
  --end-lowercase        the end line reads "malibiprn"
  --short-records        record lines keep only three fields (number;date;stability)
  --drop-after K         hang up after K records (closes the TCP connection; closes the
                         pseudo-terminal, which ends the simulator if nothing else is
                         served)
  --chunk N              deliver every reply in pieces of N bytes with a pause between
  --chunk-gap MS         the pause between pieces (default 3 ms)
  --pace                 deliver bytes at the real line rate: 10 bits per byte for 8N1,
                         11 for 8E1/8O1, from the pseudo-terminal's settings (and the
                         scale's own even parity during the alibi transfer); the scale
                         answers only after the request itself would have crossed the
                         line. On the network carriers the rate is --baud, or the
                         module's serial settings.

Firmware upload (Sfirmwupd -> "Mfirmwupd", then each line is answered "f1"; after the
last line the scale sends "f3"):
  --fw-lines N           the upload has N lines (default: it ends with the Intel HEX end
                         record ":00000001FF")
  --fw-refuse K          answer "f2" to line K once
  --fw-refuse-twice      ... and to its second copy as well
  --fw-silent-end        send no "f3" after the last line
  --fw-out FILE          append every accepted firmware line to FILE

WiFi module (after Swificfg -> "Mwificfg" the line belongs to an AT command module at
115200 baud: +++, AT, ATE0/ATE1, AT+CWDHCP_DEF, AT+CIPAP_DEF, AT+CWMODE_DEF, AT+CWLAP,
AT+CWJAP_DEF, AT+SAVETRANSLINK, with "?" queries; ESC hands the line back to the scale.
Swifisrv=0, Swifisrv=1,<port> and Swifisrv=? are answered by the scale):
  --wifi-network SSID,PASSWORD[,BSSID[,RSSI[,CHANNEL]]]
                         an access point in range (repeatable; replaces the built-in list
                         VESK-Office/tarvo2019, Warehouse/palette#7 (two access points),
                         Guest (open)); write "\," for a comma inside a value
  --wifi-log FILE        append every command the module receives to FILE, one per line
                         ("+++" and "<ESC>" included), exactly as received
  --wifi-refuse          the scale refuses Swificfg (answers "ES")
  --wifi-silent          the module never answers
  --wifi-echo            the module echoes commands until it receives ATE0
  --wifi-join-no-ok      a successful join reports "WIFI CONNECTED" but no "OK"

Ethernet module (--tibbo; commands without line ending, one per datagram, replies starting
with A accepted, C command error, D denied, F failed, R not in this mode):
  X  -> A<mac>/0000/<mode>----/<owner>/<name> with the MAC written as six 3-digit numbers,
        so that the mode letter (N normal, L loading) is always the 31st character;
  V -> A<version>; L / O log in and out;
  GBR -> A<baud index>, PBR<i> / PPR<i> set the serial side (baud index 0-7 = 1200 ...
  115200, parity index 0 none, 1 even, 2 odd), N (after L) -> loading mode,
  Q prepare, D<hi><lo><bytes> one block, E end the load and return to normal mode.
  --tibbo-mac M          MAC address, six decimal bytes with dots
                         (default 0.36.119.87.16.42)
  --tibbo-owner NAME     owner name (default VESK)
  --tibbo-name NAME      device name (default scale-sim)
  --tibbo-version V      firmware version (default 3.66/EM1000)
  --tibbo-loading        start in loading mode
  --tibbo-silent         never answer on the management port
  --tibbo-refuse CMD     answer "D" to CMD (L, N, Q, E, X, V, GBR, PBR or PPR)
  --tibbo-refuse-block K answer "F" to block K
  --tibbo-stay-loading   accept "E" but stay in loading mode
  --tibbo-image-out FILE write the loaded image to FILE after "E"

Other:
  --trace                print every byte received and sent to standard error
  --help                 this text
  --version              the version of the simulator
Options also take the form --option=value.

Examples:
  scale-sim --link /tmp/ttyScale              a scale at 9600 baud on /tmp/ttyScale
  scale-sim --tcp 127.0.0.2:1001 --tibbo      a scale behind its Ethernet module
  scale-sim --records 20000 --pace            a big memory at the real line rate
  scale-sim --records 500 --grow 20 & ... kill -USR1 $!
                                              read 500 records, then 520, the same 500
                                              below 20 new ones
)";
}

}  // namespace scalesim
