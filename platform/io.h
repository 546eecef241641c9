// The console text layer: text output in fields, item input and the
// settings that go with them, on standard output and standard input.
#pragma once

#include <cstdint>

#include "platform/item_reader.h"

namespace IO {

// Settings, with their values after Init.
inline char PrefixChar = ' ';  // fill on the left of a field with width > 0
inline char SuffixChar = ' ';  // fill on the right of a field with width < 0
inline bool ChopOff = false;   // cut a number wider than its field to the field
inline SeparatorSet Separators = kDefaultSeparators;
// Outcome of the last read or number write.
inline bool OK = true;

// Ties the layer to the standard channels, prepares terminal input and
// registers the termination action that writes out held output and sets the
// terminal's mode back. Runs once; later calls do nothing.
void Init();

void WrStr(const char* s);  // up to the first NUL
void WrChar(char ch);
void WrLn();  // a line end, written as CR LF
void WrStrAdj(const char* text, int32_t w);
void WrCard(uint32_t x, int32_t w);
void WrLngInt(int32_t x, int32_t w);

// Writes out held output now.
void Flush();

// Reads the next item and returns its value (see StrToInt), setting OK. At
// the end of the input it returns 0 with OK false and AtEnd() true.
int32_t RdLngInt();
bool AtEnd();
// The item that the last RdLngInt read.
const Item& LastItem();

}  // namespace IO
