// Small text edits shared by every layer: joining with a separator, matching
// "|"-separated alternatives, quotes, trimming, trailing path separators, line
// ends and ASCII case. Set forms edit their first argument and return false
// only when the string cannot grow.
#pragma once

#include "base/str.h"

// Joining. A separator of 0 means "no separator".
bool strSepAdd(CxStr1p& text, CxStr1p const& part, char sep);
bool strSepPrepend(CxStr1p& text, CxStr1p const& part, char sep);
bool strAdd2List(CxStr1p& list, CxStr1p const& item, char sep);
bool strAddSepMaybeSet(CxStr1p& text, char sep);
CxStr1p strAddSepMaybe(CxStr1p const& text, char sep);
bool strJoin(CxStr1p& text, char sep, CxStr1p const& part);
bool strJoinSPC(CxStr1p& text, CxStr1p const& part);
bool strJoinALT(CxStr1p& text, CxStr1p const& part);
bool strJoinNL(CxStr1p& text, CxStr1p const& part);
bool strAddSPC(CxStr1p& text, CxStr1p const& part);
bool strAddNL(CxStr1p& text, CxStr1p const& part);

// Alternatives such as "cp|cprec": exact match of one whole alternative.
bool strIsEqAlt(CxStr1p const& word, CxStr1p const& alternatives, char sep = '|');
bool strIsEqIcaseAlt(CxStr1p const& word, CxStr1p const& alternatives, char sep = '|');

// Enclosing quotes. The char forms take one quote character, the text forms a
// set of them (only a pair of equal characters counts).
bool strIsQuoted(CxStr1p const& text, char q);
bool strIsQuoted(CxStr1p const& text, char const* quotes);
bool strAddQuoteSet(CxStr1p& text, char q);
CxStr1p strAddQuote(CxStr1p const& text, char q);
bool strDelQuoteSet(CxStr1p& text, char q);
CxStr1p strDelQuote(CxStr1p const& text, char q);
bool strDelQuoteSet(CxStr1p& text, char const* quotes);
CxStr1p strDelQuote(CxStr1p const& text, char const* quotes);

// Trimming; an empty or null set means " \t\r\n".
bool strTrimLSet(CxStr1p& text, char const* chars = "");
bool strTrimRSet(CxStr1p& text, char const* chars = "");
bool strTrimLRSet(CxStr1p& text, char const* chars = "");
CxStr1p strTrimL(CxStr1p const& text, char const* chars = "");
CxStr1p strTrimR(CxStr1p const& text, char const* chars = "");
CxStr1p strTrimLR(CxStr1p const& text, char const* chars = "");
// Trims the characters at both ends and squeezes each inner run of them to
// its first character ("a  \t b" -> "a b").
bool strTrimSeqSet(CxStr1p& text, char const* chars = "");

// Path separators ("/" or "\") at the end of a path; roots stay intact.
bool strHasEndPsep(CxStr1p const& text);
bool strDelEndPsep(CxStr1p& text);
bool strAddEndPsep(CxStr1p& text);

// Line ends. strDetectNL writes "\r\n", "\n" or "\r" and returns false when
// the text shows no line end (out is then "\r\n").
bool strReplaceNL2LF(CxStr1p& text);
bool strDetectNL(CxStr1p& out, CxStr1p const& text);

// Containment. An empty text contains no character; every text contains,
// starts and ends with the empty text.
bool strHas(CxStr1p const& text, char c);
bool strHas(CxStr1p const& text, CxStr1p const& part);
bool strHasStart(CxStr1p const& text, char c);
bool strHasStart(CxStr1p const& text, CxStr1p const& start);
bool strHasEnd(CxStr1p const& text, char c);
bool strHasEnd(CxStr1p const& text, CxStr1p const& end);
// First occurrence of part at or after from; idx is -1 when there is none.
bool strFindIdx(long long& idx, CxStr1p const& text, CxStr1p const& part, long long from = 0);

// ASCII case: only A-Z and a-z have a case.
int strCmpIcase(CxStr1p const& a, CxStr1p const& b);
bool strIsEqIcase(CxStr1p const& a, CxStr1p const& b);
int cstrCmpIcase(char const* a, char const* b);
bool cstrIsEqIcase(char const* a, char const* b);
// The first n bytes of both texts are equal, case ignored.
bool cstrIsEqIcaseN(char const* a, char const* b, long long n);
bool strToLowerSet(CxStr1p& text);
bool strToUpperSet(CxStr1p& text);
CxStr1p strToLower(CxStr1p const& text);
CxStr1p strToUpper(CxStr1p const& text);
