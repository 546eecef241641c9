#include "platform/io.h"

#include <cstring>

#include "platform/halt.h"
#include "platform/input.h"
#include "platform/number_text.h"
#include "platform/out_channel.h"

namespace IO {

namespace {

bool initialised = false;

// Input that has been fetched and not yet taken.
constexpr std::size_t kInputBlock = 64 * 1024;
char input[kInputBlock];
std::size_t inputPos = 0;
std::size_t inputEnd = 0;
bool ended = false;   // the input source reported its end
bool atEnd = false;   // ... and no item was left: RdLngInt had none to give
ItemReader reader(Separators);
Item lastItem{};

void Finish() noexcept {
  StdOut().FlushAtEnd();
  EndInput();
}

}  // namespace

void Init() {
  if (initialised) return;
  initialised = true;
  PrefixChar = ' ';
  SuffixChar = ' ';
  ChopOff = false;
  Separators = kDefaultSeparators;
  OK = true;
  StartInput();
  rts::AddTerminationAction(Finish);
}

void WrStr(const char* s) { StdOut().Put(s, std::strlen(s)); }

void WrChar(char ch) { StdOut().Put(&ch, 1); }

void WrLn() { StdOut().Put("\n", 1); }

void WrStrAdj(const char* text, int32_t w) {
  StdOut().PutField(text, LayOutField(std::strlen(text), w, ChopOff), PrefixChar, SuffixChar);
}

void WrCard(uint32_t x, int32_t w) {
  char text[kNumberText];
  CardToStr(x, text);
  WrStrAdj(text, w);
  OK = true;
}

void WrLngInt(int32_t x, int32_t w) {
  char text[kNumberText];
  IntToStr(x, text);
  WrStrAdj(text, w);
  OK = true;
}

void Flush() { StdOut().Flush(); }

int32_t RdLngInt() {
  for (;;) {
    if (!ended && inputPos == inputEnd) {
      StdOut().Flush();  // whatever was asked must be seen before the wait
      inputPos = 0;
      inputEnd = FetchInput(input, kInputBlock);
      ended = inputEnd == 0;
    }
    bool complete = false;
    if (ended) {
      complete = reader.Finish();
      if (!complete) {
        atEnd = true;
        OK = false;
        return 0;
      }
    } else {
      inputPos += reader.Feed(input + inputPos, inputEnd - inputPos, complete);
    }
    if (complete) {
      lastItem = reader.item();
      OK = lastItem.number.ok;
      return lastItem.number.value;
    }
  }
}

bool AtEnd() { return atEnd; }

const Item& LastItem() { return lastItem; }

}  // namespace IO
