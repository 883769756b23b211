// The lines a measuring child and its parent exchange. The parent sends
// "batch ...", "check CONVERSION" and "quit"; the child acknowledges each at
// once and then answers it with one line: "result ...", "checked
// [DIFFERENCE]", or "error " and its error encoded (platform/runtime_error.h)
// before it ends, which the parent words. Numbers are written in the C
// locale's form whatever the library does to the child's locale. Every line
// travels in a frame: the token the parent chose for that child, the
// request's number (or "end" for the answer that ends the child), and the
// line escaped, so that no byte of a path or a text breaks it. And the line
// the command reports an error with.
#pragma once

#include "platform/runtime_error.h"
#include "tools/misura-libreria/measure.h"

#include <exception>
#include <optional>
#include <string>

namespace misura::protocol {

std::string batchLine(const Batch& batch);
// The batch a "batch" line asks for; none for any other line.
std::optional<Batch> parseBatch(const std::string& line);

// The answer to a batch; path is the library's file once loaded (empty before and for none).
std::string resultLine(const BatchResult& result, const std::string& path);
struct Answer {
    BatchResult result;
    std::string path;
};
// The result a "result" line gives; none for any other line.
std::optional<Answer> parseResult(const std::string& line);

// The answer that reports the error e.
std::string errorAnswer(const std::exception_ptr& e);
// The error an "error" answer carries; none for any other line, or one that does not carry an error in full.
std::optional<platform::RuntimeError> parseError(const std::string& line);

// The report of the error e as the command writes it: "error <number>: <description>", in English.
std::string errorLine(const std::exception_ptr& e);

// Seconds in the shortest form that reads back as the same double.
std::string number(double v);

// The acknowledgement of a request, sent before the child works on it.
inline constexpr char kAcknowledged[] = "ack";
// The number an answer that ends the child carries instead of its request's.
inline constexpr char kLastAnswer[] = "end";
// The most a framed line may grow to: far more than any answer.
inline constexpr std::size_t kLongestLine = 1 << 20;

// line with a backslash and every control byte escaped ("\\", "\x0a").
std::string escaped(const std::string& line);

// line framed with token and number, without a line break.
std::string frame(const std::string& token, const std::string& number, const std::string& line);
struct Framed {
    std::string number;
    std::string line;
};
// What a framed line carries, when it is a frame with token; none otherwise.
std::optional<Framed> unframe(const std::string& framed, const std::string& token);

} // namespace misura::protocol
