// Reading the rules file in the GNU make dialect ("--gm"): finds the Makefile,
// has the dialect's reader fill the goal table, remakes included Makefiles that
// have rules and reads again, prepares the graph.
#pragma once

bool gmConfFindRead();
// "vorn: Entering directory '...'" and its "Leaving" line, as make prints them
// for -C, -w and nested runs.
void gmDirLine(bool entering);
