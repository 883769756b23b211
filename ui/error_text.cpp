// The error report's wording.
#include "ui/error_text.h"

#include "platform/runtime_error.h"

#include <new>

namespace ui {

ReportedError describe(const std::exception_ptr& e) noexcept
{
    try {
        std::rethrow_exception(e);
    } catch (const platform::RuntimeError& err) {
        return {err.number(), err.description().c_str(), ""};
    } catch (const std::bad_alloc&) {
        return {platform::kOutOfMemory, platform::kOutOfMemoryDescription, ""};
    } catch (const std::exception& err) {
        return {platform::kInternalError, "Errore interno: ", err.what()};
    } catch (...) {
        return {platform::kInternalError, "Errore interno sconosciuto", ""};
    }
}

std::string reportText(const ReportedError& error)
{
    return "Errore di run-time '" + std::to_string(error.number) + "':\n\n" + error.lead + error.detail;
}

} // namespace ui
