#include "archive/time_convert.h"

#include <ctime>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

const uint64_t TICKS_PER_SECOND = 10000000;
const uint64_t UNIX_EPOCH_TICKS = 116444736000000000ull;
const uint32_t UNTOUCHED = 0x12345678;

uint64_t ticksOf(const FileTime& time) { return (static_cast<uint64_t>(time.high) << 32) | time.low; }

FileTime fileTimeOf(uint64_t ticks) { return {static_cast<uint32_t>(ticks), static_cast<uint32_t>(ticks >> 32)}; }

uint64_t ticksOfUnix(uint32_t unixTime) { return unixTime * TICKS_PER_SECOND + UNIX_EPOCH_TICKS; }

// glibc's timegm (64-bit time_t) is the independent calendar here.
uint32_t unixOf(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    return static_cast<uint32_t>(timegm(&fields));
}

// Every conversion of one Unix time, checked against glibc and the 64-bit
// formula.
void expectConvertsExactly(uint32_t unixTime) {
    SCOPED_TRACE("unix time " + std::to_string(unixTime));
    std::time_t wide = unixTime;
    std::tm expected{};
    ASSERT_NE(gmtime_r(&wide, &expected), nullptr);
    int year = expected.tm_year + 1900;

    uint16_t yearOffset = 0xBEEF;
    uint32_t packed = unixToPackedDate(unixTime, &yearOffset);
    EXPECT_EQ(year < 1980 ? 1980 - year : 0, yearOffset);
    EXPECT_EQ(year < 1980 ? 0 : year - 1980, static_cast<int>(packed >> 25));
    EXPECT_EQ(expected.tm_mon + 1, static_cast<int>(packed >> 21 & 0x0F));
    EXPECT_EQ(expected.tm_mday, static_cast<int>(packed >> 16 & 0x1F));
    EXPECT_EQ(expected.tm_hour, static_cast<int>(packed >> 11 & 0x1F));
    EXPECT_EQ(expected.tm_min, static_cast<int>(packed >> 5 & 0x3F));
    EXPECT_EQ(expected.tm_sec / 2, static_cast<int>(packed & 0x1F));
    EXPECT_EQ(unixTime & ~1u, packedDateToUnix(packed, yearOffset));

    FileTime fileTime{};
    ASSERT_EQ(1, unixToFileTime(unixTime, &fileTime));
    EXPECT_EQ(ticksOfUnix(unixTime), ticksOf(fileTime));

    uint32_t back = UNTOUCHED;
    ASSERT_EQ(1, fileTimeToUnix(&fileTime, &back));
    EXPECT_EQ(unixTime, back);
}

}  // namespace

class TimeConvertTest : public RunTest {};

TEST_F(TimeConvertTest, ConvertsEveryYearFrom1970To2106Exactly) {
    std::vector<uint32_t> times = {0, 1, 0xFFFFFFFEu, 0xFFFFFFFFu, unixOf(2100, 2, 28, 23, 59, 59), unixOf(2100, 3, 1)};
    for (int year = 1970; year <= 2106; ++year) {
        times.push_back(unixOf(year, 1, 1));
        times.push_back(unixOf(year, 1, 1, 0, 0, 1));
        if (year < 2106) times.push_back(unixOf(year, 12, 31, 23, 59, 59));
        if ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0) {
            times.push_back(unixOf(year, 2, 29, 12, 34, 57));
            times.push_back(unixOf(year, 3, 1));
        }
    }
    // A prime stride reaches every month, time of day and both parities.
    for (uint64_t t = 0; t <= 0xFFFFFFFFu; t += 999983) times.push_back(static_cast<uint32_t>(t));

    for (uint32_t t : times) expectConvertsExactly(t);
}

TEST_F(TimeConvertTest, PacksKnownDatesWithYearOffsetBefore1980) {
    struct Case {
        uint32_t unixTime;
        uint32_t yearBits, month, day, hour, minute, second;
        uint16_t yearOffset;
    } cases[] = {
        {0u, 0, 1, 1, 0, 0, 0, 10},
        {68169600u, 0, 2, 29, 0, 0, 0, 8},
        {172067696u, 0, 6, 15, 12, 34, 56, 5},
        {315532799u, 0, 12, 31, 23, 59, 59, 1},
        {315532800u, 0, 1, 1, 0, 0, 0, 0},
        {951827697u, 20, 2, 29, 12, 34, 57, 0},
        {4107542399u, 120, 2, 28, 23, 59, 59, 0},
        {4107542400u, 120, 3, 1, 0, 0, 0, 0},
        {4294967295u, 126, 2, 7, 6, 28, 15, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.unixTime);
        uint32_t packed = c.yearBits << 25 | c.month << 21 | c.day << 16 | c.hour << 11 | c.minute << 5 | c.second / 2;
        uint16_t yearOffset = 0xBEEF;
        EXPECT_EQ(packed, unixToPackedDate(c.unixTime, &yearOffset));
        EXPECT_EQ(c.yearOffset, yearOffset);
        EXPECT_EQ(c.unixTime - c.second % 2, packedDateToUnix(packed, c.yearOffset));
    }
}

