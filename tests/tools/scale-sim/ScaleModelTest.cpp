#include "ScaleModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>

using namespace scalesim;

namespace {

constexpr LineState kConfigured{9600, 0};
constexpr LineState kTransfer{115200, 0};
constexpr LineState kNetwork{0, 0};

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream stream(text);
    std::string part;
    while (std::getline(stream, part, separator)) {
        parts.push_back(part);
    }
    return parts;
}

class Scale {
public:
    explicit Scale(ScaleSettings settings = {}, std::int64_t records = 3)
        : memory_(AlibiMemory::Generate(records, 7)),
          wifi_(DefaultWifi()),
          model_(settings, memory_, wifi_) {}

    // What the scale sends back for these bytes at these line settings.
    std::string Talk(const std::string& bytes, LineState line = kConfigured) {
        last_.clear();
        model_.Receive(bytes, line, Clock::now(), last_);
        std::string text;
        for (const Reply& reply : last_) {
            text += reply.bytes;
        }
        return text;
    }

    const Replies& LastReplies() const { return last_; }
    const AlibiMemory& Memory() const { return memory_; }
    // The scale reads its memory as it is at each command.
    AlibiMemory& Memory() { return memory_; }

private:
    static WifiSettings DefaultWifi() {
        WifiSettings wifi;
        wifi.networks = WifiSettings::DefaultNetworks();
        return wifi;
    }

    AlibiMemory memory_;
    WifiSettings wifi_;
    ScaleModel model_;
    Replies last_;
};

}  // namespace

TEST(ScaleModel, AnswersTheShortCommands) {
    const struct {
        const char* command;
        const char* reply;
    } cases[] = {
        {"ST\r\n", "MT\r\n"},
        {"SZ\r\n", "MZ\r\n"},
        {"SS\r\n", "MS\r\n"},
        {"SJ\r\n", "MJ\r\n"},
        {"SL12.5\r\n", "ML\r\n"},
        {"SH100\r\n", "MH\r\n"},
        {"SL0.5\r\n", "ML\r\n"},
        {"SLx\r\n", "ES\r\n"},
        {"Sbogus\r\n", "ES\r\n"},
        {"MT\r\n", ""},
        {"\r\n", ""},
        {"ST\n", "MT\r\n"},
        {"Swifisrv=0\r\n", "Mwifisrv\r\n"},
        {"Swifisrv=1,80\r\n", "Mwifisrv\r\n"},
        {"Swifisrv=1,0\r\n", "ES\r\n"},
    };
    for (const auto& c : cases) {
        Scale scale;
        EXPECT_EQ(scale.Talk(c.command), c.reply) << c.command;
    }
}

TEST(ScaleModel, ReportsTheWifiServerItWasGiven) {
    Scale scale;
    EXPECT_EQ(scale.Talk("Swifisrv=?\r\n"), "Mwifisrv=0\r\n");
    scale.Talk("Swifisrv=1,65535\r\n");
    const std::string reply = scale.Talk("Swifisrv=?\r\n");
    EXPECT_EQ(reply, "Mwifisrv=1,65535\r\n");
    EXPECT_LE(reply.size(), 18u);
}

TEST(ScaleModel, Sx3CarriesTheWeightAfterItsFirstCharacter) {
    ScaleSettings settings;
    settings.weight = 12.345;
    Scale scale(settings);
    const std::string reply = scale.Talk("Sx3\r\n");
    ASSERT_LE(reply.size(), 16u);
    ASSERT_GE(reply.size(), 5u);
    EXPECT_NE(reply.find('H'), std::string::npos);
    EXPECT_NE(reply.find('S'), std::string::npos);
    EXPECT_NE(reply.find("kg"), std::string::npos);
    const std::string trimmed = reply.substr(0, reply.size() - 2);
    EXPECT_DOUBLE_EQ(std::strtod(trimmed.substr(1, trimmed.size() - 3).c_str(), nullptr), 12.345);
}

