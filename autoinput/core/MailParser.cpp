// SPDX-License-Identifier: GPL-3.0-or-later
#include "autoinput/core/MailParser.h"

#include "autoinput/core/LineBuffer.h"
#include "platform/MessageBox.h"
#include "store/Columns.h"
#include "text/ByteLine.h"
#include "text/Cp932.h"

#include <climits>
#include <optional>

namespace quil {
namespace {


// The literals are compared with the CP932 bytes of a line.
struct Literals {
    QByteArray magStart = cp932::encode(QStringLiteral("●登録メールマガジン:"));
    QByteArray pubOneLine = cp932::encode(QStringLiteral("メールマガジンID  "));
    QByteArray pubStarred = cp932::encode(QStringLiteral("* メールマガジンID  "));
    QByteArray pubPublisher = cp932::encode(QStringLiteral("* このマガジンの内容に関しては発行者まで "));
    QByteArray melmaStart = cp932::encode(QStringLiteral("★マガジンID："));
    QByteArray melmaAddress = cp932::encode(QStringLiteral("★登録アドレス："));
    QByteArray kavStart = cp932::encode(QStringLiteral("[KAV-PBL]"));
    QByteArray kavEnd = cp932::encode(QStringLiteral("[/KAV-PBL]"));
    QByteArray registered = cp932::encode(QStringLiteral("■登録中"));

    static const Literals &get() {
        static const Literals l;
        return l;
    }
};

// The labels of a KAV-PBL block, in the order one block pass tests them.
enum class KavColumn { System, Id, Name, Type, Cycle, Charge, Publisher, Web, Explanation, RegAddress, RegTime, Ip };

struct KavLabel {
    QByteArray bytes;
    KavColumn column;
};

const std::vector<KavLabel> &kavLabels() {
    static const std::vector<KavLabel> labels = [] {
        const std::pair<const char16_t *, KavColumn> table[] = {
            {u"▼発行システム：", KavColumn::System},
            {u"▼マガジンID：", KavColumn::Id},
            {u"▼マガジン名：", KavColumn::Name},
            {u"▼データタイプ：", KavColumn::Type},
            {u"▼発行周期：", KavColumn::Cycle},
            {u"▼有料/無料の区別：", KavColumn::Charge},
            {u"▼管理者アドレス：", KavColumn::Publisher},
            {u"▼関連Webページ：", KavColumn::Web},
            {u"▼説明：", KavColumn::Explanation},
            {u"▼登録アドレス：", KavColumn::RegAddress},
            {u"▼登録日時：", KavColumn::RegTime},
            {u"▼登録に利用されたIPアドレス：", KavColumn::Ip},
        };
        std::vector<KavLabel> out;
        for (const auto &[text, column] : table)
            out.push_back({cp932::encode(QString::fromUtf16(text)), column});
        return out;
    }();
    return labels;
}

// The line without its first n bytes.
QString after(const QByteArray &line, qsizetype n) { return bytes::textOfRange(line, n, line.size()); }

// A whole decimal number: leading half-width blanks and a sign allowed,
// at least one digit, nothing after the digits, within 32 bits.
std::optional<int> wholeNumber(const QByteArray &b) {
    qsizetype i = 0;
    while (i < b.size() && b[i] == ' ')
        ++i;
    bool negative = false;
    if (i < b.size() && (b[i] == '+' || b[i] == '-')) {
        negative = b[i] == '-';
        ++i;
    }
    if (i >= b.size())
        return std::nullopt;
    qint64 value = 0;
    for (; i < b.size(); ++i) {
        if (b[i] < '0' || b[i] > '9')
            return std::nullopt;
        value = value * 10 + (b[i] - '0');
        if (value > qint64(INT_MAX) + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX || value < INT_MIN)
        return std::nullopt;
    return int(value);
}

bool editing(const Table &t) { return t.state() == DataSetState::Edit || t.state() == DataSetState::Insert; }

} // namespace

struct MailParser::Columns {
    Field *publishing, *name, *id, *type, *cycle, *web, *publisher, *regAddress, *regTime, *ip, *charge,
        *explanation, *state;
    Field *sysId, *sysName;

    Columns(Table &m, Table &s)
        : publishing(&m.fieldByName(col::Publishing)), name(&m.fieldByName(col::MBName)),
          id(&m.fieldByName(col::MBID)), type(&m.fieldByName(col::MBType)), cycle(&m.fieldByName(col::MBCycle)),
          web(&m.fieldByName(col::Web)), publisher(&m.fieldByName(col::Publisher)),
          regAddress(&m.fieldByName(col::RegAddress)), regTime(&m.fieldByName(col::RegTime)),
          ip(&m.fieldByName(col::IPAddress)), charge(&m.fieldByName(col::ChargeOrFree)),
          explanation(&m.fieldByName(col::Explanation)), state(&m.fieldByName(col::DeleteState)),
          sysId(&s.fieldByName(col::MMSysID)), sysName(&s.fieldByName(col::MMSysName)) {}

