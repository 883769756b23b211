// The program's own start-up, ending as soon as its window is shown: what the
// start-up benchmark times as a whole process.
#include "ui/startup.h"

int main(int argc, char* argv[])
{
    return ui::runProgram(argc, argv, {VC_PROGRAM_NAME, VC_PROGRAM_VERSION, VC_COMPANY_NAME, VC_APP_ID, true});
}
