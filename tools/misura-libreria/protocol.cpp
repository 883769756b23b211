// The exchange's lines: fields separated by spaces, "-" for a figure there is
// none of, and the free texts (a path, a difference) last, to the end of the
// line; the frame escapes a backslash and every control byte.
#include "tools/misura-libreria/protocol.h"

#include "platform/error_text.h"

#include <charconv>
#include <cstdio>
#include <sstream>

namespace misura::protocol {

namespace {

template <typename T> bool read(std::string_view text, T& value)
{
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && ptr == text.data() + text.size();
}

// A number, or "-" for none.
bool readOptional(std::string_view text, std::optional<double>& value)
{
    double v = 0;
    if (text == "-")
        value.reset();
    else if (read(text, v))
        value = v;
    else
        return false;
    return true;
}

// The next space-separated field of text from at on, moving at past it; empty past the end.
std::string_view field(std::string_view text, std::size_t& at)
{
    if (at > text.size())
        return {};
    const std::size_t end = std::min(text.find(' ', at), text.size());
    const std::string_view f = text.substr(at, end - at);
    at = end + 1;
    return f;
}

} // namespace

std::string escaped(const std::string& line)
{
    std::string out;
    for (const char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (byte < 0x20 || byte == 0x7f) {
            char code[5];
            std::snprintf(code, sizeof code, "\\x%02x", byte);
            out += code;
        } else {
            out += c;
        }
    }
    return out;
}

namespace {

std::optional<std::string> unescaped(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == '\\') {
            out += '\\';
            ++i;
        } else if (unsigned byte = 0; i + 3 < text.size() && text[i + 1] == 'x'
                   && std::from_chars(text.data() + i + 2, text.data() + i + 4, byte, 16).ptr == text.data() + i + 4) {
            out += static_cast<char>(byte);
            i += 3;
        } else {
            return std::nullopt;
        }
    }
    return out;
}

} // namespace

std::string frame(const std::string& token, const std::string& number, const std::string& line)
{
    return token + ' ' + number + ' ' + escaped(line);
}

std::optional<Framed> unframe(const std::string& framed, const std::string& token)
{
    std::size_t at = 0;
    if (token.empty() || field(framed, at) != token)
        return std::nullopt;
    const std::string_view number = field(framed, at);
    if (number.empty() || at > framed.size())
        return std::nullopt;
    std::optional<std::string> line = unescaped(std::string_view(framed).substr(at));
    if (!line)
        return std::nullopt;
    return Framed{std::string(number), std::move(*line)};
}

std::string number(double v)
{
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
    return ec == std::errc() ? std::string(buffer, end) : std::string("0");
}

std::string batchLine(const Batch& b)
{
    std::ostringstream out;
    out << "batch " << static_cast<int>(b.spec.conversion) << ' ' << static_cast<int>(b.spec.method) << ' '
        << b.spec.bytes << ' ' << b.spec.firstCall << ' ' << b.samples << ' ' << b.budgetNs << ' ' << b.perSample
        << ' ' << b.sampleNs << ' ' << b.referencePerSample << ' ' << b.warmup << ' ' << b.core << ' ' << b.checkFirst << ' ' << b.checkLast;
    return out.str();
}

std::optional<Batch> parseBatch(const std::string& line)
{
    std::size_t at = 0;
    if (field(line, at) != "batch")
        return std::nullopt;
    int conversion = 0, method = 0, first = 0, checkFirst = 0, checkLast = 0;
    Batch b{{Conversion::BytesToText, core::Method::Library, 0}};
    const bool ok = read(field(line, at), conversion) && read(field(line, at), method)
                 && read(field(line, at), b.spec.bytes) && read(field(line, at), first)
                 && read(field(line, at), b.samples) && read(field(line, at), b.budgetNs)
                 && read(field(line, at), b.perSample) && read(field(line, at), b.sampleNs)
                 && read(field(line, at), b.referencePerSample)
                 && read(field(line, at), b.warmup) && read(field(line, at), b.core)
                 && read(field(line, at), checkFirst) && read(field(line, at), checkLast) && at > line.size();
    if (!ok || conversion < 0 || conversion > 1 || method < 0 || method > 1 || b.spec.bytes < 1)
        return std::nullopt;
    b.spec.conversion = static_cast<Conversion>(conversion);
    b.spec.method = static_cast<core::Method>(method);
    b.spec.firstCall = first != 0;
    b.checkFirst = checkFirst != 0;
    b.checkLast = checkLast != 0;
    return b;
}

std::string resultLine(const BatchResult& r, const std::string& path)
{
    std::string wrong = r.wrong;
    for (char& c : wrong)
        c = c == '\n' || c == '\r' || c == '\t' ? ' ' : c;
    const auto optional = [](const std::optional<double>& v) { return v ? number(*v) : std::string("-"); };
    return "result " + optional(r.firstCall) + ' ' + optional(r.binding) + ' ' + std::to_string(r.samples) + ' '
         + std::to_string(r.perSample) + ' ' + number(r.run) + ' ' + optional(r.call) + ' '
         + std::to_string(r.referencePerSample) + ' ' + number(r.reference) + ' ' + std::to_string(r.core)
         + ' ' + number(r.seconds) + ' ' + std::to_string(path.size()) + ' ' + path + wrong;
}

std::optional<Answer> parseResult(const std::string& line)
{
    std::size_t at = 0;
    if (field(line, at) != "result")
        return std::nullopt;
    Answer a;
    std::size_t pathSize = 0;
    if (!readOptional(field(line, at), a.result.firstCall) || !readOptional(field(line, at), a.result.binding)
        || !read(field(line, at), a.result.samples) || !read(field(line, at), a.result.perSample)
        || !read(field(line, at), a.result.run) || !readOptional(field(line, at), a.result.call)
        || !read(field(line, at), a.result.referencePerSample) || !read(field(line, at), a.result.reference)
        || !read(field(line, at), a.result.core) || !read(field(line, at), a.result.seconds)
        || !read(field(line, at), pathSize) || at > line.size()
        || line.size() - at < pathSize)
        return std::nullopt;
    a.path = line.substr(at, pathSize);
    a.result.wrong = line.substr(at + pathSize);
    return a;
}

namespace {

constexpr char kErrorHead[] = "error ";

} // namespace

std::string errorAnswer(const std::exception_ptr& e)
{
    return kErrorHead + platform::encoded(platform::describe(e));
}

std::optional<platform::RuntimeError> parseError(const std::string& line)
{
    if (!line.starts_with(kErrorHead))
        return std::nullopt;
    return platform::decodeError(std::string_view(line).substr(sizeof kErrorHead - 1));
}

std::string errorLine(const std::exception_ptr& e)
{
    return platform::reportLine(platform::describe(e), platform::Language::english);
}

} // namespace misura::protocol
