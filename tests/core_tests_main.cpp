// The suites' entry point, prepared as a console program is: a fatal fault
// in a test comes back in a fresh image, which writes the report to stderr
// and ends with status 1.
#include "platform/error_text.h"
#include "platform/fatal_fault.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    if (const auto fault = platform::prepareProcess()) {
        platform::printReport(platform::describe(*fault));
        return EXIT_FAILURE;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
