// Clocks, sleeping, numbers read from and written to text, elapsed-time and
// date-time texts. Times are signed 64-bit nanosecond counts; wall-clock times
// count from 1970-01-01 UTC.
#pragma once

#include <ctime>

#include "base/str.h"

// ---- Clocks (each reads the platform clock once)
long long timeRealNs(); // wall clock since the epoch
bool timeRealTS(timespec& ts);
long long timeBootNs(); // monotonic
bool timeBootTS(timespec& ts);
long long timeCpuNs(); // processor time of the process
bool timeCpuTS(timespec& ts);

// Program time reference on the monotonic clock; 0 while not taken.
bool timeAppInitBootRef(long long ref);
long long timeAppGetBootRef();
long long timeAppNs();

long long timeElapsed(long long t0, long long t1);
long long timeElapsed(timespec const& t0, timespec const& t1);

// ---- Conversions
long long timeNsFromTS(timespec const& ts);
bool timeTSFromNsSet(timespec& ts, long long ns);
timespec timeTSFromNs(long long ns);
long long timeNsFromSec(long long sec);
long long timeSecFromNs(long long ns);
long long timeNsFromDbl(double sec);
double timeDblFromNs(long long ns);

// ---- Sleeping
bool sleepNs(long long ns);
bool sleepUs(long long us);
bool sleepMs(long long ms);
bool sleepSecDbl(double sec);
bool waitSecDbl(double sec);

// ---- Reading numbers
// Optional sign, then decimal digits, or hexadecimal digits after "0x" (or
// with hex set). With units, a suffix B K M G T P E (Ki Mi ... for powers of
// two) multiplies the value. A value out of range gives false.
bool intFromStrSet(long long& out, CxStr1p const& text, bool hex, bool units);
long long intFromStr(CxStr1p const& text, bool hex = false, bool units = false);
bool intFromCstrSet(long long& out, char const* text, bool hex, bool units);
long long intFromCstr(char const* text, bool hex = false, bool units = false);
bool uintFromStrSet(unsigned long long& out, CxStr1p const& text, bool hex, bool units);
unsigned long long uintFromStr(CxStr1p const& text, bool hex = false, bool units = false);
bool uintFromCstrSet(unsigned long long& out, char const* text, bool hex, bool units);
unsigned long long uintFromCstr(char const* text, bool hex = false, bool units = false);

bool intUnitApplyFromStrSet(long long& value, CxStr1p const& suffix);
long long intUnitApplyFromStr(long long value, CxStr1p const& suffix);
bool intUnitApplyFromCstrSet(long long& value, char const* suffix);
bool uintUnitApplyFromStrSet(unsigned long long& value, CxStr1p const& suffix);
unsigned long long uintUnitApplyFromStr(unsigned long long value, CxStr1p const& suffix);
bool uintUnitApplyFromCstrSet(unsigned long long& value, char const* suffix);

bool dblFromStrSet(double& out, CxStr1p const& text);
double dblFromStr(CxStr1p const& text);
bool dblFromCstrSet(double& out, char const* text);
double dblFromCstr(char const* text);

// ---- Writing numbers
// Padded on the left to width; with pad '0' the sign precedes the zeros.
bool strFromIntSet(CxStr1p& out, long long value, long long width = 0, char pad = ' ',
                   bool signOutsideWidth = false);
CxStr1p strFromInt(long long value, long long width = 0, char pad = ' ',
                   bool signOutsideWidth = false);
bool strFromUIntSet(CxStr1p& out, unsigned long long value, long long width = 0, char pad = ' ');
CxStr1p strFromUInt(unsigned long long value, long long width = 0, char pad = ' ');

// "." and the first decimals digits of value taken as a fraction of digits
// digits (truncated); empty for decimals 0.
bool strFromDecimalsSet(CxStr1p& out, long long value, int digits, int decimals);
CxStr1p strFromDecimals(long long value, int digits, int decimals);

// value / 10^scaleDigits with decimals digits after the point (truncated),
// padded on the left to width. flag '+' writes a sign for values >= 0 too,
// flag '-' pads on the right instead.
bool cstrFromIntDecSet(char* buf, long long bufSize, long long value, int scaleDigits, int decimals,
                       int width = 0, char pad = ' ', char flag = 0);
bool strFromIntDecSet(CxStr1p& out, long long value, int scaleDigits, int decimals, int width = 0,
                      char pad = ' ', char flag = 0);
CxStr1p strFromIntDec(long long value, int scaleDigits, int decimals, int width = 0, char pad = ' ',
                      char flag = 0);

bool strFromDblSet(CxStr1p& out, double value, int precision);
CxStr1p strFromDbl(double value, int precision = 6);

// ---- Elapsed texts
// "[N d ][HH h ][MM m ]SS[.fff] s"
bool strElapsedSet(CxStr1p& out, long long t0, long long t1, int decimals);
CxStr1p strElapsed(long long t0, long long t1, int decimals = 0);
// "S.fff sec", followed by " == " and the elapsed text from a minute on.
bool strElapsedBigSet(CxStr1p& out, long long t0, long long t1, int decimals);
CxStr1p strElapsedBig(long long t0, long long t1, int decimals);
bool echoElapsed(char const* prefix, long long t0, long long t1, char const* suffix);
bool echoElapsed(long long t0, long long t1, char const* suffix = "");

// ---- Date-time texts; mode 'L' local time, 'U' UTC, 'S' plain seconds.
char const* cstrYmd();
char const* cstrHMS();
char const* cstrYmdHMS();
char const* cstrHMSZ();
char const* cstrHMSz();
char const* cstrYmdHMSZ();
char const* cstrYmdHMSz();

bool cstrDateTimeFromNsSet(char* buf, long long bufSize, long long ns, char mode,
                           char const* format, int decimals);
bool strDateTimeFromNsSet(CxStr1p& out, long long ns, char mode, char const* format, int decimals);
CxStr1p strDateTimeFromNs(long long ns, char mode = 'L', char const* format = "%Y-%m-%d %H:%M:%S",
                          int decimals = 0);

// The proleptic Gregorian calendar, the same on every platform: days since
// 1970-01-01 (negative before) to year, month 1-12, day 1-31, and back.
// a / b rounded towards minus infinity (b != 0): day and second counts before 1970.
long long floorDiv(long long a, long long b);
void timeYmdFromDays(long long days, long long& y, int& m, int& d);
long long timeDaysFromYmd(long long y, int m, int d);

bool timeTMFromNs(tm& out, long long ns, char mode);
bool timeTMFromSec(tm& out, long long sec, char mode);
bool timeTMFromTS(tm& out, timespec const& ts, char mode);

// Seconds since the epoch for a broken-down time; results below 1 give 0.
long long mkTimeUtcSECFromTM(tm& t);
long long mkTimeSECFromTM(tm& t, char mode);
long long mkTimeNsFromTM(tm& t, char mode);
bool timeInitTM(tm& t);
// Platform conversions without the clamp (-1 on failure).
long long mkTimeLocalSEC(tm& t);
long long mkTimeUtcSEC(tm& t);
// Parses "YYYY-MM-DD HH:MM:SS" into t (daylight saving flag -1).
bool timeTMFromYmdHMS(tm& t, char const* text);

// Seconds east of UTC of the local standard time, worked out once.
long long timeLocalOffsetSec();
long long timeLocalOffsetRead();

// strftime through the platform's rules; false when the text does not fit or
// the format has a conversion the platform cannot do.
bool cstrFormatTM(char* buf, long long bufSize, char const* format, tm const& t);
