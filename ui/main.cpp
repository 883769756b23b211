// Entry point of a deliverable; the build names the program.
#include "ui/startup.h"

int main(int argc, char* argv[])
{
    return ui::runProgram(argc, argv, {VC_PROGRAM_NAME, VC_PROGRAM_VERSION, VC_COMPANY_NAME, VC_APP_ID});
}
