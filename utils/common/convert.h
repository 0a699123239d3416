// Conversions of addresses, fixed-point numbers and times to text and back,
// and the wildcard matcher. Times are signed 64-bit microseconds since
// 1970-01-01 00:00:00 UTC; every calendar computation here is UTC and does not
// depend on the process's time zone.
//
// Functions that write text take the caller's buffer with its size, never
// write past it (the text is cut, always NUL-terminated when outsize > 0) and
// return the number of characters written.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ZmLib {

class StrBase;

constexpr int64_t US_PER_SECOND = 1000000;
constexpr int64_t US_PER_DAY = 86400 * US_PER_SECOND;
// Microseconds between 1601-01-01 (FILETIME) and 1970-01-01.
constexpr int64_t FILETIME_EPOCH_OFFSET_US = 11644473600000000;
// Time2Str takes values below this (3650 days) for durations.
constexpr int64_t DURATION_LIMIT_US = 315360000000000;

struct DateFields {
    int32_t year;
    int32_t month;
    int32_t day;
};

struct CivilTime {
    int64_t year;
    int32_t month;       // 1..12
    int32_t day;         // 1..31
    int32_t hour;        // 0..23
    int32_t minute;      // 0..59
    int32_t second;      // 0..59
    int32_t microsecond; // 0..999999
};

// Proleptic Gregorian calendar over the whole 64-bit range.
int64_t DaysFromCivil(int64_t year, int32_t month, int32_t day);
CivilTime CivilFromUs(int64_t us);

// Addresses: a u32 with the first octet in the low byte.
int IP2Str(uint32_t ip, char* out, size_t outsize);
int IPPort2Str(uint32_t ip, uint32_t port, char* out, size_t outsize);
// The text in a scratch buffer (valid until 512 further scratch buffers).
char* IPPort2Temp(uint32_t ip, uint32_t port);
// Each octet must be 0..255; 0 (or false) otherwise.
uint32_t Str2IP(const char* text);
bool Str2IPChecked(const char* text, uint32_t* ip);
// bits: the prefix length after '/', 32 without one, 0xFFFFFFFF when it is
// missing or above 32.
uint32_t Str2IPMask(const char* text, uint32_t* bits);
uint32_t Str2IPPort(const char* text, uint32_t* port);

// value with a '.' before its last decimals digits ("-0.005" for -5, 3).
int Int64ToFixed(int64_t value, int decimals, char* out, size_t outsize);

// Wide text through the locale's multibyte encoding into s (replacing its
// content, never splitting a character at the capacity); an unconvertible
// character becomes '?'. Returns the new length.
uint32_t WideToAnsi(StrBase& s, const wchar_t* text);

// form 0 minutes, 1 seconds, 2 milliseconds, 3 microseconds.
int Time2Str(int64_t value, char* out, size_t outsize, int form);
int Time2StrAbs(int64_t value, char* out, size_t outsize);
int RelTime2StrUs(int64_t value, char* out, size_t outsize);
int RelTime2StrMs(int64_t valueMs, char* out, size_t outsize);
// Time of day of a count of seconds, "%2d:%02d:%02d".
int Secs2Str(int64_t seconds, char* out, size_t outsize);

// 0 when nothing matches. The syslog form, which has no year, takes the
// local year of nowUs, or the year before when the time would lie more than
// a day after nowUs; the one-argument form reads against the wall clock.
int64_t Str2Time(const char* text);
int64_t Str2Time(const char* text, int64_t nowUs);
// As Str2Time; *end is where the reading stopped (text when nothing was
// read), so that a caller can tell a text read whole from one read in part.
int64_t Str2Time(const char* text, int64_t nowUs, const char** end);
// An imported time text of length characters, NUL-terminated after them:
// true, with its value, when Str2Time reads the whole text (blanks after it
// aside) and the date and time of day it names exist (no 24:00, minute 60,
// second 61 or 30 February; a leap second 60 passes); false, with 0, for any
// other text, one holding a NUL among them too.
bool Str2TimeWhole(const char* text, size_t length, int64_t nowUs, int64_t* value);
// Midnight UTC of "y-m-d" (any one separator; a year below 100 is of this
// or the last century); 0 for a text that is no date or a day its month
// does not have.
int64_t Str2Date(const char* text);
int64_t Str2TimeOfDay(const char* text);
// Midnight UTC of the date; 0 for a month outside 1..12, a day outside 1..31
// or a date beyond the 64-bit microsecond range.
int64_t Date2Us(const DateFields& date);

// '?' one character, '*' any run; others fold 'A'..'Z' unless matchCase.
bool StrWildMatch(const char* text, const char* pattern, bool matchCase);

} // namespace ZmLib
