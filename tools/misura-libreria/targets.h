// Where the exports go, settled before anything runs: each path made absolute
// (so that nothing can move it later), and refused when writing it would
// destroy something: a library being measured, another export of the same
// run, or an existing file that is not an earlier export of the same kind.
#pragma once

#include "tools/misura-libreria/options.h"

namespace misura {

// The path file is read or written at: absolute, in one clean form, its links
// resolved as far as they exist.
std::string settledPath(const std::string& file);

// Makes o's export paths absolute; throws UsageError for one that must not be written.
void settleExportTargets(Options& o);

} // namespace misura
