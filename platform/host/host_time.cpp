// FileTimeToSystemTime and SystemTimeToFileTime as Windows does them: FILETIME
// counts 100 ns ticks since 1601-01-01 UTC, the proleptic Gregorian calendar
// throughout. The host may use 64-bit arithmetic freely.
#include <cstdint>

#include "platform/platform.h"

namespace {

const uint64_t TICKS_PER_MILLISECOND = 10000;
const uint64_t TICKS_PER_SECOND = 10000000;
const uint64_t SECONDS_PER_DAY = 86400;
const uint64_t LARGEST_FILE_TIME = 0x7FFFFFFFFFFFFFFFull;

// Days from 0000-03-01 in 400-year eras (H. Hinnant's civil calendar
// algorithms); starting the year in March puts the leap day last.
int64_t daysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const int64_t era = year / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra;
}

void civilFromDays(int64_t days, int64_t* year, unsigned* month, unsigned* day) {
    const int64_t era = days / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;
    *day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    *month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    *year = static_cast<int64_t>(yearOfEra) + era * 400 + (*month <= 2);
}

const int64_t DAY_1601 = daysFromCivil(1601, 1, 1);

bool isLeapYear(unsigned year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

unsigned daysInMonth(unsigned year, unsigned month) {
    static const unsigned char lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return lengths[month - 1] + (month == 2 && isLeapYear(year));
}

}  // namespace

int osFileTimeToSystemTime(const FileTime* fileTime, SystemTime* systemTime) {
    const uint64_t ticks = (static_cast<uint64_t>(fileTime->high) << 32) | fileTime->low;
    if (ticks > LARGEST_FILE_TIME) return 0;

    const uint64_t seconds = ticks / TICKS_PER_SECOND;
    const uint64_t days = seconds / SECONDS_PER_DAY;
    const uint64_t secondOfDay = seconds % SECONDS_PER_DAY;

    int64_t year;
    unsigned month;
    unsigned day;
    civilFromDays(DAY_1601 + static_cast<int64_t>(days), &year, &month, &day);

    systemTime->year = static_cast<uint16_t>(year);
    systemTime->month = static_cast<uint16_t>(month);
    systemTime->dayOfWeek = static_cast<uint16_t>((days + 1) % 7);  // 1601-01-01 was a Monday
    systemTime->day = static_cast<uint16_t>(day);
    systemTime->hour = static_cast<uint16_t>(secondOfDay / 3600);
    systemTime->minute = static_cast<uint16_t>(secondOfDay % 3600 / 60);
    systemTime->second = static_cast<uint16_t>(secondOfDay % 60);
    systemTime->milliseconds = static_cast<uint16_t>(ticks % TICKS_PER_SECOND / TICKS_PER_MILLISECOND);
    return 1;
}

int osSystemTimeToFileTime(const SystemTime* systemTime, FileTime* fileTime) {
    const SystemTime& t = *systemTime;
    if (t.year < 1601 || t.year > 30827) return 0;
    if (t.month < 1 || t.month > 12) return 0;
    if (t.day < 1 || t.day > daysInMonth(t.year, t.month)) return 0;
    if (t.hour >= 24 || t.minute >= 60 || t.second >= 60 || t.milliseconds >= 1000) return 0;

    const uint64_t days = static_cast<uint64_t>(daysFromCivil(t.year, t.month, t.day) - DAY_1601);
    const uint64_t seconds = days * SECONDS_PER_DAY + t.hour * 3600u + t.minute * 60u + t.second;
    const uint64_t ticks = seconds * TICKS_PER_SECOND + t.milliseconds * TICKS_PER_MILLISECOND;
    fileTime->low = static_cast<uint32_t>(ticks);
    fileTime->high = static_cast<uint32_t>(ticks >> 32);
    return 1;
}
