// The program's own start-up, ending as soon as its window is shown: what the
// start-up benchmark times as a whole process.
#include "startup.h"

int main(int argc, char* argv[])
{
    return ui::runProgram(argc, argv, {"Tarmelo", "1.00", "Laboratorio Tarfes", true});
}
