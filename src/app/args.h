// Command-line options: expansion of arguments (one-dash groups, "-@" files,
// "--") into a one-per-line list, and its application to Conf.
#pragma once

#include "base/str.h"

bool initArgsTextFromMain(CxStr1p& out, int skip, int argc, char const** argv, char const* flags);
bool initArgsTextFromList(CxStr1p& out, CxStr1p const& text, char const* flags);
bool initArgsTextFromText(CxStr1p& out, CxStr1p const& text, char const* flags);
long long countArgsText(CxStr1p const& text);

bool args2Conf(CxStr1p const& list);

struct Conf;
// make's one-letter flags (MAKEFLAGS): one applied, or all that are set.
void confMakeFlagLetter(Conf& conf, char letter);
CxStr1p confMakeFlagLetters(Conf const& conf);

void echoHelp();
bool adaptJobsMax(int jobs);
int infoCpuCoresCount();
