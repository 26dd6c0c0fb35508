#pragma once

void greet(char const* who);
