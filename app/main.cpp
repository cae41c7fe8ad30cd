// Insert text in HTML files: the window program. It reads no command-line option; both panes open
// on the current folder.
#include "app/window_program.h"

int main(int argc, char** argv) { return qv::run_window_program(argc, argv); }
