// Reading the rules file in the GNU make dialect ("--gm"): finds the Makefile,
// has the dialect's reader fill the goal table, prepares the graph.
#pragma once

bool gmConfFindRead();
