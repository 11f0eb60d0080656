// SPDX-License-Identifier: GPL-3.0-or-later
#include "cancel/core/CancelPage.h"

#include "cancel/core/CancelAddress.h"
#include "cancel/core/Services.h"
#include "store/Columns.h"
#include "store/ListInfo.h"
#include "store/Table.h"
#include "text/Cp932.h"
#include "text/TextList.h"

namespace quil {
namespace {

const QString kTab = QStringLiteral("\t");
const QString kTabs = QStringLiteral("\t\t");

QStringList head() {
    return {
        QStringLiteral("<html>"),
        QString(),
        QStringLiteral("<head>"),
        QStringLiteral("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=x-sjis\">"),
        QStringLiteral("<title>メールマガジン名</title>"),
        QStringLiteral("</head>"),
        QString(),
        QStringLiteral("<body bgcolor=\"#FFFFFF\">"),
        QStringLiteral("<BR> <BR>"),
        QStringLiteral("<div align=\"center\"><center>"),
        QString(),
        QStringLiteral("<table border=\"1\">"),
        kTab + QStringLiteral("<tr>"),
        kTabs + QStringLiteral("<td><p align=\"center\">メールマガジン名</p>"),
        kTabs + QStringLiteral("</td>"),
        kTabs + QStringLiteral("<td>メールマガジンＩＤ</td>"),
        kTabs + QStringLiteral("<td><p align=\"center\">登録メールアドレス</p>"),
        kTabs + QStringLiteral("</td>"),
        kTabs + QStringLiteral("<td>　解　除　</td>"),
        kTab + QStringLiteral("</tr>"),
        QString(),
    };
}

QStringList tail() {
    return {QStringLiteral("</table>"), QStringLiteral("</center></div>"), QStringLiteral("</body>"),
            QStringLiteral("</html>")};
}

// The ten lines of one candidate. `list`: the ways to leave of a list that
// announces itself.
void addBlock(QStringList &out, const QString &publishing, const QString &name, const QString &id,
              const QString &address, const Hosts &hosts, const ListInfo *list) {
    QString form, hidden, idCell, addressCell;
    QString submit = kTabs + QStringLiteral("<td><input type=\"submit\" value=\"　解　除　\"></td>");
    QString formEnd = kTab + QStringLiteral("</form>");
    const Service *service = serviceNamed(publishing);
    const PageBlock block = service ? service->page : PageBlock::None;
    if (block == PageBlock::List) {
        idCell = kTabs + QStringLiteral("<td>%1</td>").arg(htmlEscape(list ? list->listId : QString()));
        addressCell = kTabs + QStringLiteral("<td>%1</td>").arg(htmlEscape(address));
        if (list && !list->oneClick.isEmpty()) {
            // What a mail program's one-click sends (RFC 8058): the body
            // "List-Unsubscribe=One-Click".
            form = QStringLiteral("<form method=\"post\" action=\"%1\">").arg(htmlEscape(list->oneClick));
            hidden = kTab + QStringLiteral("<input type=\"hidden\" name=\"List-Unsubscribe\" value=\"One-Click\">");
        } else {
            const QString link = list ? (!list->web.isEmpty() ? list->web : list->mailto) : QString();
            submit = link.isEmpty() ? kTabs + QStringLiteral("<td></td>")
                                    : kTabs + QStringLiteral("<td><a href=\"%1\">　解　除　</a></td>").arg(htmlEscape(link));
            formEnd.clear();
        }
    } else if (block == PageBlock::MagMag) {
        form = QStringLiteral("<form action=\"%1\" method=\"POST\">")
                   .arg(htmlEscape(QStringLiteral("http://%1/mag2/scripts/magrddel.dll").arg(hosts.mag2Cancel)));
        hidden = kTab + QStringLiteral("<input type=\"hidden\" name=\"MfcISAPICommand\" value=\"MagRdDel\">");
        idCell = kTab
                 + QStringLiteral("<td><input type=\"text\" size=\"15\" maxlength=\"10\" name=\"magid\" value=\"%1\"></td>")
                       .arg(htmlEscape(fillDigits(id, 10)));
        addressCell = kTabs
                      + QStringLiteral("<td><input type=\"text\" size=\"35\" name=\"rdemail\" value=\"%1\"></td>")
                            .arg(htmlEscape(address));
    } else if (block == PageBlock::Pubzine) {
        form = QStringLiteral("<FORM method=\"post\" action=\"%1\">")
                   .arg(htmlEscape(QStringLiteral("http://%1/listdel.asp").arg(hosts.pubzine)));
        hidden = QStringLiteral("<INPUT type=\"hidden\" name=\"id\" value=\"%1\">").arg(htmlEscape(id));
        idCell = kTabs + QStringLiteral("<td>%1</td>").arg(htmlEscape(id));
        addressCell = kTabs
                      + QStringLiteral("<td><INPUT type=\"text\" name=\"email\" size=\"35\" maxlength=\"255\" "
                                       "value=\"%1\"><BR></td>")
                            .arg(htmlEscape(address));
    } else if (block == PageBlock::Clickincome) {
        form = QStringLiteral("<FORM action=%1 method=post>")
                   .arg(unquotedAttribute(QStringLiteral("http://%1/md/mailregi").arg(hosts.clickincome)));
        hidden = QStringLiteral("<INPUT name=mailmag type=hidden value=del>");
        idCell = kTabs
                 + QStringLiteral("<td><INPUT maxLength=9 name=magid size=15 type=input value=%1 ></td>")
                       .arg(unquotedAttribute(QStringLiteral("m") + fillDigits(id, 8)));
        addressCell =
            kTabs + QStringLiteral("<td><INPUT name=email size=35 value=%1 ></td>").arg(unquotedAttribute(address));
    }
    out << form << QStringLiteral("    <tr>") << hidden << kTabs + QStringLiteral("<td>%1</td>").arg(htmlEscape(name))
        << idCell << addressCell << submit << kTab + QStringLiteral("</tr>") << formEnd << QString();
}

} // namespace

QString htmlEscape(const QString &text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        switch (c.unicode()) {
        case u'&': out += QLatin1String("&amp;"); break;
        case u'<': out += QLatin1String("&lt;"); break;
        case u'>': out += QLatin1String("&gt;"); break;
        case u'"': out += QLatin1String("&quot;"); break;
        case u'\'': out += QLatin1String("&#39;"); break;
        default: out += c;
        }
    }
    return out;
}

