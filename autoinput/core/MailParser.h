// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "store/Table.h"

#include <QString>

#include <functional>

namespace quil {

class LineBuffer;

// Turns pasted confirmation mails into magazine records, or reads the
// まぐまぐ registered-list mail and brings the states of the まぐまぐ records
// into line with it. Works on the two shared table cursors.
class MailParser {
public:
    MailParser(Table &magazines, Table &systems);

    // The click of "取り込み開始" on the window's text: the import, or with
    // verifyRegisteredList the registered-list check. Afterwards `text` holds
    // exactly the lines not removed, also when an error propagates. The
    // import ends with the count message; `showText`, when given, receives
    // the remaining text first, so the window shows it behind the message.
    void run(QString &text, bool verifyRegisteredList,
             const std::function<void(const QString &)> &showText = {});
    // More registration in the same walk, after the parser's own (the lists
    // of dropped messages): returns the records it added, which the count
    // message counts, and lines the message adds below the count.
    struct Also {
        int added = 0;
        QStringList lines;
    };
    void setAlso(std::function<Also()> also) { m_also = std::move(also); }
    // Records begun by the last import (the parser's own).
    int registeredCount() const { return m_count; }

private:
    std::function<Also()> m_also;
    struct Columns;

    void importMails(LineBuffer &lines, const Columns &c);
    void verifyRegisteredList(LineBuffer &lines, const Columns &c);

    bool magMag(LineBuffer &lines, const Columns &c);
    bool pubzineOneLine(LineBuffer &lines, const Columns &c);
    bool pubzineStarred(LineBuffer &lines, const Columns &c);
    bool melma(LineBuffer &lines, const Columns &c);
    bool kavBlock(LineBuffer &lines, const Columns &c);
    void publishingSystemStep(const QString &name, const Columns &c);
    void beginRecord();
    void returnTo(Bookmark b);

    Table &m_magazines;
    Table &m_systems;
    int m_count = 0;
};

} // namespace quil
