// The fatal fault report, shared by both fault paths, both binders and both
// supervisors: which message tells what faulted or ended, and the form in
// which a faulting image hands its error to a fresh one, in the environment
// variable named here: "<process id>:" and the error encoded (runtime_error.h),
// so that the fresh image words it in its own language. Everything but
// readHandOver works in memory the caller owns, with no allocator and no
// lock, for a fault handler.
#pragma once

#include "platform/messages.h"
#include "platform/runtime_error.h"

#include <optional>
#include <string>

namespace platform::faultReport {

// The environment variable that carries a report to a fresh image.
inline constexpr char kVariable[] = "VC_ERRORE_FATALE";

// What the program was doing with its library when it faulted or ended.
struct Activity {
    const char* library;  // its file name; empty when none was loaded
    const char* function; // the function being called; null outside a call
    bool loading;         // the library was being loaded
    bool exiting;         // the program had begun to end
};

// The message telling what faulted: a call of the function, the loading of
// the library, its detach code at exit, the program outside any call, or the
// program with no library; its reason is the fault (platform/ending.h).
MessageView faultMessage(const Activity& activity) noexcept;

// The message telling during what the program ended when nothing it ran chose
// to: a call, the loading, outside any call, or with no library; its reason is how it ended.
MessageView endMessage(const Activity& activity) noexcept;

// Appends the hand-over of error number with message and reason from process.
void appendHandOver(Text& out, unsigned long process, int number, const MessageView& message,
                    const MessageView* reason) noexcept;

// A report handed over by the faulting process `process`.
struct HandOver {
    unsigned long process;
    RuntimeError error;
};

// The report in text, when text begins as a hand-over does ("<process>:<number>:");
// an error it does not encode in full (cut short, or forged) is error 51, unknown.
std::optional<HandOver> readHandOver(const std::string& text);

} // namespace platform::faultReport
