// Number and text forms shared by the console report and the exports.
#include "tools/misura-libreria/format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>

namespace misura {

namespace {

struct Unit {
    const char* name;
    double scale; // seconds per unit
};

Unit unitFor(double seconds)
{
    const double a = std::fabs(seconds);
    if (a < 1e-6)
        return {"ns", 1e-9};
    if (a < 1e-3)
        return {"µs", 1e-6};
    if (a < 1)
        return {"ms", 1e-3};
    return {"s", 1};
}

std::string inUnit(double seconds, Unit unit)
{
    const double v = seconds / unit.scale;
    const double a = std::fabs(v);
    return fixed(v, a >= 99.95 ? 1 : a >= 9.995 ? 2 : 3) + ' ' + unit.name;
}

} // namespace

std::string formatDuration(double seconds)
{
    return inUnit(seconds, unitFor(seconds));
}

std::string number(double v)
{
    if (!std::isfinite(v))
        return "null";
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 4);
    return ec == std::errc() ? std::string(buffer, end) : std::string("null");
}

std::string fixed(double v, int decimals)
{
    char buffer[400];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, decimals);
    return ec == std::errc() ? std::string(buffer, end) : std::string("inf");
}

std::string roughDuration(double seconds)
{
    if (seconds < 10)
        return fixed(seconds, 1) + " s";
    if (seconds < 120)
        return fixed(seconds, 0) + " s";
    if (seconds < 2 * 3600)
        return fixed(seconds / 60, 0) + " min";
    return fixed(seconds / 3600, 0) + " h";
}

std::string decadeLabel(double seconds)
{
    const Unit u = unitFor(seconds);
    return fixed(seconds / u.scale, 0) + ' ' + u.name;
}

std::string ratioFigure(double ratio)
{
    if (!std::isfinite(ratio))
        return "∞";
    if (ratio >= 0.5 && ratio < 2)
        return fixed(ratio, 3);
    const int decimals = ratio >= 99.95 ? 0 : ratio >= 9.995 ? 1 : ratio >= 0.9995 ? 2 : 3;
    return fixed(ratio, decimals);
}

std::string pFigure(double p)
{
    char buffer[32];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, p, std::chars_format::general, 2);
    return ec == std::errc() ? std::string(buffer, end) : std::string("?");
}

std::string percentFigure(double fraction)
{
    if (!std::isfinite(fraction))
        return "∞";
    const double percent = fraction * 100;
    return fixed(percent, percent >= 10 ? 0 : percent >= 1 ? 1 : 2);
}

std::string jsonString(const std::string& s)
{
    static const char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\')
            out.append(1, '\\').append(1, ch);
        else if (c < 0x20)
            out.append("\\u00").append(1, kHex[c >> 4]).append(1, kHex[c & 15]);
        else
            out += ch;
    }
    return out + '"';
}

std::string csvField(const std::string& s)
{
    if (s.find_first_of(",\"\r\n") == std::string::npos)
        return s;
    std::string out = "\"";
    for (const char ch : s)
        out += ch == '"' ? std::string("\"\"") : std::string(1, ch);
    return out + '"';
}

std::size_t width(const std::string& s)
{
    return static_cast<std::size_t>(
        std::count_if(s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string padded(const std::string& s, std::size_t to)
{
    const std::size_t w = width(s);
    return w >= to ? s : s + std::string(to - w, ' ');
}

std::string conversionTitle(Conversion c)
{
    return c == Conversion::BytesToText ? "Bytes to text (\"Quendril\")" : "Text to bytes (\"StringToArray\")";
}

} // namespace misura
