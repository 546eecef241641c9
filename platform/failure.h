// Failures that end the program: raised where they happen, never caught by the
// program's own code, and turned into the failure report by the process start
// (start.cpp) or the control-event thread.
#pragma once

namespace rts {

// Failure numbers of the report "#RTS: unhandled exception #N: TEXT".
enum FailureNumber : int {
  kIndexOutOfRange = 4,
  kWholeOverflow = 5,
  kDeviceError = 20,
};

struct Failure {
  int number;
  char text[160];  // NUL-terminated
};

// Throws a Failure; the text is copied (and cut to fit).
[[noreturn]] void Raise(int number, const char* text);
[[noreturn]] void RaiseWholeOverflow();
// A read or write on a standard channel failed with errno `err`.
[[noreturn]] void RaiseDeviceError(const char* what, int err);

// The failure path: termination actions, the report on standard error, the
// file "errinfo.$$$" and exit status 9. Never returns.
[[noreturn]] void FailurePath(const Failure& f) noexcept;

// Writes the report and the errinfo file; called by the halt after the
// termination actions have run.
void WriteFailureReport(const Failure& f) noexcept;

}  // namespace rts
