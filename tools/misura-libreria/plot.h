// A scan's medians against the block size, as a log-log SVG plot.
#pragma once

#include "tools/misura-libreria/results.h"

#include <ostream>

namespace misura {

// The medians of each library's (and the in-program routines') conversions against the block size.
void writeSvgPlot(std::ostream& out, const Results& results);

} // namespace misura
