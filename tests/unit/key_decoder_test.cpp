#include "platform/key_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

using IO::Key;
using IO::KeyDecoder;
using IO::KeyKind;

// Keys as short words: the character itself in brackets, else a name.
std::string Describe(const Key& k) {
  switch (k.kind) {
    case KeyKind::kChar: {
      std::string shown("[");
      shown.append(k.bytes, k.length);
      shown.push_back(']');
      return shown;
    }
    case KeyKind::kEnter: return "Enter ";
    case KeyKind::kBackspace: return "BS ";
    case KeyKind::kDelete: return "Del ";
    case KeyKind::kLeft: return "Left ";
    case KeyKind::kRight: return "Right ";
    case KeyKind::kHome: return "Home ";
    case KeyKind::kEnd: return "End ";
    case KeyKind::kCtrlD: return "^D ";
    case KeyKind::kRefused: return "Bell ";
  }
  return "?";
}

std::string Decode(KeyDecoder& d, std::string_view bytes) {
  std::string keys;
  for (char c : bytes) {
    const IO::Keys out = d.Feed(static_cast<unsigned char>(c));
    for (int i = 0; i < out.count; ++i) keys += Describe(out.key[i]);
  }
  return keys;
}

std::string Decode(std::string_view bytes) {
  KeyDecoder d;
  return Decode(d, bytes);
}

struct Case {
  const char* name;
  std::string_view bytes;
  const char* keys;
};

const Case kCases[] = {
    {"printable ASCII", "7a ~", "[7][a][ ][~]"},
    {"CR and LF each end a line", "1\r2\n", "[1]Enter [2]Enter "},
    {"LF right after CR is the same line end", "1\r\n2\r\r", "[1]Enter [2]Enter Enter "},
    {"LF after CR only when adjacent", "\rx\n", "Enter [x]Enter "},
    {"both backspaces", "\x7f\x08", "BS BS "},
    {"Ctrl-D", "\x04", "^D "},
    {"other controls dropped", "\x01\x02\x05\x09\x0b\x0c\x15\x17\x1a", ""},
    {"xterm arrows, Home, End", "\x1b[D\x1b[C\x1b[H\x1b[F", "Left Right Home End "},
    {"application mode keys", "\x1bOD\x1bOC\x1bOH\x1bOF", "Left Right Home End "},
    {"Linux console and vt keys", "\x1b[1~\x1b[4~\x1b[7~\x1b[8~\x1b[3~", "Home End Home End Del "},
    {"up and down ignored", "\x1b[A\x1b[B\x1bOA", ""},
    {"CSI with modifiers ignored whole", "\x1b[1;5C\x1b[3;2~x", "[x]"},
    {"F-keys ignored whole", "\x1bOP\x1b[15~\x1b[24~\x1b[[A\x1b[[E9", "[9]"},
    {"Insert and Page keys ignored", "\x1b[2~\x1b[5~\x1b[6~", ""},
    {"Alt with a key ignored", "\x1b" "a\x1b" "1z", "[z]"},
    {"a second ESC starts over", "\x1b\x1b[D", "Left "},
    {"control inside a sequence acts", "\x1b[1\r", "Enter "},
    {"ESC then a UTF-8 lead takes the character", "\x1b\xc3\xa9", "[\xc3\xa9]"},
    {"two-byte characters whole", "\xc3\xa9\xc3\x9f", "[\xc3\xa9][\xc3\x9f]"},
    {"Greek and Cyrillic", "\xce\xb1\xd0\x96", "[\xce\xb1][\xd0\x96]"},
    {"three-byte punctuation and euro sign", "\xe2\x80\x94\xe2\x82\xac", "[\xe2\x80\x94][\xe2\x82\xac]"},
    {"wide CJK refused", "\xe6\x97\xa5x", "Bell [x]"},
    {"emoji refused", "\xf0\x9f\x98\x80x", "Bell [x]"},
    {"combining accent refused", "e\xcc\x81", "[e]Bell "},
    {"soft hyphen refused", "\xc2\xad", "Bell "},
    {"C1 control dropped", "\xc2\x85", ""},
    {"stray continuation byte refused", "\x80" "a", "Bell [a]"},
    {"invalid leads refused", "\xc0\xc1\xf5\xff", "Bell Bell Bell Bell "},
    {"character cut short by ASCII", "\xc3" "a", "Bell [a]"},
    {"character cut short by a new lead", "\xe2\x82\xc3\xa9", "Bell [\xc3\xa9]"},
    {"character cut short by Enter", "\xc3\r", "Bell Enter "},
    {"overlong form refused", "\xe0\x80\xaf\xc3\xa9", "Bell [\xc3\xa9]"},
    {"surrogate refused", "\xed\xa0\x80", "Bell "},
};

TEST(KeyDecoder, Table) {
  for (const Case& c : kCases) {
    EXPECT_EQ(Decode(c.bytes), c.keys) << c.name;
  }
}

// A terminal's sequence may arrive in two reads; the decoder keeps its place
// across them and yields nothing until the sequence is whole.
TEST(KeyDecoder, SequenceSplitAcrossReads) {
  const std::string_view sequences[] = {"\x1b[D", "\x1bOH", "\x1b[3~", "\x1b[1;5C", "\xe2\x82\xac",
                                        "\xf0\x9f\x98\x80"};
  for (std::string_view s : sequences) {
    const std::string whole = Decode(s);
    for (std::size_t cut = 1; cut < s.size(); ++cut) {
      KeyDecoder d;
      EXPECT_EQ(Decode(d, s.substr(0, cut)), "") << "cut " << cut << " of " << whole;
      EXPECT_TRUE(d.Pending());
      EXPECT_EQ(Decode(d, s.substr(cut)), whole) << "cut " << cut;
      EXPECT_FALSE(d.Pending());
    }
  }
}

TEST(KeyDecoder, LongParameterListStaysUnknown) {
  // More parameter bytes than are kept: still swallowed, and "3~" at the
  // start does not make it a Delete.
  EXPECT_EQ(Decode("\x1b[3;1;1;1;1;1;1~5"), "[5]");
}

}  // namespace
