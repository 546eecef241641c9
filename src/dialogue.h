// The dialogue: banner, then prompt, read a day count, write its date, until
// the input ends.
#pragma once

#include <cstddef>

#include "platform/item_reader.h"

// Room for the shown item: 40 characters, "..." and a NUL.
inline constexpr std::size_t kShownItem = 44;

// The item as a rejection shows it: its first 40 characters, "..." when it is
// longer, every byte outside 32..126 as "?". Returns the length.
std::size_t ShowItem(const IO::Item& item, char (&buf)[kShownItem]);

// The body of the program.
void OrdalenMain();
