// Where misura-libreria's output goes besides its report: the progress line on
// a terminal's standard error, and the export files, each written whole or not at all.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace misura {

// A progress line on standard error that each update overwrites and that leaves nothing behind.
class ProgressLine {
public:
    explicit ProgressLine(bool enabled) : enabled_(enabled) {}
    ~ProgressLine() { clear(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // Shows "Measuring <text>" in place of the line shown before.
    void show(const std::string& text);
    // Removes the line.
    void clear();

private:
    bool enabled_;
    std::size_t shown_ = 0;
};

// Writes content to a temporary file beside file and renames it to file once
// complete, so that file is never half-written; false, after saying why on
// standard error, when it cannot.
bool writeExport(const std::string& file, const std::string& content);

// Whether writeExport could write file, tried by writing and removing its
// temporary file; false, after saying why on standard error, when not.
bool canWriteExport(const std::string& file);

// Creates or empties file and writes content to it, readable by all and
// writable by its owner whatever the umask; the system's reason when it cannot.
std::optional<std::string> writeNewFile(const std::string& file, const std::string& content);

} // namespace misura
