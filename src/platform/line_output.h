#pragma once

#include <string_view>

namespace tev {

// Where the event log's lines are echoed for a terminal or a service journal. Writing a line
// never waits for the reader and never fails the caller: a reader that is slow or gone costs
// lines of the echo, never the program's time.
class LineOutput {
  public:
    virtual ~LineOutput() = default;
    virtual void writeLine(std::string_view line) = 0;
};

}  // namespace tev
