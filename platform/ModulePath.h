// The running program's own file.
#pragma once

#include <string>

// The full path of the running executable as the kernel reports it; empty (with the last
// error set to errno) when it cannot be read.
std::string ExecutablePath();
