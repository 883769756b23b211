// The tests' answers from a POSIX system: the program's path from /proc, the
// environment through setenv, and Windows-1252 from the C library's converter.
#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <cstdlib>

namespace testing_support {

std::filesystem::path programPath()
{
    return std::filesystem::read_symlink("/proc/self/exe");
}

void setEnvironment(const char* name, const char* value)
{
    setenv(name, value, 1);
}

unsigned systemCodePage()
{
    return 1252;
}

char16_t referenceWindows1252Character(unsigned char b)
{
    iconv_t cd = iconv_open("UTF-16LE", "CP1252");
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << "no CP1252 converter";
    char in[1] = {static_cast<char>(b)};
    unsigned char out[4] = {};
    char* from = in;
    char* to = reinterpret_cast<char*>(out);
    std::size_t inLeft = 1, outLeft = sizeof out;
    const std::size_t done = iconv(cd, &from, &inLeft, &to, &outLeft);
    iconv_close(cd);
    if (done == static_cast<std::size_t>(-1) || outLeft != 2)
        return 0;
    return static_cast<char16_t>(out[0] | out[1] << 8);
}

} // namespace testing_support
