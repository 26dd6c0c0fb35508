// Lexical rules of the rules language: logical lines (continuations, quotes
// spanning lines), comments, tokens, and the three line parsers that fill a
// LineParts record. Nothing here evaluates or expands.
#pragma once

#include "base/str.h"

// Character classes as 256-entry tables; no byte above 127 is a member.
struct CharClassTable {
    bool blank[256];
    bool space[256];
    bool digit[256];
    bool word[256];
    bool wordStart[256];
    bool graph[256];
};
extern CharClassTable const charClass;

inline bool chIsBlank(char c) {
    return charClass.blank[(unsigned char)c];
}
inline bool chIsSpace(char c) {
    return charClass.space[(unsigned char)c];
}
inline bool chIsDigit(char c) {
    return charClass.digit[(unsigned char)c];
}
inline bool chIsWord(char c) {
    return charClass.word[(unsigned char)c];
}
inline bool chIsWordStart(char c) {
    return charClass.wordStart[(unsigned char)c];
}
inline bool chIsGraph(char c) {
    return charClass.graph[(unsigned char)c];
}

struct LineParts {
    bool isOk = false;
    bool isQuoteOpen = false;
    CxStr1p indent;
    CxStr1p name;
    CxStr1p op;
    bool isVarOp = false;
    char incKind = 0;
    CxStr1p quote;
    CxStr1p value;
    bool isMultiWord = false;
    long long lenParsed = 0;
    bool hasComment = false;
    bool isEvalDone = false;
    bool isEvalOk = false;

    void zero();
};

// Logical lines. Flags: "j" joins continuation lines, "L" passes over empty
// and comment lines. False at the end of the text and when the text ended
// inside an open quote (quoteOpen is then set and out holds what was read).
bool strTokenTextEval(CxStr1p& out, long long& pos, long long& lineNr, bool& quoteOpen,
                      CxStr1p const& text, char const* flags);
bool lineHasEndEsc(CxStr1p const& line);
bool lineIsReady(CxStr1p const& line);

// Classification.
bool strIsComment(CxStr1p const& text);
bool cstrIsComment(char const* text);
bool strLineIsComment(CxStr1p const& text);
bool cstrLineIsComment(char const* text);
bool strLineIsEmpty(CxStr1p const& text);
bool cstrLineIsEmpty(char const* text);
bool strLineIsEmptyOrComment(CxStr1p const& text);
bool cstrLineIsEmptyOrComment(char const* text);
bool strIsIdentifier(CxStr1p const& text);
bool strIsNumber(CxStr1p const& text);
bool strIsWord(CxStr1p const& text);
bool cstrIsIdentifier(char const* text);
bool cstrIsNumber(char const* text);
bool cstrIsWord(char const* text);

// Lexers: length of the token at the start of a zero-terminated text, 0 when
// there is none. A null text has no token.
long long cstrLenBlank(char const* text);
long long cstrLenNonBlank(char const* text);
long long cstrLenSpace(char const* text);
long long cstrLenNonSpace(char const* text);
long long cstrLenGraph(char const* text);
long long cstrLenNonGraph(char const* text);
long long cstrLenAnyChar(char const* text, char const* set);
long long cstrLenIdentifier(char const* text);
long long cstrLenWord(char const* text);
long long cstrLenNumber(char const* text);
long long cstrLenQuoteEsc(char const* text);
long long cstrLenQuoteRaw(char const* text);
long long cstrLenRvalue(char const* text);
long long cstrLenRvalueRaw(char const* text);
long long cstrLenUntilCmtEsc(char const* text);
long long cstrLenUntilCmtRaw(char const* text);
long long cstrLenEOL(char const* text);
bool cstrFindChGraph(long long& pos, char const* text);

// Line parsers; the result equals parts.isOk.
bool lineParse4MakeVarPoint(LineParts& parts, CxStr1p const& line);
bool lineParse4MakeDepsOrCmd(LineParts& parts, CxStr1p const& line, char const* flags);
bool lineParse4VarOrCmd(LineParts& parts, CxStr1p const& line, char const* flags);

// References only GNU make gives a meaning to, in a line before expansion, for
// the hint that a file is a GNU Makefile. "$$" is GNU's escaped dollar; text in
// single quotes and backslash pairs are this language's literal text. func gets
// the first function call ("$(wildcard ...)"), autoVar the first automatic
// variable ("$@", "$(@D)"); both are cleared first. False when neither is found.
bool lineGnuRefsFind(CxStr1p& func, CxStr1p& autoVar, CxStr1p const& line);
// The GNU make directive that a parsed command line is, given in what
// ("conditional 'ifeq'", "'?=' assignment"); false for any other line.
bool linePartsGnuDirective(CxStr1p& what, LineParts const& parts);

// Assignment and argument forms; empty (Set forms: false) unless the name
// begins with an identifier.
bool strFormGenericSet(CxStr1p& out, CxStr1p const& name, CxStr1p const& sep, CxStr1p const& value,
                       CxStr1p const& quote);
CxStr1p strFormGeneric(CxStr1p const& name, CxStr1p const& sep, CxStr1p const& value,
                       CxStr1p const& quote);
bool strFormVarEqSet(CxStr1p& out, CxStr1p const& name, CxStr1p const& value);
CxStr1p strFormVarEq(CxStr1p const& name, CxStr1p const& value);
bool strFormCmdArg01Set(CxStr1p& out, CxStr1p const& name, CxStr1p const& arg);
CxStr1p strFormCmdArg01(CxStr1p const& name, CxStr1p const& arg);
