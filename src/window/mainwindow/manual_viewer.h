#pragma once

#include <string>

namespace tev {

// A window that can show the user manual itself, for a machine where no browser opens it. The
// manual window `menu` is one; the main window reaches it only through this interface.
class ManualViewer {
  public:
    virtual ~ManualViewer() = default;
    // Shows the manual at `path` (an HTML file); an empty path shows the window's own product
    // description.
    virtual void showManual(const std::string& path) = 0;
};

}  // namespace tev
