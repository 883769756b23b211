// Helpers shared by the tests: where the stand-in and the test-only libraries
// are, a temporary folder, a scripted tick source, a double-byte code page, a
// way to read the run-time error an expression raises, and the few answers the
// tests need from the OS itself (support_posix.cpp, support_win.cpp).
#pragma once

#include "core/clstime.h"
#include "platform/codepage.h"
#include "platform/library.h"
#include "platform/runtime_error.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

// The conversion library's file name on this system.
inline const std::string kLibraryFile = platform::libraryFileName("quendril");
#ifdef BIN_DIR
// The folder of the programs and the stand-in library, and the stand-in's file.
inline const std::string kStandInFolder = BIN_DIR;
inline const std::string kStandInFile = kStandInFolder + "/" + kLibraryFile;
#endif
#ifdef FAKES_DIR
// The folder holding one folder per test-only library, each under kLibraryFile's name.
inline const std::string kFakes = FAKES_DIR;
#endif
// A library name found nowhere, so any call into it fails with error 53.
inline const std::string kAbsentLibrary = "libquendril-absent.so";

// A fresh folder, removed with everything in it at the end of the test.
class TempFolder {
public:
    TempFolder()
    {
        std::random_device random;
        do
            path_ = std::filesystem::temp_directory_path() / ("vc-test-" + std::to_string(random()));
        while (!std::filesystem::create_directory(path_));
    }
    // A library loaded from it stays loaded, and on Windows its file then stays too.
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Makes a folder the current directory for the scope's duration.
class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::filesystem::path& p) : previous_(std::filesystem::current_path())
    {
        std::filesystem::current_path(p);
    }
    ~CurrentDirectory() { std::filesystem::current_path(previous_); }

private:
    std::filesystem::path previous_;
};

// Returns the given readings in turn, then keeps returning the last one.
class ScriptedTicks final : public core::TickSource {
public:
    explicit ScriptedTicks(std::vector<std::uint32_t> readings) : readings_(std::move(readings)) {}
    std::uint32_t ticks() override
    {
        ++reads;
        const std::uint32_t v = readings_[next_];
        if (next_ + 1 < readings_.size())
            ++next_;
        return v;
    }
    int reads = 0;

private:
    std::vector<std::uint32_t> readings_;
    std::size_t next_ = 0;
};

// A double-byte code page: each byte stands for the character of its value;
// characters from `first` on take two bytes, lead byte 0x81 and their low byte,
// so their code is negative as a signed 16-bit value; below it a character is
// coded by its low byte.
class DoubleByte final : public platform::CodePage {
public:
    explicit DoubleByte(char16_t first = 0x3000) : first_(first) {}
    char16_t charFromCode(std::uint8_t code) const override { return code; }
    std::int16_t codeOfChar(char16_t c) const override
    {
        return static_cast<std::int16_t>(c >= first_ ? 0x8100 | (c & 0xFF) : c & 0xFF);
    }
    std::u16string decode(std::string_view bytes) const override
    {
        std::u16string text;
        for (char b : bytes)
            text.push_back(charFromCode(static_cast<std::uint8_t>(b)));
        return text;
    }
    platform::Bstr encode(std::u16string_view text) const override
    {
        std::string bytes;
        for (char16_t c : text) {
            const auto code = static_cast<std::uint16_t>(codeOfChar(c));
            if (code > 0xFF)
                bytes.push_back(static_cast<char>(code >> 8));
            bytes.push_back(static_cast<char>(code & 0xFF));
        }
        return platform::Bstr::fromBytes(bytes);
    }

private:
    char16_t first_;
};

// The number of the run-time error f raises; 0 when it raises none.
template <class F>
int errorNumberOf(F&& f)
{
    try {
        f();
    } catch (const platform::RuntimeError& e) {
        return e.number();
    }
    return 0;
}

// The description of the error f raises, in Italian; empty when it raises none.
template <class F>
std::string descriptionOf(F&& f)
{
    try {
        f();
    } catch (const platform::RuntimeError& e) {
        return e.description(platform::Language::italian);
    }
    return {};
}

// The description of the error binding function in lib raises; empty when it binds.
inline std::string descriptionOf(platform::Library& lib, const char* function)
{
    return descriptionOf([&] { lib.resolve(function); });
}

// The running program's file as the system reports it, apart from the platform
// layer; empty when the system does not tell.
std::filesystem::path programPath();
// Sets the environment variable name to value in this process, for it and the children it starts.
void setEnvironment(const char* name, const char* value);
// The number of the system's ANSI code page; 1252 where the program brings its own.
unsigned systemCodePage();
// Byte b's character in Windows-1252 from a reference the code page is checked
// against (the C library's converter, or on Windows our own table, since there
// the system converts); 0 when the reference leaves the byte unassigned.
char16_t referenceWindows1252Character(unsigned char b);

} // namespace testing_support
