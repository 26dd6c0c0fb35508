// Variable references in texts: "$NAME", "${NAME}" and, when the options hold
// "(" or ")", "$(NAME)". One pass: inserted values are never scanned again, so
// nothing a value holds can make expansion recurse. Text between single quotes
// is left alone; a backslash before a character of the escape set makes it
// literal.
#pragma once

#include "base/str.h"
#include "rules/envmap.h"

// Length of the reference at the start of text, 0 when there is none.
long long cstrLenVar(char const* text, char const* options);

// Next reference at or behind from, outside single quotes. name gets the bare
// name; false (start at the end, len 0) when there is none.
bool strNextVar(CxStr1p& name, long long& start, long long& len, CxStr1p const& text,
                long long from, char const* options);
// The same, also stopping at every backslash outside single quotes: token is
// then the backslash and the character behind it (len 2).
bool strNextVarOrEsc(CxStr1p& token, long long& start, long long& len, CxStr1p const& text,
                     long long from, char const* options);

bool evalStrSet(EnvMap& store, CxStr1p& text, CxStr1p const& squeeze, char const* options,
                bool removeAllEscapes);
CxStr1p evalStr(EnvMap& store, CxStr1p const& text, CxStr1p const& squeeze, char const* options,
                bool removeAllEscapes);
CxStr1p evalVar2Str(EnvMap& store, CxStr1p const& name, CxStr1p const& squeeze, char const* options,
                    bool removeAllEscapes);
bool evalVarReplSet(EnvMap& store, CxStr1p const& name, CxStr1p const& squeeze, char const* options,
                    bool removeAllEscapes);
CxStr1p evalVarRepl(EnvMap& store, CxStr1p const& name, CxStr1p const& squeeze, char const* options,
                    bool removeAllEscapes);
CxStr1p evalMap2xStr(VarOverlay const& overlay, EnvMap& store, CxStr1p const& text,
                     CxStr1p const& squeeze, char const* options, bool removeAllEscapes);

// One logical line of a rules file, expanded in place; messages go to err.
bool evalVarsInLine(CxStr1p& line, bool& quoteOpen, EnvMap& store, char const* options,
                    CxStr1p* err, long long lineNr);
// Assignment lines: parse, expand the value (unless single-quoted), assign.
bool lineEvalVarEq(CxStr1p const& line, EnvMap& store, bool& quoteOpen, char const* options,
                   bool removeAllEscapes, CxStr1p* err);
bool textEvalVarEq(CxStr1p const& text, EnvMap& store, bool& quoteOpen, char const* options,
                   bool removeAllEscapes, CxStr1p* err);

// name=value texts.
CxStr1p strVarName(CxStr1p const& text);
CxStr1p strVarValue(CxStr1p const& text, bool removeQuotes);
CxStr1p strVarValueDelQ(CxStr1p const& text);
bool strVarEqValSplit(CxStr1p& name, CxStr1p& value, CxStr1p const& text, bool removeQuotes);
bool strVarEqValSplitDelQ(CxStr1p& name, CxStr1p& value, CxStr1p const& text);
CxStr1p strVarEqValSet(CxStr1p const& name, CxStr1p const& value, char quote);
CxStr1p strVarEqValSetQ1(CxStr1p const& name, CxStr1p const& value);
CxStr1p strVarEqValSetQ2(CxStr1p const& name, CxStr1p const& value);
