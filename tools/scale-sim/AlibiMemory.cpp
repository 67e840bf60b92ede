#include "AlibiMemory.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <random>

namespace scalesim {

namespace {

struct CivilDate {
    int year;
    int month;
    int day;
};

// Days since 1970-01-01 to a calendar date (proleptic Gregorian).
CivilDate DateFromDays(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    const int day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    const int month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    const int year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
    return {year, month, day};
}

// 1970-01-01 was a Thursday.
bool IsWeekend(std::int64_t days) {
    const std::int64_t weekday = ((days % 7) + 7 + 4) % 7;  // 0 Sunday .. 6 Saturday
    return weekday == 0 || weekday == 6;
}

struct Product {
    const char* id;
    const char* unit;
    int decimals;
    std::int64_t minNet;  // in steps of the last decimal place
    std::int64_t maxNet;
    std::int64_t maxTare;
};

// Weighed goods with the unit and resolution a scale would use for them.
constexpr std::array<Product, 10> kProducts = {{
    {"P0001", "kg", 3, 150, 5800, 350},
    {"P0002", "kg", 3, 900, 2500, 0},
    {"P0017", "kg", 2, 120, 14500, 800},
    {"FLOUR-25", "kg", 2, 2480, 2520, 45},
    {"P0103", "g", 1, 35, 49990, 1200},
    {"SCREWS-M4", "g", 2, 100, 25000, 0},
    {"GOLD-585", "g", 3, 1200, 98000, 0},
    {"LB-BOX-2", "lb", 2, 50, 2200, 120},
    {"STONE-7", "ct", 3, 150, 12000, 0},
    {"SPRING-K", "N", 1, 10, 4900, 0},
}};

constexpr std::array<const char*, 6> kUsers = {"ADMIN", "U01", "U02", "ANNA", "PIOTR", "OPER7"};

std::string FormatFixed(std::int64_t steps, int decimals) {
    std::int64_t scale = 1;
    for (int i = 0; i < decimals; ++i) {
        scale *= 10;
    }
    char buffer[48];
    if (decimals == 0) {
        std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(steps));
    } else {
        std::snprintf(buffer, sizeof buffer, "%lld.%0*lld", static_cast<long long>(steps / scale),
                      decimals, static_cast<long long>(steps % scale));
    }
    return buffer;
}

}  // namespace

class RecordGenerator {
public:
    explicit RecordGenerator(std::uint64_t seed) : random_(seed) {}

    std::string Next(std::int64_t recordId) {
        AdvanceClock();
        const Product& product = kProducts[PickProduct()];
        const std::int64_t net = Between(product.minNet, product.maxNet);
        const std::int64_t tare = Chance(40) ? Between(0, product.maxTare) : 0;
        const bool stable = !Chance(3);
        const CivilDate date = DateFromDays(day_);
        char buffer[256];
        std::snprintf(buffer, sizeof buffer,
                      "%lld;%04d-%02d-%02d;%02d:%02d:%02d;%d;%s;%s;%s;%s;%s;%s;%d;%d",
                      static_cast<long long>(recordId), date.year, date.month, date.day,
                      secondOfDay_ / 3600, secondOfDay_ / 60 % 60, secondOfDay_ % 60, numberOfDay_,
                      kUsers[user_], product.id, FormatFixed(net, product.decimals).c_str(),
                      FormatFixed(net + tare, product.decimals).c_str(),
                      FormatFixed(tare, product.decimals).c_str(), product.unit, product.decimals,
                      stable ? 1 : 0);
        return buffer;
    }

private:
    std::int64_t Between(std::int64_t low, std::int64_t high) {
        return low +
               static_cast<std::int64_t>(random_() % static_cast<std::uint64_t>(high - low + 1));
    }
    bool Chance(int percent) { return Between(1, 100) <= percent; }

    std::size_t PickProduct() {
        // A scale mostly weighs the same few goods.
        if (Chance(60)) {
            return static_cast<std::size_t>(Between(0, 2));
        }
        return static_cast<std::size_t>(Between(0, kProducts.size() - 1));
    }

    // Weighings happen on working days between 06:00 and 22:00, with gaps of seconds to
    // an hour; a new day restarts the weighing number and may change the operator.
    void AdvanceClock() {
        secondOfDay_ += static_cast<int>(Chance(80) ? Between(8, 240) : Between(240, 3600));
        ++numberOfDay_;
        if (secondOfDay_ < 22 * 3600) {
            if (Chance(2)) {
                user_ = static_cast<std::size_t>(Between(0, kUsers.size() - 1));
            }
            return;
        }
        day_ += Chance(85) ? 1 : Between(2, 4);
        while (IsWeekend(day_)) {
            ++day_;
        }
        secondOfDay_ = 6 * 3600 + static_cast<int>(Between(0, 5400));
        numberOfDay_ = 1;
        user_ = static_cast<std::size_t>(Between(0, kUsers.size() - 1));
    }

    std::mt19937_64 random_;
    std::int64_t day_ = 19359;  // Monday, 2023-01-02
    int secondOfDay_ = 6 * 3600;
    int numberOfDay_ = 0;
    std::size_t user_ = 1;
};

AlibiMemory::AlibiMemory() = default;
AlibiMemory::~AlibiMemory() = default;
AlibiMemory::AlibiMemory(AlibiMemory&&) noexcept = default;
AlibiMemory& AlibiMemory::operator=(AlibiMemory&&) noexcept = default;

AlibiMemory AlibiMemory::Generate(std::int64_t count, std::uint64_t seed) {
    AlibiMemory memory;
    memory.oldestFirst_.reserve(static_cast<std::size_t>(std::max<std::int64_t>(count, 0)));
    memory.AddOnTop(count, seed);
    return memory;
}

void AlibiMemory::AddOnTop(std::int64_t count, std::uint64_t seed) {
    if (!generator_) {
        generator_ = std::make_unique<RecordGenerator>(seed);
    }
    for (std::int64_t i = 0; i < count; ++i) {
        oldestFirst_.push_back(generator_->Next(Count() + 1));
    }
}

bool AlibiMemory::Load(const std::string& path, AlibiMemory& memory, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open records file " + path;
        return false;
    }
    std::vector<std::string> newestFirst;
    std::string line;
    while (std::getline(file, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) {
            line.pop_back();
        }
        if (line.empty() || line.front() == '#') {
            continue;
        }
        newestFirst.push_back(line);
    }
    if (file.bad()) {
        error = "cannot read records file " + path;
        return false;
    }
    memory.oldestFirst_.assign(newestFirst.rbegin(), newestFirst.rend());
    memory.generator_.reset();
    return true;
}

}  // namespace scalesim
