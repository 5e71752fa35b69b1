// Member times are unsigned 32-bit Unix seconds; the file system wants
// FILETIME values. The stub must run where no 64-bit division is at hand, so
// the conversion goes through the calendar fields (packed DOS date/time and
// SYSTEMTIME) and leaves the 64-bit part to the system.
#include "archive/time_convert.h"

namespace {

const unsigned char monthLengths[2][12] = {
    {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
    {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
};

const uint32_t SECONDS_PER_DAY = 86400;
const uint32_t DAYS_PER_4_YEARS = 1461;

// Day numbers (from 1970-01-01) of 1972-01-01 and 2100-01-01. Between the two
// every fourth year is a leap year, so whole 4-year periods come off by one
// division; 2100 is a common year, so from there years are counted singly.
const uint32_t DAY_1972 = 730;
const uint32_t DAY_2100 = 47482;

const uint32_t TIME_ZONE_BUFFER = 100;

// Field positions of the packed DOS date/time.
const int YEAR_SHIFT = 25;
const int MONTH_SHIFT = 21;
const int DAY_SHIFT = 16;
const int HOUR_SHIFT = 11;
const int MINUTE_SHIFT = 5;

// 2106-02-07 06:28:15, the last second an unsigned 32-bit Unix time holds.
// Packed values of valid dates sort like the dates themselves.
const uint32_t LAST_PACKED_TIME = (126u << YEAR_SHIFT) | (2u << MONTH_SHIFT) | (7u << DAY_SHIFT) | (6u << HOUR_SHIFT) |
                                  (28u << MINUTE_SHIFT) | (15u / 2);

int isLeapYear(uint32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

uint32_t yearLength(uint32_t year) { return 365 + isLeapYear(year); }

// Day number of January 1st of a year from 1970 on.
uint32_t firstDayOfYear(uint32_t year) {
    uint32_t day;
    uint32_t counted;
    if (year >= 2100) {
        day = DAY_2100;
        counted = 2100;
    } else if (year >= 1972) {
        uint32_t periods = (year - 1972) / 4;
        day = DAY_1972 + periods * DAYS_PER_4_YEARS;
        counted = 1972 + 4 * periods;
    } else {
        day = 0;
        counted = 1970;
    }
    for (; counted < year; ++counted) day += yearLength(counted);
    return day;
}

// The year bits hold only 1980 on; earlier years ride in yearOffset.
uint32_t packFields(uint32_t year, uint32_t month, uint32_t day, uint32_t hour, uint32_t minute, uint32_t second,
                    uint16_t* yearOffset) {
    uint32_t yearBits = 0;
    *yearOffset = 0;
    if (year >= 1980) yearBits = year - 1980;
    else *yearOffset = static_cast<uint16_t>(1980 - year);
    return (yearBits << YEAR_SHIFT) | (month << MONTH_SHIFT) | (day << DAY_SHIFT) | (hour << HOUR_SHIFT) |
           (minute << MINUTE_SHIFT) | (second / 2);
}

}  // namespace

// Only the hours of "TZ" count; minutes and a daylight-saving name are
// ignored on purpose. A value too long for the buffer is taken as unset
// rather than read in part.
void applyTimeZone(uint32_t* unixTime) {
    char zone[TIME_ZONE_BUFFER];
    uint32_t length = osGetEnv("TZ", zone, sizeof zone);
    if (length == 0 || length >= sizeof zone) return;

    const char* p = zone;
    while (*p != '\0' && *p != '+' && *p != '-' && (*p < '0' || *p > '9')) ++p;
    int negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;

    uint32_t hours = 0;
    for (; *p >= '0' && *p <= '9'; ++p) hours = hours * 10 + static_cast<uint32_t>(*p - '0');

    if (negative) *unixTime += hours * 3600;
    else *unixTime -= hours * 3600;
}

int unixToFileTime(uint32_t unixTime, FileTime* fileTime) {
    uint16_t yearOffset;
    uint32_t packed = unixToPackedDate(unixTime, &yearOffset);

    SystemTime system;
    system.year = static_cast<uint16_t>((packed >> YEAR_SHIFT) + 1980 - yearOffset);
    system.month = static_cast<uint16_t>((packed >> MONTH_SHIFT) & 0x0F);
    system.day = static_cast<uint16_t>((packed >> DAY_SHIFT) & 0x1F);
    system.dayOfWeek = static_cast<uint16_t>((unixTime / SECONDS_PER_DAY % 7 + 4) % 7);
    system.hour = static_cast<uint16_t>((packed >> HOUR_SHIFT) & 0x1F);
    system.minute = static_cast<uint16_t>((packed >> MINUTE_SHIFT) & 0x3F);
    system.second = static_cast<uint16_t>(2 * (packed & 0x1F) + unixTime % 2);
    system.milliseconds = 0;
    return osSystemTimeToFileTime(&system, fileTime);
}

// Times outside 1970-01-01 00:00:00 .. 2106-02-07 06:28:15 fail instead of
// wrapping, so a stray FILETIME never turns into a plausible wrong time.
int fileTimeToUnix(const FileTime* fileTime, uint32_t* unixTime) {
    SystemTime system;
    if (!osFileTimeToSystemTime(fileTime, &system)) return 0;
    if (system.year < 1970 || system.year > 2106) return 0;

    uint16_t yearOffset;
    uint32_t packed =
        packFields(system.year, system.month, system.day, system.hour, system.minute, system.second, &yearOffset);
    if (packed > LAST_PACKED_TIME) return 0;

    *unixTime = packedDateToUnix(packed, yearOffset) + system.second % 2;
    return 1;
}

uint32_t unixToPackedDate(uint32_t unixTime, uint16_t* yearOffset) {
    uint32_t days = unixTime / SECONDS_PER_DAY;
    uint32_t seconds = unixTime % SECONDS_PER_DAY;

    // Counting 365 days a year overshoots by at most one year.
    uint32_t year = 1970 + days / 365;
    while (firstDayOfYear(year) > days) --year;
    days -= firstDayOfYear(year);

    const unsigned char* lengths = monthLengths[isLeapYear(year)];
    uint32_t month = 0;
    while (days >= lengths[month]) {
        days -= lengths[month];
        ++month;
    }

    return packFields(year, month + 1, days + 1, seconds / 3600, seconds % 3600 / 60, seconds % 60, yearOffset);
}

// Only values this file produced are well formed. For anything else the
// result stays bounded: a year before 1970 gives 0, and a month outside
// 1..12 counts as the nearest real one (0 adds no months, like January;
// 13 to 15 count as December) so the table is never overrun.
uint32_t packedDateToUnix(uint32_t packed, uint16_t yearOffset) {
    uint32_t yearBits = packed >> YEAR_SHIFT;
    if (yearBits + 1980 < 1970u + yearOffset) return 0;
    uint32_t year = yearBits + 1980 - yearOffset;

    uint32_t month = (packed >> MONTH_SHIFT) & 0x0F;
    if (month > 12) month = 12;

    uint32_t days = firstDayOfYear(year);
    const unsigned char* lengths = monthLengths[isLeapYear(year)];
    for (uint32_t m = 0; m + 1 < month; ++m) days += lengths[m];
    days += ((packed >> DAY_SHIFT) & 0x1F) - 1;

    uint32_t hour = (packed >> HOUR_SHIFT) & 0x1F;
    uint32_t minute = (packed >> MINUTE_SHIFT) & 0x3F;
    return ((days * 24 + hour) * 60 + minute) * 60 + 2 * (packed & 0x1F);
}