TEST(ScaleModel, SiPlacesSignValueAndUnitInTheirColumns) {
    const struct {
        double weight;
        const char* unit;
        const char* command;
        double value;
        char indicator;
    } cases[] = {
        {-1.5, "kg", "", -1.5, ' '},
        {2.25, "ozt", "", 2.25, ' '},
        {7.0, "g", "SH5\r\n", 7.0, 'H'},
        {3.0, "N", "SL4\r\n", 3.0, 'L'},
    };
    for (const auto& c : cases) {
        ScaleSettings settings;
        settings.weight = c.weight;
        settings.unit = c.unit;
        Scale scale(settings);
        scale.Talk(c.command);
        const std::string line = scale.Talk("SI\r\n");
        ASSERT_GE(line.size(), 15u) << line;
        const double magnitude = std::strtod(line.substr(1, 10).c_str(), nullptr);
        EXPECT_DOUBLE_EQ(line[0] == '-' ? -magnitude : magnitude, c.value) << line;
        std::string unit = c.unit;
        unit.resize(3, ' ');
        EXPECT_EQ(line.substr(10, 3), unit) << line;
        EXPECT_EQ(line[14], c.indicator) << line;
        EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
    }
}

TEST(ScaleModel, SW9SendsSevenIdentityLines) {
    Scale scale;
    const std::string reply = scale.Talk("SW9\r\n");
    EXPECT_LE(reply.size(), 190u);
    const auto lines = Split(reply, '\n');
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "SIM 6/C1\r");
    EXPECT_EQ(lines[1], "560123\r");
    EXPECT_EQ(lines[2], "2019-03-01\r");
    EXPECT_EQ(lines[5], "3\r");
}

TEST(ScaleModel, RunsTheWholeAlibiDialogue) {
    Scale scale;
    EXPECT_EQ(scale.Talk("Salibitrn\r\n"), "Malibitrn\r\n");
    EXPECT_EQ(scale.Talk("Salibiprn\r\n", kTransfer),
              "Type:SIM 6/C1\r\nSerial number:560123\r\nProduction date:2019-03-01\r\n"
              "Records:3\r\nREC_ID;DATE;TIME;NUM;USER_ID;PROD_ID;NET;GROSS;TARE;UNIT;DEC;STB\r\n");
    for (int id = 3; id >= 1; --id) {
        const std::string record = scale.Talk("Salibinext\r\n", kTransfer);
        ASSERT_EQ(record.substr(record.size() - 2), "\r\n");
        const auto fields = Split(record.substr(0, record.size() - 2), ';');
        ASSERT_EQ(fields.size(), 12u) << record;
        EXPECT_EQ(fields[0], std::to_string(id));
    }
    EXPECT_EQ(scale.Talk("Salibinext\r\n", kTransfer), "Malibiprn\r\n");
}

TEST(ScaleModel, UnderstandsEachCommandOnlyAtItsLineSpeed) {
    const struct {
        const char* command;
        LineState line;
        bool anyBaud;
        bool answered;
    } cases[] = {
        {"ST\r\n", kConfigured, false, true},
        {"ST\r\n", kTransfer, false, false},
        {"ST\r\n", LineState{9600, 'E'}, false, false},
        {"Salibitrn\r\n", kTransfer, false, false},
        {"Salibiprn\r\n", kConfigured, false, false},
        {"Salibiprn\r\n", kTransfer, false, true},
        {"Salibiprn\r\n", LineState{115200, 'E'}, false, true},
        {"Salibiprn\r\n", LineState{115200, 'N'}, false, false},
        {"Salibinext\r\n", LineState{19200, 0}, false, false},
        {"Salibiprn\r\n", kConfigured, true, true},
        {"Salibiprn\r\n", kNetwork, false, true},
        {"ST\r\n", kNetwork, false, true},
    };
    for (const auto& c : cases) {
        ScaleSettings settings;
        settings.anyBaud = c.anyBaud;
        Scale scale(settings);
        EXPECT_EQ(!scale.Talk(c.command, c.line).empty(), c.answered)
            << c.command << " at " << c.line.baud;
    }
}

