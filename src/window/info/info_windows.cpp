#include "window/info/info_windows.h"

namespace tev {

InfoWindows createInfoWindows(ToneSink& tones, const std::function<void()>& openPage) {
    InfoWindows w;
    w.About = std::make_unique<TAbout>(tones, openPage);
    w.About2 = std::make_unique<TAbout2>(tones, openPage);
    w.menu = std::make_unique<Tmenu>();
    return w;
}

}  // namespace tev