    Field *kav(KavColumn k) const {
        switch (k) {
        case KavColumn::System: return publishing;
        case KavColumn::Id: return id;
        case KavColumn::Name: return name;
        case KavColumn::Type: return type;
        case KavColumn::Cycle: return cycle;
        case KavColumn::Charge: return charge;
        case KavColumn::Publisher: return publisher;
        case KavColumn::Web: return web;
        case KavColumn::Explanation: return explanation;
        case KavColumn::RegAddress: return regAddress;
        case KavColumn::RegTime: return regTime;
        case KavColumn::Ip: return ip;
        }
        return nullptr;
    }
};

MailParser::MailParser(Table &magazines, Table &systems) : m_magazines(magazines), m_systems(systems) {}

void MailParser::run(QString &text, bool verifyRegisteredList,
                     const std::function<void(const QString &)> &showText) {
    m_count = 0;
    // The buffer reads a shared copy; the caller's text is assigned once.
    LineBuffer lines(text);
    Also also;
    try {
        const Columns c(m_magazines, m_systems);
        {
            Table::Walk walk(m_magazines);
            if (verifyRegisteredList) {
                this->verifyRegisteredList(lines, c);
            } else {
                importMails(lines, c);
                if (m_also)
                    also = m_also();
            }
            walk.end();
        }
        text = lines.remaining();
    } catch (...) {
        text = lines.remaining();
        throw;
    }
    if (showText)
        showText(text);
    if (!verifyRegisteredList) {
        QString message = QString::number(m_count + also.added) + QStringLiteral("件が登録されました");
        for (const QString &line : also.lines)
            message += u'\n' + line;
        MessageBox::show(message, QStringLiteral("登録件数の確認"), MsgButtons::Ok, MsgIcon::Information);
    }
}

void MailParser::importMails(LineBuffer &lines, const Columns &c) {
    while (lines.hasLines()) {
        magMag(lines, c);
        pubzineOneLine(lines, c);
        pubzineStarred(lines, c);
        melma(lines, c);
        kavBlock(lines, c);
        lines.remove();
    }
    if (m_count > 0 && editing(m_magazines))
        m_magazines.post();
}

void MailParser::beginRecord() {
    m_magazines.append();
    ++m_count;
}

bool MailParser::magMag(LineBuffer &lines, const Columns &c) {
    if (lines.bytes() != Literals::get().magStart)
        return false;
    beginRecord();
    c.state->setAsString(state::Subscribed);
    c.publishing->setAsString(service::MagMag);
    // Values stand on every second line; the lines between are not looked at.
    for (Field *f : {c.name, c.id, c.type, c.cycle, c.web, c.publisher, c.regAddress, c.regTime, c.ip}) {
        lines.remove();
        f->setValue(QVariant(lines.text()));
        lines.remove();
    }
    return true;
}

bool MailParser::pubzineOneLine(LineBuffer &lines, const Columns &c) {
    const Literals &lit = Literals::get();
    if (!bytes::startsWith(lines.bytes(), lit.pubOneLine))
        return false;
    beginRecord();
    c.state->setAsString(state::Subscribed);
    c.id->setAsString(after(lines.bytes(), lit.pubOneLine.size()));
    lines.remove();
    lines.remove();
    c.name->setAsString(after(lines.bytes(), 2));
    c.publishing->setAsString(service::Pubzine);
    return true;
}

bool MailParser::pubzineStarred(LineBuffer &lines, const Columns &c) {
    const Literals &lit = Literals::get();
    if (!bytes::startsWith(lines.bytes(), lit.pubStarred))
        return false;
    beginRecord();
    c.state->setAsString(state::Subscribed);
    c.publishing->setAsString(service::Pubzine);
    c.id->setAsString(after(lines.bytes(), lit.pubStarred.size()));
    lines.remove();
    lines.remove();
    c.name->setAsString(lines.text());
    lines.remove();
    c.cycle->setAsString(after(lines.bytes(), 12));
    lines.remove();
    lines.remove();
    lines.remove();
    c.regAddress->setAsString(lines.text());
    lines.remove();
    lines.remove();
    c.regTime->setValue(QVariant(lines.text()));
    while (!bytes::startsWith(lines.bytes(), lit.pubPublisher)) {
        lines.remove();
        if (!lines.hasLines())
            break;
    }
    c.publisher->setAsString(after(lines.bytes(), lit.pubPublisher.size()));
    lines.remove();
    return true;
}

bool MailParser::melma(LineBuffer &lines, const Columns &c) {
    const Literals &lit = Literals::get();
    if (lines.bytes() != lit.melmaStart)
        return false;
    beginRecord();
    c.state->setAsString(state::Subscribed);
    c.publishing->setAsString(service::Melma);
    lines.remove();
    c.id->setAsString(after(lines.bytes(), 1));
    lines.remove();
    for (Field *f : {c.name, c.type, c.cycle, c.charge, c.publisher, c.web, c.explanation, c.regAddress, c.ip}) {
        lines.remove(); // the label line
        if (f != c.explanation) {
            f->setValue(QVariant(lines.text()));
            lines.remove();
            continue;
        }
        // Every line up to the address label, each ended by CR LF. Once the
        // collected text fills the column, more lines cannot change what is
        // stored, so they are passed over instead of piling up.
        QString description;
        qsizetype collected = 0;
        bool any = false;
        const qsizetype width = f->size();
        while (lines.hasLines() && lines.bytes() != lit.melmaAddress) {
            if (width <= 0 || collected < width) {
                const QString line = lines.text();
                description += line;
                description += QStringLiteral("\r\n");
                collected += cp932::byteLength(line) + 2;
            }
            any = true;
            lines.remove();
        }
        if (any)
            f->setAsString(description);
    }
    return true;
}

bool MailParser::kavBlock(LineBuffer &lines, const Columns &c) {
    const Literals &lit = Literals::get();
    if (lines.bytes() != lit.kavStart)
        return false;
    beginRecord();
    while (lines.bytes() != lit.kavEnd) {
        // Each test sees the line the tests before it left current, so a value
        // that equals a later label is taken as that label.
        for (const KavLabel &label : kavLabels()) {
            if (lines.bytes() != label.bytes)
                continue;
            lines.remove();
            const QString value = lines.text();
            if (label.column == KavColumn::System)
                publishingSystemStep(value, c);
            c.kav(label.column)->setAsString(value);
        }
        if (!lines.hasLines())
            break;
        lines.remove();
    }
    return true;
}

void MailParser::publishingSystemStep(const QString &name, const Columns &c) {
    // The row holds the name as its column stores it, so a long name is
    // compared in that form; otherwise every block would add another row.
    const QString stored = c.sysName->size() > 0 ? cp932::cutToWidth(name, c.sysName->size()) : name;
    int largest = 0;
    m_systems.first();
    while (!m_systems.eof()) {
        if (c.sysName->asString() == stored)
            return;
        largest = qMax(largest, c.sysId->asInteger());
        m_systems.next();
    }
    // New systems never take one of the locked IDs below 10.
    m_systems.append();
    c.sysName->setAsString(name);
    c.sysId->setAsInteger(qMax(10, largest) + 1);
}

void MailParser::returnTo(Bookmark b) {
    if (b != 0 && m_magazines.bookmarkValid(b)) {
        m_magazines.gotoBookmark(b);
    } else if (editing(m_magazines) && m_magazines.modified()) {
        // No stored record to go back to: store what the step changed, as the
        // move would have.
        m_magazines.post();
    }
    if (b != 0)
        m_magazines.freeBookmark(b);
}

void MailParser::verifyRegisteredList(LineBuffer &lines, const Columns &c) {
    const Literals &lit = Literals::get();
    Table &t = m_magazines;

    const Bookmark start = t.bookmark();
    QString address;
    for (LineBuffer::Reader r = lines.reader(); !r.atEnd();) {
        const QByteArray line = r.nextBytes();
        if (bytes::startsWith(line, lit.registered)) {
            // Bytes 32 up to the last, which closes the address.
            address = bytes::textOfRange(line, 31, line.size() - 1);
            break;
        }
    }

    t.first();
    while (!t.eof()) {
        if (c.publishing->asString() == service::MagMag && c.regAddress->asString() == address) {
            t.edit();
            c.state->setAsString(state::Cancelled);
        }
        t.next();
    }
    returnTo(start);

    while (lines.hasLines()) {
        const QByteArray line = lines.bytes();
        if (bytes::byteAt(line, 11) == ':') {
            const std::optional<int> id = wholeNumber(bytes::firstBytes(line, 10));
            if (!id) {
                lines.clear();
                return;
            }
            const QString name = after(line, 11);
            const Bookmark here = t.bookmark();
            bool found = false;
            t.first();
            while (!t.eof()) {
                if (c.id->asInteger() == *id && c.publishing->asString() == service::MagMag) {
                    found = true;
                    break;
                }
                t.next();
            }
            if (found) {
                t.edit();
                c.state->setAsString(state::Subscribed);
            } else {
                t.append();
                c.publishing->setAsString(service::MagMag);
                c.name->setAsString(name);
                c.id->setAsInteger(*id);
                c.regAddress->setAsString(address);
                c.state->setAsString(state::Subscribed);
            }
            returnTo(here);
        }
        lines.remove();
    }
}

} // namespace quil
