// Member times (unsigned 32-bit Unix seconds) to and from FILETIME values by
// way of the packed DOS date/time, without 64-bit arithmetic.
#pragma once

#include "platform/platform.h"

void applyTimeZone(uint32_t* unixTime);
int unixToFileTime(uint32_t unixTime, FileTime* fileTime);
int fileTimeToUnix(const FileTime* fileTime, uint32_t* unixTime);
uint32_t unixToPackedDate(uint32_t unixTime, uint16_t* yearOffset);
uint32_t packedDateToUnix(uint32_t packed, uint16_t yearOffset);
