#pragma once

namespace tev::app {

// Descriptors 0, 1 and 2 that the program was started without (`tev3p 1>&-`) are opened on
// /dev/null. Otherwise the next descriptor opened, such as the event loop's own, would take
// the number, and log lines or error texts would be written into it. Must run before anything
// else opens a descriptor. Returns how many were opened.
int openClosedStandardDescriptors();

// A reader of standard output that goes away (`tev3p | head`, a restarted log collector) must
// cost at most the echo of the log, never the program: writes to it then fail with EPIPE
// instead of ending the program by SIGPIPE.
void ignoreBrokenPipeSignal();

}  // namespace tev::app
