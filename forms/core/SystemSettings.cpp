// SPDX-License-Identifier: GPL-3.0-or-later
#include "forms/core/SystemSettings.h"

#include "store/Columns.h"
#include "store/Table.h"
#include "text/Error.h"
#include "text/TextList.h"

namespace quil {

namespace {

const QString kStartTag = QStringLiteral("[KAV-SYP]");
const QString kEndTag = QStringLiteral("[/KAV-SYP]");

struct Label {
    QString line;
    const QString &column;
    const QString *flag; // a Boolean column the label also sets to true
};

// In the order each line is tested; the order matters, because a value line
// is tested against the labels after the one that took it.
const Label kLabels[] = {
    {QStringLiteral("■発行システムＩＤ："), col::MMSysID, nullptr},
    {QStringLiteral("■発行システム名："), col::MMSysName, nullptr},
    {QStringLiteral("■解除ページアドレス："), col::CancelUrl, nullptr},
    {QStringLiteral("■マガジンＩＤ桁数："), col::MMIDFigure, &col::AppendMMID},
    {QStringLiteral("■拡張子："), col::Expansion, nullptr},
    {QStringLiteral("■会員ＩＤ："), col::MemberID, &col::NeedMemberID},
    {QStringLiteral("■パスワード："), col::MemberPass, nullptr},
    {QStringLiteral("■登録メールアドレス："), col::SysRegAddress, nullptr},
};

// The lines, consumed from the front. Moving an index instead of removing
// from the list keeps a large file linear; running out of lines fails as a
// string list asked for its first line does.
class LineQueue {
public:
    explicit LineQueue(const QStringList &lines) : m_lines(lines) {}
    bool empty() const { return m_next >= m_lines.size(); }
    const QString &first() const {
        check();
        return m_lines[m_next];
    }
    void removeFirst() {
        check();
        ++m_next;
    }

private:
    void check() const {
        if (empty())
            throw Error(QStringLiteral("リストのインデックスが範囲を超えています (%1)").arg(0));
    }
    const QStringList &m_lines;
    qsizetype m_next = 0;
};

void readBlock(Table &systems, LineQueue &lines) {
    // The start tag is still first: it is removed by the first pass as a
    // line that matches no label.
    while (lines.first() != kEndTag) {
        for (const Label &label : kLabels) {
            if (lines.first() != label.line)
                continue;
            lines.removeFirst();
            systems.fieldByName(label.column).setAsString(lines.first());
            if (label.flag)
                systems.fieldByName(*label.flag).setAsBoolean(true);
        }
        lines.removeFirst();
    }
    lines.removeFirst();
}

} // namespace

int readSystemSettings(Table &systems, QStringList lines) {
    Table::Walk walk(systems);
    LineQueue queue(lines);
    int blocks = 0;
    while (!queue.empty()) {
        if (queue.first() == kStartTag) {
            // Storing the previous block's row is the append's doing.
            systems.append();
            ++blocks;
            readBlock(systems, queue);
        } else {
            queue.removeFirst();
        }
    }
    systems.post();
    walk.end();
    return blocks;
}

int readSystemSettingsFile(Table &systems, const QString &path) {
    return readSystemSettings(systems, textlist::readFile(path));
}

} // namespace quil
