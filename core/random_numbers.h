#pragma once
// The launcher's random choices: one generator for the whole process, shared by every thread.
// The C runtime's rand() cannot serve: the Microsoft runtime keeps its state per thread and
// seeds it with 1 on each new one, so every worker would draw the same numbers.

#include <cstddef>

// A cache-busting number for a document URL, in rand()'s range 0 to 0x7FFF as servers and
// their logs have always seen it.
unsigned RandomQueryNumber();

// An index below count, which must not be 0.
size_t RandomIndex(size_t count);
