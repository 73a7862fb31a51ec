#include "OleDate.h"

#include <cmath>

namespace {

// Days from 1970-01-01 to a proleptic Gregorian date (Howard Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, CivilTime& out) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  out.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  out.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  out.year = static_cast<int>(yoe + era * 400 + (out.month <= 2));
}

constexpr int64_t kEpochOffset = 25569;  // 1899-12-30 to 1970-01-01, in days

}  // namespace

bool CivilFromOleDate(double date, CivilTime& out, int unitsPerSecond) {
  if (!(date >= kMinOleDate && date < kMaxOleDate)) return false;
  const double whole = std::trunc(date);
  const double frac = std::fabs(date - whole);
  const int64_t unitsPerDay = 86400LL * unitsPerSecond;
  int64_t day = static_cast<int64_t>(whole);
  int64_t units = std::llround(frac * static_cast<double>(unitsPerDay));
  if (units >= unitsPerDay) {
    units -= unitsPerDay;
    ++day;
  }
  CivilFromDays(day - kEpochOffset, out);
  if (out.year > 9999) return false;  // rounded past the last second of 9999
  const int64_t seconds = units / unitsPerSecond;
  out.hour = static_cast<int>(seconds / 3600);
  out.minute = static_cast<int>(seconds / 60 % 60);
  out.second = static_cast<int>(seconds % 60);
  out.millisecond = static_cast<int>((units % unitsPerSecond) * 1000 / unitsPerSecond);
  return true;
}

bool OleDateFromCivil(const CivilTime& in, double& out) {
  if (in.year < 100 || in.year > 9999 || in.month < 1 || in.month > 12 || in.day < 1 ||
      in.hour < 0 || in.hour > 23 || in.minute < 0 || in.minute > 59 || in.second < 0 ||
      in.second > 59 || in.millisecond < 0 || in.millisecond > 999)
    return false;
  CivilTime check;
  const int64_t days = DaysFromCivil(in.year, in.month, in.day);
  CivilFromDays(days, check);
  if (check.day != in.day) return false;  // 31 April and the like
  const int64_t day = days + kEpochOffset;
  const double time =
      ((in.hour * 60.0 + in.minute) * 60.0 + in.second + in.millisecond / 1000.0) / 86400.0;
  out = day >= 0 ? static_cast<double>(day) + time : static_cast<double>(day) - time;
  return true;
}
