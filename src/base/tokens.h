// Cutting texts into lines, tokens and command-line arguments, quoting an
// argument so it cuts back the same way, the displayed argument list, the split
// of a recipe command, and whole-file load and save.
//
// Tokenizers take the text, a byte position updated in place and an output
// that receives the token; callers loop while the result is true. A zero byte
// inside a text ends it: the tokenizers stop there and report false on the
// next call instead of looping on it.
#pragma once

#include "base/str.h"
#include "base/textedit.h"

// Separator sets: a null or empty set means the default of the function.

// One line per call; an empty line is an empty token.
bool strTokenOneNL(CxStr1p& out, long long& pos, CxStr1p const& text);
bool cstrTokenOneNL(long long& start, long long& len, long long& pos, char const* text,
                    long long textLen);
bool strTokenUnqOneNL(CxStr1p& out, long long& pos, CxStr1p const& text);

// Tokens between runs of separators. Flag "e": a non-blank separator at the
// start, at the end or repeated delimits an empty token.
bool strToken(CxStr1p& out, long long& pos, CxStr1p const& text, char const* seps = "|\r\n \t",
              char const* flags = "");
bool cstrToken(long long& start, long long& len, long long& pos, char const* text,
               long long textLen, char const* seps = "|\r\n \t", char const* flags = "");
bool strTokenUnq(CxStr1p& out, long long& pos, CxStr1p const& text, char const* seps = "|\r\n \t",
                 char const* flags = "");
// Non-empty lines only.
bool strTokenNL(CxStr1p& out, long long& pos, CxStr1p const& text);
bool strTokenUnqNL(CxStr1p& out, long long& pos, CxStr1p const& text);

// Token up to the next single separator: consecutive separators give empty tokens.
bool strTokenOneSep(CxStr1p& out, long long& pos, CxStr1p const& text,
                    char const* seps = "|\r\n \t");
bool cstrTokenOneSep(long long& start, long long& len, long long& pos, char const* text,
                     long long textLen, char const* seps = "|\r\n \t");
bool strTokenUnqOneSep(CxStr1p& out, long long& pos, CxStr1p const& text,
                       char const* seps = "|\r\n \t");

// Command-line argument: quotes and backslashes respected and kept. False at the
// end and for an argument whose quote is left open (out then holds the rest).
// Flag "e" as for strToken; "Q" skips empty quoted pairs.
bool strTokenArg(CxStr1p& out, long long& pos, CxStr1p const& text, char const* seps = " \t\r\n",
                 char const* flags = "");
bool strTokenUnqArg(CxStr1p& out, long long& pos, CxStr1p const& text, char const* seps = " \t\r\n",
                    char const* flags = "");

// Quoting by context. The decision returns the quote character to wrap the
// argument in, or 0 to leave it. Flags: "c" drops white space from the default
// specials; an empty argument is quoted with no flags or "a"/"e", not with "E".
// A quote of 0 means the double quote; null or empty specials mean the default.
char strArgWantQuote(CxStr1p const& arg, char const* flags = "", char quote = '"',
                     char const* specials = nullptr);
CxStr1p strArgQuoteByCtx(CxStr1p const& arg, char const* flags = "", char quote = '"',
                         char const* specials = nullptr);
bool strArgQuoteByCtxSet(CxStr1p& arg, char const* flags = "", char quote = '"',
                         char const* specials = nullptr);

// Argument list text: " item item ", each item quoted by context.
bool argListAdd(CxStr1p& list, CxStr1p const& item, char quote = '"');
// items holds "|"-separated alternatives; true when one is a whole item.
bool argListHas(CxStr1p const& list, CxStr1p const& items, char quote = '"');
// Remove the item a (followed by the item b when b is not empty): every
// occurrence, or only one that ends the list. True when something was removed.
bool argListDelEach(CxStr1p& list, CxStr1p const& a, CxStr1p const& b, char quote = '"');
bool argListDelEnd(CxStr1p& list, CxStr1p const& a, CxStr1p const& b, char quote = '"');

// Recipe command: leading "-" sets ignoreErr, "@" clears show.
// Stands for a line end inside one recipe line that goes to the interpreter
// whole (a Makefile's .ONESHELL); leading the command after the marks, it asks
// the interpreter to stop at the first failing command (.POSIX).
char const kRecipeLineSep = '\x1e';
// always, when given, also takes a '+' mark ("run even with -n"), and the
// blanks at the line's end are kept.
bool splitAttrCmd(bool& show, bool& ignoreErr, CxStr1p& cmd, bool* always = nullptr);
// Command word and argument text of a line cut before the first stop character.
bool splitCmdArgs(CxStr1p& cmd, CxStr1p& args, CxStr1p const& line, char const* stopChars = "");
CxStr1p cmdPart(CxStr1p const& line, char const* stopChars = "");
CxStr1p cmdPartNameOnly(CxStr1p const& line, char const* stopChars = "");
CxStr1p argsPart(CxStr1p const& line, char const* stopChars = "");
CxStr1p cmdArgsJoin(CxStr1p const& cmd, CxStr1p const& args);

// First and last non-empty line; the result tells whether the text was non-empty.
bool strHeadLineNESet(CxStr1p& out, CxStr1p const& text);
bool strTailLineNESet(CxStr1p& out, CxStr1p const& text);

// Whole files, binary. Load flag "n" turns CR LF and lone CR into LF; maxLen 0
// means no limit. Save flag "a" appends. The loaded text keeps zero bytes.
bool strFileLoadFd(CxStr1p const& path, CxStr1p& out, char const* flags = "", long long maxLen = 0);
bool strFileSaveFd(CxStr1p const& path, CxStr1p const& text, char const* flags = "");
// Leaves a file alone whose content already equals the text.
bool strFileSaveFdOnDiff(CxStr1p const& path, CxStr1p const& text);

// Raw buffers. cstrCp copies all or nothing (dst empty and false when the text
// does not fit); a negative srcLen measures src. strNCpy copies at most n - 1
// bytes, always terminates, and tells whether the whole text fitted.
bool cstrCp(char* dst, long long dstSize, char const* src, long long srcLen = -1);
bool strNCpy(char* dst, char const* src, long long n);
