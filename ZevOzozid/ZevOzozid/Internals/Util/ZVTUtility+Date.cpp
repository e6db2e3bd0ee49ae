#include "platform/Clock.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

#include <cstdio>
#include <ctime>

namespace {

bool digitsAt(const std::string& text, size_t at, size_t count, int& value) {
    value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

}  // namespace

namespace ZVTUtility {

ZVTDate currentDate() {
    return std::chrono::floor<std::chrono::milliseconds>(platform::Clock::wallClockNow());
}

double nowInMilliseconds() {
    return static_cast<double>(
        std::chrono::duration_cast<std::chrono::milliseconds>(currentDate().time_since_epoch())
            .count());
}

std::string dateToISO8601(const ZVTDate& date) {
    using namespace std::chrono;
    auto ms = floor<milliseconds>(date);
    auto secs = floor<seconds>(ms);
    auto days = floor<std::chrono::days>(secs);
    year_month_day ymd{days};
    hh_mm_ss<seconds> time{secs - days};
    char out[40];
    std::snprintf(out, sizeof out, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", int(ymd.year()),
                  unsigned(ymd.month()), unsigned(ymd.day()), int(time.hours().count()),
                  int(time.minutes().count()), int(time.seconds().count()),
                  int((ms - secs).count()));
    return out;
}

std::optional<ZVTDate> dateFromISO8601(const std::string& text) {
    using namespace std::chrono;
    // yyyy-MM-ddTHH:mm:ss.SSSZ
    if (text.size() != 24 || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
        text[13] != ':' || text[16] != ':' || text[19] != '.' || text[23] != 'Z') {
        return std::nullopt;
    }
    int y, mo, d, h, mi, s, ms;
    if (!digitsAt(text, 0, 4, y) || !digitsAt(text, 5, 2, mo) || !digitsAt(text, 8, 2, d) ||
        !digitsAt(text, 11, 2, h) || !digitsAt(text, 14, 2, mi) || !digitsAt(text, 17, 2, s) ||
        !digitsAt(text, 20, 3, ms)) {
        return std::nullopt;
    }
    year_month_day ymd{year(y), month(static_cast<unsigned>(mo)), day(static_cast<unsigned>(d))};
    if (!ymd.ok() || h > 23 || mi > 59 || s > 59) return std::nullopt;
    // Counted in milliseconds first: dates past the clock's range (about 1677 to 2262) are
    // refused instead of overflowing.
    const milliseconds since = duration_cast<milliseconds>(sys_days(ymd).time_since_epoch()) +
                               hours(h) + minutes(mi) + seconds(s) + milliseconds(ms);
    if (since > duration_cast<milliseconds>(ZVTDate::duration::max()) ||
        since < duration_cast<milliseconds>(ZVTDate::duration::min())) {
        return std::nullopt;
    }
    return ZVTDate(duration_cast<ZVTDate::duration>(since));
}

void resetDateFormatterInstance() {}

int currentAppEnvironment() {
    return 99;
}
bool hasEmbeddedMobileProvision() {
    return false;
}
bool isAppStoreReceiptSandbox() {
    return false;
}

}  // namespace ZVTUtility
