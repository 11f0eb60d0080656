// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>

namespace quil::mail {

// The text a reader sees of an HTML mail body, one line per rendered line:
// tags dropped, <br> ending a line, block ends (</p>, </div>, </tr>, </li>,
// <hr>, headings, an opening <p>) ending a line that holds text, script, style
// and title contents dropped, character references decoded. Line breaks and
// the blanks around them in the source count as one blank between words, as a
// browser shows them; other blanks stay as written. Lines end with "\n".
QString htmlToText(const QString &html);

} // namespace quil::mail
