// How the line being typed stands on the screen. Pure: computes bytes for
// the terminal into a caller buffer, writes nothing itself.
//
// The line starts right after the prompt and never runs past the screen's
// last column but one: a line longer than that room scrolls sideways, so
// that the cursor is always in view and the row never wraps. Every
// character takes one column (see LineBuffer).
#pragma once

#include <cstddef>
#include <string_view>

namespace IO {

// Room for any redraw: a prompt (up to 256 bytes), a full line and the
// cursor movements.
inline constexpr std::size_t kRedrawCap = 1024;

// The column where the line starts when a prompt of `promptColumns`
// characters was written from the start of a row of `width` columns.
std::size_t StartColumn(std::size_t promptColumns, std::size_t width);

// Columns the line may use from `startColumn` on: the row less its last
// column, which only the cursor may take. At least 1.
std::size_t Room(std::size_t startColumn, std::size_t width);

// The first character to show (the characters before it are scrolled out)
// for a cursor at character `cursor` in a line of `length` characters.
// `first` is where the view stood before: it moves only as far as needed to
// keep the cursor in view, and back when the line no longer fills the room.
std::size_t ScrollTo(std::size_t first, std::size_t cursor, std::size_t length, std::size_t room);

struct LineLayout {
  // When non-empty, the redraw writes it from the start of the row (the
  // prompt after a stop or a change of the window); when empty, the prompt
  // is already on the row and the redraw moves right past it.
  std::string_view prompt;
  std::size_t startColumn;  // see StartColumn
  std::size_t width;        // of the screen, > 0
  std::string_view line;    // UTF-8
  std::size_t cursor;       // in characters
  std::size_t first;        // from ScrollTo
};

// The whole redraw: back to the row's start, the prompt or a move past it,
// the shown part of the line, the rest of the row and the rows below erased
// (the line is the last thing on the screen), and the cursor set
// back to its character. Returns the length, or 0 when it does not fit
// `cap` (kRedrawCap always fits).
std::size_t BuildRedraw(const LineLayout& layout, char* buf, std::size_t cap);

}  // namespace IO
