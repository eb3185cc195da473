#pragma once

// Runs the whole program: start-up, the main loop and shutdown. Returns the process exit code.
int RunQuorvane(int argc, char** argv);
