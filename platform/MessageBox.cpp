// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/MessageBox.h"

#include <QFileInfo>
#include <QQueue>

namespace quil {
namespace {

struct BoxState {
    MessageBox::Backend backend;
    QQueue<MsgAnswer> answers;
    bool testMode = false;
    QList<ShownMessage> shown;
};

BoxState &boxState() {
    static BoxState s;
    return s;
}

struct DialogState {
    FileDialog::Backend backend;
    QQueue<QString> names;
    int count = 0;
};

DialogState &dialogState() {
    static DialogState s;
    return s;
}

MsgAnswer firstButton(MsgButtons buttons) { return buttons == MsgButtons::YesNo ? MsgAnswer::Yes : MsgAnswer::Ok; }

QString withSuffix(const QString &name, bool save, const QString &suffix) {
    if (name.isEmpty() || suffix.isEmpty() || !QFileInfo(name).suffix().isEmpty())
        return name;
    const QString longer = name + u'.' + suffix;
    if (save || (!QFileInfo::exists(name) && QFileInfo::exists(longer)))
        return longer;
    return name;
}

QString runDialog(const QString &caption, const QString &filter, bool save, const QString &suffix) {
    DialogState &s = dialogState();
    ++s.count;
    if (!s.names.isEmpty())
        return withSuffix(s.names.dequeue(), save, suffix);
    if (boxState().testMode || !s.backend)
        return QString();
    return withSuffix(s.backend(caption, filter, save, suffix), save, suffix);
}

} // namespace

MsgAnswer MessageBox::show(const QString &text, const QString &caption, MsgButtons buttons, MsgIcon icon) {
    BoxState &s = boxState();
    ShownMessage msg{text, caption, buttons, icon, firstButton(buttons)};
    if (!s.answers.isEmpty())
        msg.answer = s.answers.dequeue();
    else if (!s.testMode && s.backend)
        msg.answer = s.backend(msg);
    // Tests read the record; a long run must not grow it without end.
    if (s.shown.size() >= 10000)
        s.shown.removeFirst();
    s.shown.append(msg);
    return msg.answer;
}

void MessageBox::setBackend(Backend backend) { boxState().backend = std::move(backend); }
void MessageBox::setNextAnswer(MsgAnswer answer) { boxState().answers.enqueue(answer); }
void MessageBox::setTestMode(bool on) {
    // Each test starts by setting test mode; answers left over from the last
    // test must not answer this one's boxes.
    boxState().testMode = on;
    boxState().answers.clear();
}
bool MessageBox::testMode() { return boxState().testMode; }
const QList<ShownMessage> &MessageBox::shown() { return boxState().shown; }

void MessageBox::clearShown() { boxState().shown.clear(); }

QString FileDialog::getOpenFileName(const QString &caption, const QString &filter, const QString &defaultSuffix) {
    return runDialog(caption, filter, false, defaultSuffix);
}

QString FileDialog::getSaveFileName(const QString &caption, const QString &filter, const QString &defaultSuffix) {
    return runDialog(caption, filter, true, defaultSuffix);
}

void FileDialog::setBackend(Backend backend) { dialogState().backend = std::move(backend); }
void FileDialog::setNextFileName(const QString &name) { dialogState().names.enqueue(name); }
int FileDialog::shownCount() { return dialogState().count; }

void FileDialog::reset() {
    dialogState().names.clear();
    dialogState().count = 0;
}

} // namespace quil
