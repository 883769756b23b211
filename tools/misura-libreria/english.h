// The kit's commands speak English: the numbered errors the platform and the
// core describe in the programs' language, in English with the same numbers.
#pragma once

#include <exception>
#include <string>

namespace misura {

// The description of a run-time error, in English.
std::string inEnglish(const std::string& description);

// The one-line report of the exception e: "error <number>: <description in English>".
std::string errorLine(const std::exception_ptr& e);

} // namespace misura
