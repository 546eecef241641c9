#include "platform/key_decoder.h"

namespace IO {

namespace {

constexpr unsigned char kEsc = 0x1B;

Key Plain(KeyKind kind) { return Key{kind}; }

void Add(Keys& out, const Key& key) { out.key[out.count++] = key; }

// Characters that every terminal draws in one column. Wide (East Asian,
// emoji) and zero-width (combining) characters are left out, so the line
// and the cursor on the screen always move in step with the line buffer.
bool TakesOneColumn(uint32_t cp) {
  return (cp >= 0x00A0 && cp <= 0x02FF && cp != 0x00AD) ||  // Latin
         (cp >= 0x0370 && cp <= 0x0482) ||                    // Greek, Cyrillic
         (cp >= 0x048A && cp <= 0x052F) ||                    // Cyrillic
         (cp >= 0x1E00 && cp <= 0x1FFF) ||                    // Latin, Greek extended
         (cp >= 0x2010 && cp <= 0x2027) ||                    // punctuation
         (cp >= 0x2030 && cp <= 0x205E) ||                    //
         (cp >= 0x20A0 && cp <= 0x20BF);                      // currency signs
}

// The final byte of ESC [ or ESC O without parameters: arrows, Home, End.
void AddCursorKey(unsigned char final, Keys& out) {
  switch (final) {
    case 'D': Add(out, Plain(KeyKind::kLeft)); return;
    case 'C': Add(out, Plain(KeyKind::kRight)); return;
    case 'H': Add(out, Plain(KeyKind::kHome)); return;
    case 'F': Add(out, Plain(KeyKind::kEnd)); return;
    default: return;
  }
}

bool IsFinal(unsigned char b) { return b >= 0x40 && b <= 0x7E; }
bool IsParameter(unsigned char b) { return b >= 0x20 && b <= 0x3F; }

}  // namespace

Keys KeyDecoder::Feed(unsigned char byte) {
  Keys out;
  const bool lineFeedAfterCr = afterCr_ && byte == '\n' && state_ == kGround;
  afterCr_ = false;
  if (lineFeedAfterCr) return out;  // CR LF is one line end

  switch (state_) {
    case kGround:
      Ground(byte, out);
      return out;
    case kEscape:
      if (byte == '[') {
        state_ = kCsi;
        paramLength_ = 0;
        return out;
      }
      if (byte == 'O') {
        state_ = kSs3;
        paramLength_ = 0;
        return out;
      }
      if (byte >= 0x20 && byte <= 0x7E) {
        state_ = kGround;  // ESC and one character: Alt with a key
        return out;
      }
      break;
    case kCsi:
      if (byte == '[' && paramLength_ == 0) {
        state_ = kCsiLinux;
        return out;
      }
      if (IsParameter(byte)) {
        if (paramLength_ < kParams) params_[paramLength_] = static_cast<char>(byte);
        ++paramLength_;
        return out;
      }
      if (IsFinal(byte)) {
        state_ = kGround;
        FinishCsi(byte, out);
        return out;
      }
      break;
    case kCsiLinux:
      if (byte >= 0x20 && byte <= 0x7E) {
        state_ = kGround;
        return out;
      }
      break;
    case kSs3:
      if (byte >= 0x30 && byte <= 0x3F) {
        ++paramLength_;
        return out;
      }
      if (IsFinal(byte)) {
        state_ = kGround;
        if (paramLength_ == 0) AddCursorKey(byte, out);
        return out;
      }
      break;
    case kUtf8:
      if ((byte & 0xC0) == 0x80) {
        utf8_[utf8Length_++] = static_cast<char>(byte);
        if (utf8Length_ == utf8Need_) {
          state_ = kGround;
          FinishUtf8(out);
        }
        return out;
      }
      // Cut short: the part so far is refused, the byte stands on its own.
      Add(out, Plain(KeyKind::kRefused));
      break;
  }
  // A byte that cannot continue the sequence: the sequence is dropped and
  // the byte is taken as if it came alone (a control character inside an
  // escape sequence still acts).
  state_ = kGround;
  Ground(byte, out);
  return out;
}

void KeyDecoder::Ground(unsigned char byte, Keys& out) {
  if (byte >= 0x20 && byte <= 0x7E) {
    Key k{KeyKind::kChar, 1};
    k.bytes[0] = static_cast<char>(byte);
    Add(out, k);
    return;
  }
  switch (byte) {
    case '\r':
      afterCr_ = true;
      Add(out, Plain(KeyKind::kEnter));
      return;
    case '\n': Add(out, Plain(KeyKind::kEnter)); return;
    case 0x7F:
    case 0x08: Add(out, Plain(KeyKind::kBackspace)); return;
    case 0x04: Add(out, Plain(KeyKind::kCtrlD)); return;
    case kEsc: state_ = kEscape; return;
    default: break;
  }
  if (byte < 0x80) return;  // other control characters
  utf8_[0] = static_cast<char>(byte);
  utf8Length_ = 1;
  if (byte >= 0xC2 && byte <= 0xDF) {
    utf8Need_ = 2;
  } else if (byte >= 0xE0 && byte <= 0xEF) {
    utf8Need_ = 3;
  } else if (byte >= 0xF0 && byte <= 0xF4) {
    utf8Need_ = 4;
  } else {
    Add(out, Plain(KeyKind::kRefused));  // a continuation byte or no UTF-8 lead
    return;
  }
  state_ = kUtf8;
}

void KeyDecoder::FinishCsi(unsigned char final, Keys& out) {
  if (paramLength_ == 0) {
    AddCursorKey(final, out);
    return;
  }
  if (final != '~' || paramLength_ != 1) return;
  switch (params_[0]) {
    case '1':
    case '7': Add(out, Plain(KeyKind::kHome)); return;
    case '4':
    case '8': Add(out, Plain(KeyKind::kEnd)); return;
    case '3': Add(out, Plain(KeyKind::kDelete)); return;
    default: return;
  }
}

void KeyDecoder::FinishUtf8(Keys& out) {
  const auto b = [this](int i) { return static_cast<uint32_t>(static_cast<unsigned char>(utf8_[i])); };
  uint32_t cp;
  uint32_t least;
  if (utf8Need_ == 2) {
    cp = ((b(0) & 0x1F) << 6) | (b(1) & 0x3F);
    least = 0x80;
  } else if (utf8Need_ == 3) {
    cp = ((b(0) & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F);
    least = 0x800;
  } else {
    cp = ((b(0) & 0x07) << 18) | ((b(1) & 0x3F) << 12) | ((b(2) & 0x3F) << 6) | (b(3) & 0x3F);
    least = 0x10000;
  }
  if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    Add(out, Plain(KeyKind::kRefused));  // overlong, a surrogate or past Unicode
    return;
  }
  if (cp < 0xA0) return;  // C1 control characters
  if (!TakesOneColumn(cp)) {
    Add(out, Plain(KeyKind::kRefused));
    return;
  }
  Key k{KeyKind::kChar, utf8Need_};
  for (int i = 0; i < utf8Need_; ++i) k.bytes[i] = utf8_[i];
  Add(out, k);
}

}  // namespace IO
