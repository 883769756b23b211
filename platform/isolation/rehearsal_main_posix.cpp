// The load rehearsal's own program: loads the one library its argument names
// and tells the program on descriptor 3 that loading returned, then ends with
// status 0 without running anything else of the library's. Being small, it
// starts in the same short time whatever the size of the program that starts it.
#include "platform/isolation/load_rehearsal.h"

#include <unistd.h>

int main(int argc, char* argv[])
{
    if (argc != 2)
        return 2;
    platform::rehearsal::loadAndReport(argv[1], platform::rehearsal::kReportDescriptor);
    _exit(0);
}
