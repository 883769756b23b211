// The exchange's lines: fields separated by spaces, lists by commas, and the
// free texts (a path, a difference) last, each to the end of its line.
#include "tools/misura-libreria/protocol.h"

#include "platform/error_text.h"

#include <charconv>
#include <sstream>

namespace misura::protocol {

namespace {

std::string numbers(const std::vector<double>& values)
{
    std::string out = "-";
    for (std::size_t i = 0; i < values.size(); ++i)
        (i ? out.append(",") : out.assign("")).append(number(values[i]));
    return out;
}

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

bool readList(std::string_view text, std::vector<double>& values)
{
    values.clear();
    if (text == "-")
        return true;
    for (std::size_t at = 0; at <= text.size();) {
        const std::size_t comma = std::min(text.find(',', at), text.size());
        double v = 0;
        if (!read(text.substr(at, comma - at), v))
            return false;
        values.push_back(v);
        at = comma + 1;
    }
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
        << b.spec.bytes << ' ' << b.spec.firstCall << ' ' << b.runs << ' ' << b.budgetNs << ' ' << b.warmup << ' '
        << b.checkFirst << ' ' << b.checkLast;
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
                 && read(field(line, at), b.runs) && read(field(line, at), b.budgetNs)
                 && read(field(line, at), b.warmup) && read(field(line, at), checkFirst)
                 && read(field(line, at), checkLast);
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
    return "result " + (r.firstCall ? number(*r.firstCall) : std::string("-")) + ' '
         + (r.binding ? number(*r.binding) : std::string("-")) + ' ' + numbers(r.times) + ' '
         + numbers(r.calls) + ' ' + std::to_string(path.size()) + ' ' + path + wrong;
}

std::optional<Answer> parseResult(const std::string& line)
{
    std::size_t at = 0;
    if (field(line, at) != "result")
        return std::nullopt;
    Answer a;
    if (!readOptional(field(line, at), a.result.firstCall) || !readOptional(field(line, at), a.result.binding))
        return std::nullopt;
    std::size_t pathSize = 0;
    if (!readList(field(line, at), a.result.times) || !readList(field(line, at), a.result.calls)
        || !read(field(line, at), pathSize) || at > line.size() || line.size() - at < pathSize)
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
