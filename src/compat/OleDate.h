// Calendar arithmetic for automation dates: days counted from
// 30 December 1899, the fraction being the time of day. Before that day the
// integer part counts backwards but the fraction still counts forwards, so
// -1.25 is 29 December 1899, 06:00.
#pragma once

#include <cstdint>

struct CivilTime {
  int year = 0, month = 0, day = 0;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};

// The range the automation runtime accepts: 1 January 100 to 31 December 9999.
constexpr double kMinOleDate = -657434.0;
constexpr double kMaxOleDate = 2958466.0;  // exclusive

// Splits a date into calendar parts, rounded to the nearest unit
// (1000 for milliseconds, 1 for whole seconds). False outside the range,
// for a value that is not a number, and for one that rounds past 9999.
bool CivilFromOleDate(double date, CivilTime& out, int unitsPerSecond);
// The automation date of a calendar time; false for impossible parts.
bool OleDateFromCivil(const CivilTime& in, double& out);
