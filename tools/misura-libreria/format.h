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
// v to four significant digits, as the console shows its figures ("0.0001234"), for
// exports; "null" when it is not finite.
std::string number(double v);
// v with decimals decimals after the point.
std::string fixed(double v, int decimals);
// A long time roughly, in the unit that fits: "4.5 s", "45 s", "12 min", "33 h".
std::string roughDuration(double seconds);
// A power of ten of seconds in the unit that fits it: "1 µs", "100 ms".
std::string decadeLabel(double seconds);
// A ratio: three decimals near 1 ("1.013", "0.987"), else three significant digits ("12.3").
std::string ratioFigure(double ratio);
// A p-value to two significant digits ("0.62", "0.0020").
std::string pFigure(double p);
// A fraction as a percentage to two significant digits at least ("1.2", "0.35", "12").
std::string percentFigure(double fraction);

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

} // namespace misura