TEST(ScaleModel, IgnoresALineThatArrivedPartlyAtAnotherSpeed) {
    Scale scale;
    EXPECT_EQ(scale.Talk("Sali", kConfigured), "");
    EXPECT_EQ(scale.Talk("biprn\r\n", kTransfer), "");
    EXPECT_NE(scale.Talk("Salibiprn\r\n", kTransfer), "");
}

namespace {

struct FaultCase {
    const char* name;
    std::function<void(ScaleSettings&)> configure;
    std::function<void(Scale&)> check;
};

void StartTransfer(Scale& scale) {
    scale.Talk("Salibitrn\r\n");
    scale.Talk("Salibiprn\r\n", kTransfer);
}

std::string Next(Scale& scale) {
    return scale.Talk("Salibinext\r\n", kTransfer);
}

StepRef ParsedStep(const char* text) {
    StepRef step;
    EXPECT_TRUE(ParseStep(text, step)) << text;
    return step;
}

}  // namespace

TEST(ScaleModel, ShowsTheFaultsItIsAskedFor) {
    const FaultCase cases[] = {
        {"silent record stays silent on retry",
         [](ScaleSettings& s) { s.faults.AddSilent(ParsedStep("record:2")); },
         [](Scale& scale) {
             StartTransfer(scale);
             EXPECT_EQ(Next(scale).substr(0, 2), "3;");
             EXPECT_EQ(Next(scale), "");
             EXPECT_EQ(Next(scale), "");
         }},
        {"a once-silent record is sent on retry",
         [](ScaleSettings& s) {
             s.faults.AddSilent(ParsedStep("record:2"));
             s.faults.SetOnce(true);
         },
         [](Scale& scale) {
             StartTransfer(scale);
             Next(scale);
             EXPECT_EQ(Next(scale), "");
             EXPECT_EQ(Next(scale).substr(0, 2), "2;");
         }},
        {"silent Salibitrn", [](ScaleSettings& s) { s.faults.AddSilent(ParsedStep("salibitrn")); },
         [](Scale& scale) {
             EXPECT_EQ(scale.Talk("Salibitrn\r\n"), "");
             EXPECT_EQ(scale.Talk("Salibitrn\r\n"), "");
             EXPECT_NE(scale.Talk("Salibiprn\r\n", kTransfer), "");
         }},
        {"silent Salibiprn", [](ScaleSettings& s) { s.faults.AddSilent(ParsedStep("salibiprn")); },
         [](Scale& scale) { EXPECT_EQ(scale.Talk("Salibiprn\r\n", kTransfer), ""); }},
        {"silence at the count line cuts the identity short",
         [](ScaleSettings& s) { s.faults.AddSilent(ParsedStep("count")); },
         [](Scale& scale) {
             EXPECT_EQ(scale.Talk("Salibiprn\r\n", kTransfer),
                       "Type:SIM 6/C1\r\nSerial number:560123\r\nProduction date:2019-03-01\r\n");
         }},
        {"garbage instead of a record",
         [](ScaleSettings& s) { s.faults.AddGarbage(ParsedStep("record:1")); },
         [](Scale& scale) {
             StartTransfer(scale);
             const std::string line = Next(scale);
             EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
             EXPECT_EQ(line.find(';'), std::string::npos);
             EXPECT_FALSE(std::isdigit(static_cast<unsigned char>(line[0])));
         }},
        {"malformed count", [](ScaleSettings& s) { s.malformedCount = true; },
         [](Scale& scale) {
             EXPECT_NE(scale.Talk("Salibiprn\r\n", kTransfer).find("\r\nRecords:3a\r\n"),
                       std::string::npos);
         }},
        {"end line in lower case", [](ScaleSettings& s) { s.endLowercase = true; },
         [](Scale& scale) {
             StartTransfer(scale);
             Next(scale), Next(scale), Next(scale);
             EXPECT_EQ(Next(scale), "malibiprn\r\n");
         }},
        {"silent end line", [](ScaleSettings& s) { s.faults.AddSilent(ParsedStep("end")); },
         [](Scale& scale) {
             StartTransfer(scale);
             Next(scale), Next(scale), Next(scale);
             EXPECT_EQ(Next(scale), "");
         }},
        {"records with three fields", [](ScaleSettings& s) { s.shortRecords = true; },
         [](Scale& scale) {
             StartTransfer(scale);
             const std::string line = Next(scale);
             const auto fields = Split(line.substr(0, line.size() - 2), ';');
             ASSERT_EQ(fields.size(), 3u) << line;
             EXPECT_EQ(fields[0], "3");
             EXPECT_TRUE(fields[2] == "0" || fields[2] == "1") << line;
         }},
        {"a record without its CR LF runs into the next",
         [](ScaleSettings& s) { s.faults.Add(ParsedStep("record:1"), FaultAction::Unterminated); },
         [](Scale& scale) {
             StartTransfer(scale);
             const std::string first = Next(scale);
             EXPECT_EQ(first.substr(0, 2), "3;");
             EXPECT_EQ(first.find('\n'), std::string::npos);
             EXPECT_EQ(Next(scale).substr(0, 2), "2;");
         }},
        {"a record stretched to a mebibyte",
         [](ScaleSettings& s) { s.faults.Add(ParsedStep("record:2"), FaultAction::Oversized); },
         [](Scale& scale) {
             StartTransfer(scale);
             Next(scale);
             const std::string line = Next(scale);
             EXPECT_EQ(line.size(), std::size_t(1) << 20);
             EXPECT_EQ(line.substr(0, 2), "2;");
             EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
             EXPECT_EQ(Next(scale).substr(0, 2), "1;");
         }},
        {"a record sent twice",
         [](ScaleSettings& s) { s.faults.Add(ParsedStep("record:1"), FaultAction::Repeated); },
         [](Scale& scale) {
             StartTransfer(scale);
             const std::string twice = Next(scale);
             const std::size_t half = twice.size() / 2;
             EXPECT_EQ(twice.substr(0, half), twice.substr(half));
             EXPECT_EQ(twice.substr(0, 2), "3;");
             EXPECT_EQ(Next(scale).substr(0, 2), "2;");
         }},
        {"a count other than the memory's", [](ScaleSettings& s) { s.announcedCount = 4000000; },
         [](Scale& scale) {
             EXPECT_NE(scale.Talk("Salibiprn\r\n", kTransfer).find("\r\nRecords:4000000\r\n"),
                       std::string::npos);
             Next(scale), Next(scale), Next(scale);
             EXPECT_EQ(Next(scale), "Malibiprn\r\n");
         }},
        {"hang-up after two records", [](ScaleSettings& s) { s.dropAfter = 2; },
         [](Scale& scale) {
             StartTransfer(scale);
             Next(scale);
             EXPECT_FALSE(scale.LastReplies().back().hangUp);
             Next(scale);
             EXPECT_TRUE(scale.LastReplies().back().hangUp);
         }},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScaleSettings settings;
        c.configure(settings);
        Scale scale(settings);
        c.check(scale);
    }
}

