// The ends of supervisor_check that only one system has: each system's own
// file (supervisor_check_posix.cpp, supervisor_check_win.cpp) defines them.
#pragma once

#include <string>

// Ends the process the way how names, a way of this system's own, with value
// as its argument; returns when how names none.
void endTheSystemsWay(const std::string& how, int value);
