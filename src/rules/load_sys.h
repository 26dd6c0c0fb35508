// The platform part of rules/load.
#pragma once

// Parse options for rule lines on this platform (see loadParseOptions).
char const* hostParseOptions();
