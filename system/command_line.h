#pragma once

#include <string>
#include <vector>

namespace qv {

// The arguments the program was started with, after its own name, as UTF-8 (on Windows they are
// taken from the UTF-16 command line, so that any file name arrives whole). Also sets a Windows
// console to show UTF-8 output. Call once, from main.
std::vector<std::string> program_arguments(int argc, char** argv);

}  // namespace qv
