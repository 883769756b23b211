// How misura-libreria writes numbers and texts: durations in a unit that fits,
// numbers in the C locale's form whatever the process's locale, and the quoting
// of JSON and CSV.
#pragma once

#include "tools/misura-libreria/measure.h"

#include <cstddef>
#include <string>

namespace misura {

// seconds with a unit chosen to fit (ns, µs, ms, s) and three or four significant digits.
std::string formatDuration(double seconds);
// v in the shortest form that reads back as the same double ("0.000123"), for exports.
std::string number(double v);
// v with decimals decimals after the point.
std::string fixed(double v, int decimals);
// A long time roughly, in the unit that fits: "45 s", "12 min", "33 h".
std::string roughDuration(double seconds);
// A power of ten of seconds in the unit that fits it: "1 µs", "100 ms".
std::string decadeLabel(double seconds);
// mean ± σ in the mean's unit.
std::string meanText(const Summary& s);
// A ratio to three significant digits ("1.52", "0.987", "12.3").
std::string ratioFigure(double ratio);

// s as a JSON string, quoted and escaped.
std::string jsonString(const std::string& s);
// s as a CSV field, quoted when it must be.
std::string csvField(const std::string& s);

// The number of characters of a UTF-8 text, for lining up columns.
std::size_t width(const std::string& s);
// s followed by spaces up to to characters.
std::string padded(const std::string& s, std::size_t to);

// The conversion's title in the console: "Bytes to text (\"Quendril\")".
std::string conversionTitle(Conversion c);
// What a case is measured with: the library's path, or "in-program routines".
std::string measuredWith(const Case& c);

} // namespace misura
