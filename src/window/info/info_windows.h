#pragma once

#include <functional>
#include <memory>

#include "window/info/about_windows.h"
#include "window/info/operation_manual.h"

namespace tev {

// The information windows, created hidden in this order after the main window.
struct InfoWindows {
    std::unique_ptr<TAbout> About;
    std::unique_ptr<TAbout2> About2;
    std::unique_ptr<Tmenu> menu;
};

// `openPage` is what Label3 and GO of the about windows do: open the project's page.
InfoWindows createInfoWindows(ToneSink& tones, const std::function<void()>& openPage);

}  // namespace tev
