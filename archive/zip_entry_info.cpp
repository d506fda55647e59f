// What an entry's record says: its sanitised name, attributes and times.
#include <cstring>

#include "archive/package_format.h"
#include "archive/zip_internal.h"

namespace archive {
namespace zip {

namespace {

constexpr uint64_t kTicksPerSecond = 10000000ull;
constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ull;

void DropPrefix(char* name, size_t count) {
  size_t length = std::strlen(name);
  std::memmove(name, name + count, length - count + 1);
}

// Days from 1601-01-01 to the given date of the proleptic Gregorian calendar.
int64_t DaysSince1601(int year, int month, int day) {
  // Count from March so that the leap day ends the year.
  int y = year - (month <= 2 ? 1 : 0);
  int m = month <= 2 ? month + 9 : month - 3;
  int64_t era = y / 400;
  int64_t year_of_era = y - era * 400;
  int64_t day_of_year = (153 * m + 2) / 5 + day - 1;
  int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  int64_t days_since_0000_03_01 = era * 146097 + day_of_era;
  // 1601-01-01 is day 584694 counted from 0000-03-01.
  return days_since_0000_03_01 - 584694;
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return (month == 2 && IsLeapYear(year)) ? 29 : kDays[month - 1];
}

uint32_t ReadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

void SanitizeName(char* name) {
  static const char* const kClimbs[] = {"\\..\\", "\\../", "/../", "/..\\"};
  for (;;) {
    if (name[0] && name[1] == ':') {  // drive letter
      DropPrefix(name, 2);
      continue;
    }
    if (name[0] == '\\' || name[0] == '/') {
      DropPrefix(name, 1);
      continue;
    }
    bool dropped = false;
    for (const char* climb : kClimbs) {
      const char* at = std::strstr(name, climb);
      if (at) {
        DropPrefix(name, static_cast<size_t>(at - name) + 4);
        dropped = true;
        break;
      }
    }
    if (dropped) continue;
    // A name that starts by climbing out of its folder loses the climb too.
    if (name[0] == '.' && name[1] == '.' && (name[2] == '\\' || name[2] == '/')) {
      DropPrefix(name, 3);
      continue;
    }
    if (std::strcmp(name, "..") == 0) name[0] = '\0';
    return;
  }
}

uint32_t AttributesFromRecord(uint16_t version_made_by, uint32_t external_attributes) {
  unsigned host = version_made_by >> 8;
  bool read_only, hidden, system, directory, archive;
  if (host == 0 || host == 7 || host == 11 || host == 14) {
    // MS-DOS, Macintosh, NTFS and VFAT hosts keep Windows bits in the low byte.
    uint32_t bits = external_attributes & 0xFF;
    read_only = bits & 0x01;
    hidden = bits & 0x02;
    system = bits & 0x04;
    directory = bits & 0x10;
    archive = bits & 0x20;
  } else {
    // Other hosts keep a Unix mode in the upper 16 bits.
    directory = external_attributes & (1u << 30);  // S_IFDIR
    read_only = !(external_attributes & (1u << 23));  // owner write
    archive = true;
    hidden = system = false;
  }
  return (read_only ? kAttributeReadOnly : 0u) | (hidden ? kAttributeHidden : 0u) |
         (system ? kAttributeSystem : 0u) | (directory ? kAttributeDirectory : 0u) |
         (archive ? kAttributeArchive : 0u);
}

uint64_t DosDateTimeToLocalFileTime(uint32_t dos_date_time) {
  uint32_t date = dos_date_time >> 16, time = dos_date_time & 0xFFFF;
  int day = static_cast<int>(date & 0x1F);
  int month = static_cast<int>((date >> 5) & 0x0F);
  int year = 1980 + static_cast<int>(date >> 9);
  int second = 2 * static_cast<int>(time & 0x1F);
  int minute = static_cast<int>((time >> 5) & 0x3F);
  int hour = static_cast<int>(time >> 11);
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
      minute > 59 || second > 59) {
    return 0;  // no such moment: the file keeps the time of its creation
  }
  int64_t seconds = DaysSince1601(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
  return static_cast<uint64_t>(seconds) * kTicksPerSecond;
}

void ApplyTimestampExtra(const uint8_t* extra, uint32_t length, uint64_t* modification,
                         uint64_t* access, uint64_t* creation) {
  uint64_t position = 0;
  while (position + 4 < length) {
    uint16_t tag = static_cast<uint16_t>(extra[position] | (extra[position + 1] << 8));
    uint16_t size = static_cast<uint16_t>(extra[position + 2] | (extra[position + 3] << 8));
    uint64_t data = position + 4;
    if (tag != package::kExtraTagTimestamp) {
      position = data + size;
      continue;
    }
    // Only the times that lie inside both the block and the field count.
    uint64_t end = data + size < length ? data + size : length;
    if (data < end) {
      uint8_t flags = extra[data];
      uint64_t at = data + 1;
      uint64_t* targets[3] = {modification, access, creation};
      for (int bit = 0; bit < 3; ++bit) {
        if (!(flags & (1u << bit))) continue;
        if (at + 4 > end) break;
        int32_t unix_time = static_cast<int32_t>(ReadLe32(extra + at));
        *targets[bit] = static_cast<uint64_t>(static_cast<int64_t>(unix_time) *
                                                  static_cast<int64_t>(kTicksPerSecond) +
                                              static_cast<int64_t>(kUnixEpochAsFileTime));
        at += 4;
      }
    }
    return;
  }
}

}  // namespace zip
}  // namespace archive
