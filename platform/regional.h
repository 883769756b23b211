// The user's regional settings, as far as the program formats numbers: the
// decimal separator.
#pragma once

#include <string_view>

namespace platform {

// The decimal separator of the user's numeric locale, read once per process ("." when none is set).
std::u16string_view regionalDecimalSeparator();

} // namespace platform
