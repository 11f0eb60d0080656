// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/StartupWarmup.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QImageReader>

#include <fontconfig/fontconfig.h>

namespace quil {

StartupWarmup::StartupWarmup() {
    m_fontConfig = std::thread([] { FcInit(); });
}

void StartupWarmup::applicationReady() {
    if (m_qt.joinable())
        return;
    m_qt = std::thread([this] {
        // Qt's own font set-up calls FcInit too; let ours finish first.
        if (m_fontConfig.joinable())
            m_fontConfig.join();
        QFontDatabase::families();
        // The fallback faces are looked up once per face and script and
        // shared by all threads (the engines themselves stay with this one):
        // the main window's face with the scripts of its captions.
        QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
        font.setPixelSize(12);
        QFontMetrics(font).horizontalAdvance(QStringLiteral("Aあア漢"));
        QImageReader::supportedImageFormats();
    });
}

void StartupWarmup::finish() {
    if (m_qt.joinable())
        m_qt.join();
    if (m_fontConfig.joinable())
        m_fontConfig.join();
}

StartupWarmup::~StartupWarmup() { finish(); }

} // namespace quil
