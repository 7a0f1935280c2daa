// The program's entry sequence and command line.
#pragma once

namespace velqa::app {

// Runs the program; returns the process exit code (0 on every path of a normal run; 2 for a
// bad command line, 1 when --screenshot cannot save its file).
int run(int argc, char** argv);

}  // namespace velqa::app