TEST_F(TimeConvertTest, FileTimeToUnixDropsTheFraction) {
    const uint32_t odd = unixOf(2000, 2, 29, 12, 34, 57);
    const struct {
        uint64_t ticks;
        uint32_t unixTime;
    } cases[] = {
        {ticksOfUnix(odd) + 1, odd},
        {ticksOfUnix(odd) + 5000000, odd},
        {ticksOfUnix(odd) + TICKS_PER_SECOND - 1, odd},
        {ticksOfUnix(0) + TICKS_PER_SECOND - 1, 0},
        {ticksOfUnix(0xFFFFFFFFu) + TICKS_PER_SECOND - 1, 0xFFFFFFFFu},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ticks);
        FileTime fileTime = fileTimeOf(c.ticks);
        uint32_t unixTime = UNTOUCHED;
        EXPECT_EQ(1, fileTimeToUnix(&fileTime, &unixTime));
        EXPECT_EQ(c.unixTime, unixTime);
    }
}

TEST_F(TimeConvertTest, FileTimeOutsideUnixRangeFailsAndLeavesTargetAlone) {
    const uint64_t cases[] = {
        0,
        UNIX_EPOCH_TICKS - 1,
        UNIX_EPOCH_TICKS - 86400 * TICKS_PER_SECOND,
        ticksOfUnix(0xFFFFFFFFu) + TICKS_PER_SECOND,
        ticksOfUnix(0xFFFFFFFFu) + 86400 * TICKS_PER_SECOND,
        ticksOfUnix(0xFFFFFFFFu) + 366 * 86400 * TICKS_PER_SECOND,
        0x7FFFFFFFFFFFFFFFull,
        0x8000000000000000ull,
        0xFFFFFFFFFFFFFFFFull,
    };
    for (uint64_t ticks : cases) {
        SCOPED_TRACE(ticks);
        FileTime fileTime = fileTimeOf(ticks);
        uint32_t unixTime = UNTOUCHED;
        EXPECT_EQ(0, fileTimeToUnix(&fileTime, &unixTime));
        EXPECT_EQ(UNTOUCHED, unixTime);
    }
}

TEST_F(TimeConvertTest, CorruptPackedDateStaysBounded) {
    const uint32_t mid2000 = 20u << 25 | 15u << 16 | 12u << 11;
    const uint32_t january = packedDateToUnix(mid2000 | 1u << 21, 0);
    const uint32_t december = packedDateToUnix(mid2000 | 12u << 21, 0);
    EXPECT_EQ(unixOf(2000, 1, 15, 12), january);
    EXPECT_EQ(unixOf(2000, 12, 15, 12), december);
    EXPECT_EQ(january, packedDateToUnix(mid2000, 0));
    for (uint32_t month = 13; month <= 15; ++month) EXPECT_EQ(december, packedDateToUnix(mid2000 | month << 21, 0));

    // Years before 1970 cannot be held; they give the earliest time.
    EXPECT_EQ(0u, packedDateToUnix(1u << 21 | 1u << 16, 11));
    EXPECT_EQ(0u, packedDateToUnix(0xFFFFFFFFu, 0xFFFF));
    EXPECT_EQ(unixOf(1970, 1, 1), packedDateToUnix(1u << 21 | 1u << 16, 10));

    // Every month and day field with extreme years and offsets: the
    // sanitizers catch any read beyond the table or endless count.
    for (uint32_t fields = 0; fields < 512; ++fields) {
        for (uint32_t yearBits : {0u, 19u, 120u, 127u}) {
            for (uint16_t yearOffset : {0, 10, 147, 0xFFFF}) {
                packedDateToUnix(yearBits << 25 | fields << 16 | 0xFFFFu, yearOffset);
            }
        }
    }
}

TEST_F(TimeConvertTest, TimeZoneShiftsByWholeHoursOnly) {
    const uint32_t t = 1000000000;
    const struct {
        const char* value;  // nullptr: TZ unset
        uint32_t before;
        uint32_t after;
    } cases[] = {
        {nullptr, t, t},
        {"JST-9", t, t + 32400},
        {"EST5EDT", t, t - 18000},
        {"IST-5:30", t, t + 18000},
        {"+3", t, t - 10800},
        {"-0", t, t},
        {"UTC", t, t},
        {"EST5", 100, 100u - 18000},
        {"JST-9", 0xFFFFFFFFu, 32399},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value ? c.value : "(unset)");
        if (c.value) hostSetEnv("TZ", c.value);
        else hostUnsetEnv("TZ");
        uint32_t shifted = c.before;
        applyTimeZone(&shifted);
        EXPECT_EQ(c.after, shifted);
    }
}

