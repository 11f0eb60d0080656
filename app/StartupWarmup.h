// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <thread>

namespace quil {

// Work that the first picture of the main window needs but that nothing on
// the main thread waits for yet runs on a second thread meanwhile: the font
// configuration while Qt starts, then Qt's font list and the fallback faces
// of the main window's face while the data modules are made, then the image
// readers that the style's frames are loaded with. Everything it touches is
// guarded by the libraries' own locks; it only fills their caches.
class StartupWarmup {
public:
    // Before the application object exists: the font configuration only.
    StartupWarmup();
    // Once the application object exists.
    void applicationReady();
    // Joins the threads; called before the windows are shown at the latest.
    void finish();
    ~StartupWarmup();

    StartupWarmup(const StartupWarmup &) = delete;
    StartupWarmup &operator=(const StartupWarmup &) = delete;

private:
    std::thread m_fontConfig;
    std::thread m_qt;
};

} // namespace quil
