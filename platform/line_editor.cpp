#include "platform/line_editor.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/failure.h"
#include "platform/key_decoder.h"
#include "platform/line_buffer.h"
#include "platform/line_view.h"
#include "platform/out_channel.h"
#include "platform/signal_thread.h"
#include "platform/terminal.h"

namespace IO {

namespace {

constexpr std::size_t kDefaultWidth = 80;
constexpr std::size_t kPromptCap = 256;

int inFd = -1;
int echoFd = -1;         // -1: no terminal to echo to
bool echoIsStdout = false;  // the prompt stands on the echo's terminal
int wakePipe[2] = {-1, -1};
std::atomic<bool> redrawWanted{false};
std::atomic<bool> sizeChanged{false};

KeyDecoder decoder;
LineBuffer line;
// Bytes read and not yet decoded: typed after an Enter, for the next line.
unsigned char raw[256];
std::size_t rawPos = 0;
std::size_t rawEnd = 0;

// How the line stands on the screen.
char prompt[kPromptCap];
std::size_t promptLength = 0;
std::size_t width = kDefaultWidth;
std::size_t startColumn = 0;
std::size_t first = 0;  // characters scrolled out on the left

// The echo goes where the person sees it: standard output when it is the
// same terminal, else the input terminal itself, opened for writing.
void ChooseEcho() {
  struct stat in, out;
  if (::isatty(STDOUT_FILENO) && ::fstat(inFd, &in) == 0 && ::fstat(STDOUT_FILENO, &out) == 0 &&
      in.st_rdev == out.st_rdev) {
    echoFd = STDOUT_FILENO;
    echoIsStdout = true;
    return;
  }
  const int mode = ::fcntl(inFd, F_GETFL);
  if (mode >= 0 && (mode & O_ACCMODE) != O_RDONLY) {
    echoFd = inFd;
    return;
  }
  char name[256];
  if (::ttyname_r(inFd, name, sizeof name) == 0) {
    echoFd = ::open(name, O_WRONLY | O_NOCTTY | O_CLOEXEC);
  }
}

void Wake() noexcept {
  const char byte = 'w';
  // A full pipe already holds a wake-up; nothing is lost.
  [[maybe_unused]] const ssize_t n = ::write(wakePipe[1], &byte, 1);
}

void OnSuspend() noexcept { Terminal::Suspend(); }

void OnResume() noexcept {
  if (!Terminal::Resume()) return;
  redrawWanted.store(true);
  Wake();
}

void OnWindowChanged() noexcept {
  sizeChanged.store(true);
  Wake();
}

void ReadWidth() {
  winsize size{};
  width = (::ioctl(inFd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) ? size.ws_col : kDefaultWidth;
  startColumn = StartColumn(CountColumns(std::string_view(prompt, promptLength)), width);
}

void Echo(const char* p, std::size_t n) {
  if (echoFd >= 0 && n > 0) StdOut().WriteThrough(echoFd, p, n);
}

// The prompt and the line written anew: after a stop, the shell has written
// on the screen; after a change of size, the terminal may have moved text.
void RedrawAll() {
  char out[kRedrawCap];
  const std::size_t room = Room(startColumn, width);
  first = ScrollTo(first, line.CursorColumn(), line.LengthColumns(), room);
  const LineLayout layout{{prompt, promptLength}, startColumn, width, line.Text(), line.CursorColumn(), first};
  Echo(out, BuildRedraw(layout, out, sizeof out));
}

void TakeWakeUps() {
  char drain[64];
  while (::read(wakePipe[0], drain, sizeof drain) > 0) {
  }
  const bool resized = sizeChanged.exchange(false);
  const bool redraw = redrawWanted.exchange(false);
  if (resized) ReadWidth();
  if (resized || redraw) RedrawAll();
}

// Waits for keys and reads them into `raw`. False at the end of input.
bool ReadKeys() {
  for (;;) {
    pollfd p[2] = {{inFd, POLLIN, 0}, {wakePipe[0], POLLIN, 0}};
    if (::poll(p, 2, -1) < 0) {
      if (errno == EINTR) continue;
      rts::RaiseDeviceError("wait for standard input", errno);
    }
    if (p[1].revents != 0) TakeWakeUps();
    if (p[0].revents == 0) continue;
    const ssize_t n = ::read(inFd, raw, sizeof raw);
    if (n > 0) {
      rawPos = 0;
      rawEnd = static_cast<std::size_t>(n);
      return true;
    }
    if (n == 0) return false;  // hang-up
    if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
    rts::RaiseDeviceError("read from standard input", errno);
  }
}

enum class Outcome { kEditing, kEnter, kEnd };

// Decodes what has been read, up to an Enter or the end, and shows the
// result in one write: the typed characters alone when they were only added
// at the end of the line in view, else the whole line redrawn.
Outcome EditBatch() {
  const std::size_t shownLength = line.Text().size();
  bool appendOnly = line.Cursor() == shownLength;
  bool bell = false;
  Outcome outcome = Outcome::kEditing;
  while (rawPos < rawEnd && outcome == Outcome::kEditing) {
    const Keys keys = decoder.Feed(raw[rawPos++]);
    for (int i = 0; i < keys.count; ++i) {
      const Key& k = keys.key[i];
      switch (k.kind) {
        case KeyKind::kChar: {
          const bool atEnd = line.Cursor() == line.Text().size();
          if (!line.Put(k.bytes, k.length)) {
            bell = true;  // the line is full
          } else if (!atEnd) {
            appendOnly = false;
          }
          break;
        }
        case KeyKind::kEnter: outcome = Outcome::kEnter; break;
        case KeyKind::kBackspace: appendOnly &= !line.Backspace(); break;
        case KeyKind::kDelete: appendOnly &= !line.Delete(); break;
        case KeyKind::kCtrlD:
          if (line.Empty()) {
            outcome = Outcome::kEnd;
          } else {
            appendOnly &= !line.Delete();
          }
          break;
        case KeyKind::kLeft: line.Left(); appendOnly = false; break;
        case KeyKind::kRight: line.Right(); appendOnly = false; break;
        case KeyKind::kHome: line.Home(); appendOnly = false; break;
        case KeyKind::kEnd: line.End(); appendOnly = false; break;
        case KeyKind::kRefused: bell = true; break;
      }
    }
  }

  char out[kRedrawCap + 3];
  std::size_t n = 0;
  const std::size_t room = Room(startColumn, width);
  const std::size_t scrolled = ScrollTo(first, line.CursorColumn(), line.LengthColumns(), room);
  if (appendOnly && scrolled == first) {
    const std::string_view added = line.Text().substr(shownLength);
    std::memcpy(out, added.data(), added.size());
    n = added.size();
  } else {
    first = scrolled;
    const LineLayout layout{{}, startColumn, width, line.Text(), line.CursorColumn(), first};
    n = BuildRedraw(layout, out, kRedrawCap);
  }
  if (bell) out[n++] = '\a';
  if (outcome == Outcome::kEnter) {
    out[n++] = '\r';
    out[n++] = '\n';
  }
  Echo(out, n);
  return outcome;
}

}  // namespace

bool StartLineEditor(int fd) {
  if (!::isatty(fd)) return false;
  if (::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  inFd = fd;
  if (!Terminal::Enter(fd)) {
    ::close(wakePipe[0]);
    ::close(wakePipe[1]);
    return false;
  }
  ChooseEcho();
  rts::SetJobControlHooks({OnSuspend, OnResume, OnWindowChanged});
  // Ctrl-Z and window changes reach the hooks only through the signal thread.
  rts::StartSignalThread();
  return true;
}

void EndLineEditor() noexcept { Terminal::Leave(); }

std::size_t ReadEditedLine(char* buf, std::size_t cap) {
  line.Clear();
  first = 0;
  promptLength = echoIsStdout ? StdOut().LineTail(prompt, sizeof prompt) : 0;
  ReadWidth();
  for (;;) {
    if (rawPos == rawEnd && !ReadKeys()) return 0;
    switch (EditBatch()) {
      case Outcome::kEditing: break;
      case Outcome::kEnd: return 0;
      case Outcome::kEnter: {
        const std::string_view text = line.Text();
        if (text.size() + 2 > cap) rts::RaiseDeviceError("read from standard input", ENOBUFS);
        std::memcpy(buf, text.data(), text.size());
        buf[text.size()] = '\r';
        buf[text.size() + 1] = '\n';
        return text.size() + 2;
      }
    }
  }
}

}  // namespace IO