TEST_F(TimeConvertTest, TimeZoneTooLongForItsBufferCountsAsUnset) {
    const struct {
        size_t length;
        uint32_t shift;
    } cases[] = {{99, 32400}, {100, 0}, {150, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        std::string value(c.length - 5, 'A');
        value += "JST-9";
        hostSetEnv("TZ", value);
        uint32_t t = 1000000000;
        applyTimeZone(&t);
        EXPECT_EQ(1000000000u + c.shift, t);
    }
}

TEST_F(TimeConvertTest, HostFileTimeToSystemTimeMatchesWindows) {
    const struct {
        uint64_t ticks;
        SystemTime fields;  // year, month, dayOfWeek, day, hour, minute, second, ms
    } cases[] = {
        {0, {1601, 1, 1, 1, 0, 0, 0, 0}},
        {UNIX_EPOCH_TICKS, {1970, 1, 4, 1, 0, 0, 0, 0}},
        {ticksOfUnix(unixOf(2000, 2, 29, 12, 34, 57)) + 1239999, {2000, 2, 2, 29, 12, 34, 57, 123}},
        {ticksOfUnix(0xFFFFFFFFu), {2106, 2, 0, 7, 6, 28, 15, 0}},
        {0x7FFFFFFFFFFFFFFFull, {30828, 9, 4, 14, 2, 48, 5, 477}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ticks);
        FileTime fileTime = fileTimeOf(c.ticks);
        SystemTime fields{};
        ASSERT_EQ(1, osFileTimeToSystemTime(&fileTime, &fields));
        EXPECT_EQ(c.fields.year, fields.year);
        EXPECT_EQ(c.fields.month, fields.month);
        EXPECT_EQ(c.fields.dayOfWeek, fields.dayOfWeek);
        EXPECT_EQ(c.fields.day, fields.day);
        EXPECT_EQ(c.fields.hour, fields.hour);
        EXPECT_EQ(c.fields.minute, fields.minute);
        EXPECT_EQ(c.fields.second, fields.second);
        EXPECT_EQ(c.fields.milliseconds, fields.milliseconds);

        FileTime back{};
        EXPECT_EQ(fields.year <= 30827 ? 1 : 0, osSystemTimeToFileTime(&fields, &back));
        if (fields.year <= 30827) {
            EXPECT_EQ(c.ticks - c.ticks % 10000, ticksOf(back));
        }
    }
    FileTime tooLarge = fileTimeOf(0x8000000000000000ull);
    SystemTime fields{};
    EXPECT_EQ(0, osFileTimeToSystemTime(&tooLarge, &fields));
}

TEST_F(TimeConvertTest, HostSystemTimeToFileTimeValidatesEveryField) {
    const SystemTime valid = {2000, 2, 0, 29, 23, 59, 59, 999};
    const struct {
        const char* what;
        SystemTime fields;
        int result;
    } cases[] = {
        {"valid", valid, 1},
        {"day of week ignored", {2000, 2, 6, 29, 23, 59, 59, 999}, 1},
        {"last day", {30827, 12, 0, 31, 23, 59, 59, 999}, 1},
        {"year 1600", {1600, 12, 0, 31, 0, 0, 0, 0}, 0},
        {"year 30828", {30828, 1, 0, 1, 0, 0, 0, 0}, 0},
        {"month 0", {2000, 0, 0, 1, 0, 0, 0, 0}, 0},
        {"month 13", {2000, 13, 0, 1, 0, 0, 0, 0}, 0},
        {"day 0", {2000, 1, 0, 0, 0, 0, 0, 0}, 0},
        {"1900-02-29", {1900, 2, 0, 29, 0, 0, 0, 0}, 0},
        {"2100-02-29", {2100, 2, 0, 29, 0, 0, 0, 0}, 0},
        {"2000-02-30", {2000, 2, 0, 30, 0, 0, 0, 0}, 0},
        {"04-31", {2001, 4, 0, 31, 0, 0, 0, 0}, 0},
        {"hour 24", {2000, 1, 0, 1, 24, 0, 0, 0}, 0},
        {"minute 60", {2000, 1, 0, 1, 0, 60, 0, 0}, 0},
        {"second 60", {2000, 1, 0, 1, 0, 0, 60, 0}, 0},
        {"ms 1000", {2000, 1, 0, 1, 0, 0, 0, 1000}, 0},
    };
    FileTime reference{};
    ASSERT_EQ(1, osSystemTimeToFileTime(&valid, &reference));
    EXPECT_EQ(ticksOfUnix(unixOf(2000, 2, 29, 23, 59, 59)) + 9990000, ticksOf(reference));

    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FileTime fileTime = {UNTOUCHED, UNTOUCHED};
        EXPECT_EQ(c.result, osSystemTimeToFileTime(&c.fields, &fileTime));
        if (c.result == 0) {
            EXPECT_EQ(UNTOUCHED, fileTime.low);
        }
    }
    FileTime first{1, 1};
    SystemTime epoch = {1601, 1, 0, 1, 0, 0, 0, 0};
    ASSERT_EQ(1, osSystemTimeToFileTime(&epoch, &first));
    EXPECT_EQ(0u, ticksOf(first));
}
