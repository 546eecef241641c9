// Turns the bytes a terminal sends into keys. Pure and incremental: bytes are
// fed one at a time, so an escape sequence or a UTF-8 character split across
// reads decodes the same as one read in whole.
//
// Accepted: printable ASCII; UTF-8 characters that take one screen column
// (Latin, Greek, Cyrillic, common punctuation and currency signs); CR or LF
// (an LF right after a CR is the same line end); Backspace (127, 8); Ctrl-D;
// ESC [ D/C/H/F, ESC O D/C/H/F, ESC [ 1~ 7~ (Home), 4~ 8~ (End), 3~
// (Delete). Every other escape sequence is swallowed whole and every other
// control character is dropped. Malformed UTF-8 and characters outside the
// accepted set come out as kRefused, so the editor can ring the bell.
#pragma once

#include <cstddef>
#include <cstdint>

namespace IO {

enum class KeyKind : uint8_t {
  kChar,       // `bytes` holds the character (1..4 bytes)
  kEnter,
  kBackspace,
  kDelete,
  kLeft,
  kRight,
  kHome,
  kEnd,
  kCtrlD,
  kRefused,    // a character the line cannot take
};

struct Key {
  KeyKind kind;
  uint8_t length = 0;  // bytes in `bytes`, for kChar
  char bytes[4] = {};
};

// At most two keys come from one byte: a cut-short sequence and the byte
// that cut it.
struct Keys {
  Key key[2];
  int count = 0;
};

class KeyDecoder {
 public:
  Keys Feed(unsigned char byte);
  // True while a sequence has begun and is not yet complete.
  bool Pending() const { return state_ != kGround; }

 private:
  enum State : uint8_t {
    kGround,
    kEscape,    // after ESC
    kCsi,       // after ESC [
    kCsiLinux,  // after ESC [ [ (Linux console F1..F5): one byte follows
    kSs3,       // after ESC O
    kUtf8,      // inside a multi-byte character
  };
  // Decodes one byte in the ground state; adds what it yields to `out`.
  void Ground(unsigned char byte, Keys& out);
  void FinishCsi(unsigned char final, Keys& out);
  void FinishUtf8(Keys& out);

  State state_ = kGround;
  bool afterCr_ = false;
  // Parameter and intermediate bytes of the current sequence (the first
  // few; a longer one is unknown anyway).
  static constexpr std::size_t kParams = 4;
  char params_[kParams] = {};
  std::size_t paramLength_ = 0;
  // The multi-byte character under way.
  char utf8_[4] = {};
  uint8_t utf8Length_ = 0;
  uint8_t utf8Need_ = 0;
};

}  // namespace IO