QString unquotedAttribute(const QString &text) {
    for (QChar c : text) {
        switch (c.unicode()) {
        case u'&': case u'<': case u'>': case u'"': case u'\'':
        case u' ': case u'\t': case u'\n': case u'\r': case u'\f': case u'=': case u'`':
            return u'"' + htmlEscape(text) + u'"';
        default: break;
        }
    }
    return text;
}

QByteArray encodePage(const QStringList &lines) {
    QByteArray out;
    for (const QString &line : lines) {
        QByteArray bytes = cp932::encode(line);
        // Only unencodable characters add question marks ("?" is never the
        // second byte of a double-byte character).
        if (bytes.count('?') != line.count(u'?')) {
            bytes.clear();
            const QList<uint> points = line.toUcs4();
            for (uint cp : points) {
                const QString one = QString::fromUcs4(reinterpret_cast<const char32_t *>(&cp), 1);
                const QByteArray b = cp932::encode(one);
                if (b == "?" && cp != u'?')
                    bytes += "&#x" + QByteArray::number(cp, 16).toUpper() + ';';
                else
                    bytes += b;
            }
        }
        out += bytes;
        out += "\r\n";
    }
    return out;
}

QStringList cancelPageLines(Table &t, const Hosts &hosts) {
    // The walk begins as a move does: a pending change is stored, so the page
    // sees it, and a new record nobody typed into is dropped, never stored
    // blank. The cursor comes back to the record either way.
    t.checkBrowseMode();
    const Bookmark mark = t.bookmark();
    const int publishing = t.fieldByName(col::Publishing).index();
    const int name = t.fieldByName(col::MBName).index();
    const int id = t.fieldByName(col::MBID).index();
    const int address = t.fieldByName(col::RegAddress).index();
    QStringList out = head();
    QList<Bookmark> rows;
    const auto candidates = t.recordsWhere(col::DeleteState, state::CancelCandidate, &rows);
    const QHash<qint64, ListInfo> lists = ListInfos(t).all();
    out.reserve(out.size() + candidates.size() * 10 + 4);
    for (qsizetype i = 0; i < candidates.size(); ++i) {
        const QVector<QVariant> &r = candidates[i];
        const auto list = lists.constFind(rows[i]);
        addBlock(out, t.textOf(publishing, r[publishing]), t.textOf(name, r[name]), t.textOf(id, r[id]),
                 t.textOf(address, r[address]), hosts, list != lists.constEnd() ? &*list : nullptr);
    }
    out << tail();
    if (t.bookmarkValid(mark))
        t.gotoBookmark(mark);
    else
        t.first(); // the empty register: its handlers begin the fresh record again
    return out;
}

int writeCancelPage(Table &t, const Hosts &hosts, const QString &path) {
    const QStringList lines = cancelPageLines(t, hosts);
    textlist::writeBytes(path, encodePage(lines));
    return int((lines.size() - 25) / 10);
}

} // namespace quil