TEST(ScaleModel, RefusesUnknownFaultSteps) {
    StepRef step;
    EXPECT_TRUE(ParseStep("fw-line:3", step));
    EXPECT_EQ(step.step, Step::FirmwareLine);
    EXPECT_EQ(step.index, 3);
    for (const char* bad : {"record", "record:0", "record:x", "salibiprn:2", "nonsense", ""}) {
        EXPECT_FALSE(ParseStep(bad, step)) << bad;
    }
}

namespace {

// Sends the upload's lines at 115200 baud and returns every reply.
std::string Upload(Scale& scale, const std::vector<std::string>& lines) {
    std::string replies = scale.Talk("Sfirmwupd\r\n");
    for (const std::string& line : lines) {
        replies += "|" + scale.Talk(line + "\r\n", kTransfer);
    }
    return replies;
}

}  // namespace

TEST(ScaleModel, AcknowledgesFirmwareLines) {
    const struct {
        const char* name;
        std::function<void(ScaleSettings&)> configure;
        std::vector<std::string> lines;
        const char* replies;
    } cases[] = {
        {"two lines",
         [](ScaleSettings& s) { s.firmwareLines = 2; },
         {"A", "B"},
         "Mfirmwupd\r\n|f1\r\n|f1\r\nf3\r\n"},
        {"ends at the HEX end record",
         [](ScaleSettings&) {},
         {":020000040000FA", ":00000001FF"},
         "Mfirmwupd\r\n|f1\r\n|f1\r\nf3\r\n"},
        {"refused once",
         [](ScaleSettings& s) {
             s.firmwareLines = 2;
             s.firmwareRefuseLine = 1;
         },
         {"A", "A", "B"},
         "Mfirmwupd\r\n|f2\r\n|f1\r\n|f1\r\nf3\r\n"},
        {"refused twice",
         [](ScaleSettings& s) {
             s.firmwareLines = 1;
             s.firmwareRefuseLine = 1;
             s.firmwareRefuseTimes = 2;
         },
         {"A", "A"},
         "Mfirmwupd\r\n|f2\r\n|f2\r\n"},
        {"no end report",
         [](ScaleSettings& s) {
             s.firmwareLines = 1;
             s.firmwareSilentEnd = true;
         },
         {"A"},
         "Mfirmwupd\r\n|f1\r\n"},
        {"a silent line",
         [](ScaleSettings& s) {
             s.firmwareLines = 2;
             s.faults.AddSilent({Step::FirmwareLine, 2});
         },
         {"A", "B", "B"},
         "Mfirmwupd\r\n|f1\r\n||"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScaleSettings settings;
        c.configure(settings);
        Scale scale(settings);
        EXPECT_EQ(Upload(scale, c.lines), c.replies);
    }
}

TEST(ScaleModel, ReportsTheEndOfAnUploadAfterAPause) {
    ScaleSettings settings;
    settings.firmwareLines = 1;
    Scale scale(settings);
    scale.Talk("Sfirmwupd\r\n");
    scale.Talk("A\r\n", kTransfer);
    ASSERT_EQ(scale.LastReplies().size(), 2u);
    EXPECT_GT(scale.LastReplies()[1].delay.count(), 0);
    // The upload is over: the scale takes commands again.
    EXPECT_EQ(scale.Talk("ST\r\n"), "MT\r\n");
}

TEST(ScaleModel, IgnoresFirmwareLinesAtTheConfiguredSpeed) {
    ScaleSettings settings;
    settings.firmwareOutPath = ::testing::TempDir() + "scale-model-firmware.txt";
    std::remove(settings.firmwareOutPath.c_str());
    Scale scale(settings);
    scale.Talk("Sfirmwupd\r\n");
    EXPECT_EQ(scale.Talk("first\r\n", kConfigured), "");
    EXPECT_EQ(scale.Talk("first\r\n", kTransfer), "f1\r\n");
    std::ifstream written(settings.firmwareOutPath);
    std::string line;
    ASSERT_TRUE(std::getline(written, line));
    EXPECT_EQ(line, "first");
    EXPECT_FALSE(std::getline(written, line));
}

TEST(AlibiMemory, GeneratesConsistentRealisticRecords) {
    const AlibiMemory memory = AlibiMemory::Generate(500, 42);
    ASSERT_EQ(memory.Count(), 500);
    std::string previousStamp = "9999";
    for (std::int64_t i = 0; i < memory.Count(); ++i) {
        const auto fields = Split(memory.Line(i), ';');
        ASSERT_EQ(fields.size(), 12u) << memory.Line(i);
        EXPECT_EQ(fields[0], std::to_string(500 - i));
        ASSERT_EQ(fields[1].size(), 10u);
        ASSERT_EQ(fields[2].size(), 8u);
        const std::string stamp = fields[1] + " " + fields[2];
        EXPECT_LT(stamp, previousStamp) << "sent newest first";
        previousStamp = stamp;
        for (int f : {4, 5}) {
            EXPECT_FALSE(fields[f].empty());
            EXPECT_LE(fields[f].size(), 16u);
        }
        const int decimals = std::atoi(fields[10].c_str());
        for (int f : {6, 7, 8}) {
            const std::size_t dot = fields[f].find('.');
            EXPECT_EQ(dot == std::string::npos ? 0 : fields[f].size() - dot - 1,
                      static_cast<std::size_t>(decimals))
                << memory.Line(i);
        }
        const double scale = std::pow(10.0, decimals);
        EXPECT_EQ(std::llround(std::atof(fields[6].c_str()) * scale) +
                      std::llround(std::atof(fields[8].c_str()) * scale),
                  std::llround(std::atof(fields[7].c_str()) * scale))
            << "net + tare = gross: " << memory.Line(i);
        EXPECT_TRUE(fields[11] == "0" || fields[11] == "1");
    }
}

TEST(AlibiMemory, IsTheSameForTheSameSeed) {
    const AlibiMemory a = AlibiMemory::Generate(50, 9);
    const AlibiMemory b = AlibiMemory::Generate(50, 9);
    const AlibiMemory c = AlibiMemory::Generate(50, 10);
    bool allSame = true;
    bool anyDifferent = false;
    for (int i = 0; i < 50; ++i) {
        allSame = allSame && a.Line(i) == b.Line(i);
        anyDifferent = anyDifferent || a.Line(i) != c.Line(i);
    }
    EXPECT_TRUE(allSame);
    EXPECT_TRUE(anyDifferent);
}

namespace {

// Writes `text` to a records file `name` in the test's folder; returns its path.
std::string RecordsFile(const char* name, const std::string& text) {
    const std::string path = ::testing::TempDir() + name;
    std::ofstream file(path, std::ios::binary);
    file << text;
    return path;
}

}  // namespace

TEST(AlibiMemory, LoadsRecordLinesFromAFile) {
    const std::string path =
        RecordsFile("scale-sim-records.txt",
                    "# two records\r\n7;2019-03-01;12:00:01;3;U1;P2;1.5;2.0;0.5;kg;3;1\r\n\r\n"
                    "6;2019-03-01;11:00:00;2;U1;P2;1;1;0;g;0;0\n");
    AlibiMemory memory;
    std::string error;
    ASSERT_TRUE(AlibiMemory::Load(path, memory, error)) << error;
    ASSERT_EQ(memory.Count(), 2);
    EXPECT_EQ(memory.Line(0), "7;2019-03-01;12:00:01;3;U1;P2;1.5;2.0;0.5;kg;3;1");
    EXPECT_EQ(memory.Line(1), "6;2019-03-01;11:00:00;2;U1;P2;1;1;0;g;0;0");
    EXPECT_FALSE(AlibiMemory::Load(path + ".missing", memory, error));
    EXPECT_FALSE(error.empty());
}

namespace {

// The first field of what the scale sent: a record's number, or the whole reply.
std::string Head(const std::string& reply) {
    return reply.substr(0, reply.find_first_of(";\r"));
}

}  // namespace

TEST(ScaleModel, StaysInATransferThatWasLeftOpen) {
    // Each step: bytes at a line speed, and the head of the reply (a record number, the
    // first identity line, an answer) or "" for none.
    const struct {
        const char* bytes;
        LineState line;
        const char* head;
    } steps[] = {
        {"Salibitrn\r\n", kConfigured, "Malibitrn"},
        {"Salibiprn\r\n", kTransfer, "Type:SIM 6/C1"},
        {"Salibinext\r\n", kTransfer, "3"},
        // The program has gone back to its own settings: noise to the scale.
        {"ST\r\n", kConfigured, ""},
        {"Salibitrn\r\n", kConfigured, ""},
        {"Salibinext\r\n", kConfigured, ""},
        // At the transfer settings the listing goes on where it was left.
        {"Salibinext\r\n", kTransfer, "2"},
        {"Salibinext\r\n", LineState{115200, 'N'}, ""},
        // A new read: announced again at 115200, then listed from the top.
        {"Salibitrn\r\n", kTransfer, "Malibitrn"},
        {"Salibiprn\r\n", LineState{115200, 'E'}, "Type:SIM 6/C1"},
        {"Salibinext\r\n", kTransfer, "3"},
        {"Salibinext\r\n", kTransfer, "2"},
        {"Salibinext\r\n", kTransfer, "1"},
        {"Salibinext\r\n", kTransfer, "Malibiprn"},
        // The listing has ended: the scale is back at its configured settings.
        {"ST\r\n", kTransfer, ""},
        {"ST\r\n", kConfigured, "MT"},
    };
    Scale scale;
    int number = 0;
    for (const auto& step : steps) {
        ++number;
        EXPECT_EQ(Head(scale.Talk(step.bytes, step.line)), step.head)
            << "step " << number << ": " << step.bytes << " at " << step.line.baud;
    }
}

TEST(ScaleModel, RecordsWeighedDuringATransferGoOnTop) {
    Scale scale;
    StartTransfer(scale);
    EXPECT_EQ(Head(Next(scale)), "3");
    const std::string second = scale.Memory().Line(1);
    scale.Memory().AddOnTop(2, 7);
    EXPECT_EQ(Next(scale), second + "\r\n") << "the listing does not move";
    EXPECT_NE(scale.Talk("Salibiprn\r\n", kTransfer).find("\r\nRecords:5\r\n"), std::string::npos);
    EXPECT_EQ(Head(Next(scale)), "5");
    // A memory cleared in the middle of a listing ends it.
    Next(scale);
    scale.Memory() = AlibiMemory::Generate(1, 9);
    EXPECT_EQ(Head(Next(scale)), "1");
    EXPECT_EQ(Next(scale), "Malibiprn\r\n");
}

TEST(AlibiMemory, GrowsAsIfItHadBeenGeneratedLarger) {
    AlibiMemory grown = AlibiMemory::Generate(40, 5);
    grown.AddOnTop(3, 5);
    grown.AddOnTop(2, 5);
    const AlibiMemory larger = AlibiMemory::Generate(45, 5);
    ASSERT_EQ(grown.Count(), 45);
    for (std::int64_t i = 0; i < 45; ++i) {
        ASSERT_EQ(grown.Line(i), larger.Line(i)) << i;
    }
    EXPECT_EQ(Head(grown.Line(0)), "45");
}

TEST(AlibiMemory, NumbersNewRecordsOfALoadedFileOnFromItsCount) {
    const std::string path = RecordsFile("scale-sim-grow-records.txt",
                                         "2;2019-03-01;12:00:01;3;U1;P2;1.5;2.0;0.5;kg;3;1\n"
                                         "1;2019-03-01;11:00:00;2;U1;P2;1;1;0;g;0;0\n");
    AlibiMemory memory;
    std::string error;
    ASSERT_TRUE(AlibiMemory::Load(path, memory, error)) << error;
    memory.AddOnTop(1, 3);
    ASSERT_EQ(memory.Count(), 3);
    EXPECT_EQ(Head(memory.Line(0)), "3");
    EXPECT_EQ(Split(memory.Line(0), ';').size(), 12u);
    EXPECT_EQ(memory.Line(1), "2;2019-03-01;12:00:01;3;U1;P2;1.5;2.0;0.5;kg;3;1");
    EXPECT_EQ(memory.Line(2), "1;2019-03-01;11:00:00;2;U1;P2;1;1;0;g;0;0");
}
