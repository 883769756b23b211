// Private to misura-libreria's processes: what the shared part (processes.cpp)
// needs of each system to read and write a measuring child's channel.
#pragma once

#include <cstddef>
#include <string>

namespace misura::io {

// Takes channel (a descriptor, a handle on Windows) as this process's own:
// kept from anything it starts but a fresh image of itself; false when it is
// not open.
bool takeChannel(long channel);
// Whether channel still refers to what it did when taken.
bool stillGiven(long channel);
// Reads what channel holds, waiting for some: the bytes read, 0 at its end, -1 on an error.
long readSome(long channel, char* buffer, std::size_t size);
// Writes all of text to channel; false when it cannot.
bool writeAll(long channel, const std::string& text);
// Removes name from this process's environment.
void forgetVariable(const char* name);

} // namespace misura::io
