// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QIcon>

namespace quil::glyph {

// The small bitmaps beside the captions of the main window's buttons, drawn
// at run time so that they stay crisp and need no image files.
enum class Kind { CancelPage, Delete, CancelHtml, Find, Next };

QIcon buttonIcon(Kind kind);

// The program icon in every size the packaging provides.
QIcon programIcon();

} // namespace quil::glyph
