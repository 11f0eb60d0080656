// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Commands.h"

#include "app/core/Csv.h"
#include "app/core/ParadoxImport.h"
#include "autoinput/core/ImapMailbox.h"
#include "autoinput/core/ImapUrl.h"
#include "autoinput/core/DropInput.h"
#include "autoinput/core/ListRegister.h"
#include "autoinput/core/MailParser.h"
#include "autoinput/core/MailReader.h"
#include "cancel/core/ListLeaving.h"
#include "cancel/core/OneClick.h"
#include "cancel/core/Services.h"
#include "cli/Password.h"
#include "platform/DataDirs.h"
#include "platform/RegImport.h"
#include "store/Columns.h"
#include "store/DataModules.h"
#include "store/ImapPositions.h"
#include "store/ListInfo.h"
#include "store/Settings.h"
#include "store/ParadoxTable.h"
#include "store/Table.h"
#include "text/Error.h"
#include "text/DateText.h"
#include "text/TextList.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <functional>
#include <new>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace quil::cli {

int exitStatusFor(const Error &e) {
    return e.kind() == Error::Kind::Busy || e.kind() == Error::Kind::Unavailable ? ExitTempFail : ExitFailed;
}

namespace {

// Runs a command body; an escaping error is printed and turns into the
// failure status, so that nothing reaches the user as a crash.
template <typename Body>
int guarded(Console &console, Body body) {
    try {
        return body();
    } catch (const Error &e) {
        console.error(console.describe(e));
        return exitStatusFor(e);
    } catch (const std::bad_alloc &) {
        console.error(console.tr("メモリが不足しています", "out of memory"));
    } catch (const std::exception &e) {
        console.error(QString::fromUtf8(e.what()));
    } catch (...) {
        console.error(console.tr("予期しないエラーが発生しました", "unexpected error"));
    }
    return ExitFailed;
}

QStringList allColumns() {
    QStringList names;
    for (const FieldDef &f : TDataModule1::schema())
        names << f.name;
    return names;
}

// --- import-mail -----------------------------------------------------------

// A message's failure: its label and the error.
struct MessageFailure {
    QString label;
    QString message;
    Error::Kind kind = Error::Kind::General;
};

struct MailSource {
    enum Kind { StandardInput, File, Maildir, Imap } kind;
    QString path;
    QStringList files = {};     // a Maildir's messages, listed when it was checked
    imap::MailboxUrl url = {};  // an IMAP mailbox
    QString password = {};      // its password, found before the tables are opened
};

// The sources as given, each checked before the tables are opened, so that a
// mistyped name stores nothing and nothing waits with the tables open.
QList<MailSource> mailSources(const QStringList &args, Console &console) {
    QList<MailSource> sources;
    if (args.isEmpty())
        sources.append(MailSource{MailSource::StandardInput, QString(), {}});
    for (const QString &arg : args) {
        if (arg == QLatin1String("-")) {
            sources.append(MailSource{MailSource::StandardInput, QString(), {}});
            continue;
        }
        if (imap::looksLikeUrl(arg)) {
            MailSource box{MailSource::Imap, arg, {}};
            box.url = imap::parseUrl(arg);
            sources.append(box);
            continue;
        }
        struct stat info;
        if (::stat(QFile::encodeName(arg).constData(), &info) != 0) {
            const int err = errno;
            throw Error(console.tr("ファイル '%1' を開けません", "cannot open file '%1'").arg(arg), Error::Kind::General,
                        err);
        }
        if (S_ISDIR(info.st_mode)) {
            if (!mail::isMaildir(arg))
                throw Error(console.tr("フォルダ '%1' は Maildir ではありません (new/ も cur/ もありません)",
                                       "folder '%1' is no Maildir (it has neither new/ nor cur/)")
                                .arg(arg));
            sources.append(MailSource{MailSource::Maildir, arg, mail::maildirFiles(arg)});
        } else if (S_ISREG(info.st_mode)) {
            sources.append(MailSource{MailSource::File, arg, {}});
        } else {
            // A FIFO would wait for a writer, a device may never end.
            throw Error(console.tr("'%1' は通常のファイルでもフォルダでもないので読めません (FIFO や装置は標準入力から"
                                   "読ませてください)",
                                   "'%1' is neither a regular file nor a folder (give a FIFO or a device as standard "
                                   "input)")
                            .arg(arg));
        }
    }
    return sources;
}

// Standard input read as it comes, a piece at a time; before a read that
// would wait, beforeWait is called.
class StandardInput : public QIODevice {
public:
    explicit StandardInput(std::function<void()> beforeWait) : m_beforeWait(std::move(beforeWait)) {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }
    // A failure of beforeWait does not pass through Qt's read: it comes out here.
    void rethrowFailure() {
        if (m_failure)
            std::rethrow_exception(std::exchange(m_failure, nullptr));
    }

protected:
    qint64 readData(char *data, qint64 max) override {
        pollfd ready{STDIN_FILENO, POLLIN, 0};
        if (::poll(&ready, 1, 0) == 0 && m_beforeWait) {
            try {
                m_beforeWait();
            } catch (...) {
                m_failure = std::current_exception();
                return -1;
            }
        }
        ssize_t n;
        do {
            n = ::read(STDIN_FILENO, data, size_t(max));
        } while (n < 0 && errno == EINTR);
        return n < 0 ? -1 : qint64(n);
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    std::function<void()> m_beforeWait;
    std::exception_ptr m_failure;
};

// A file that is no mail, as the window takes a dropped text file: Shift_JIS
// line by line, up to a NUL.
QString droppedText(const QByteArray &bytes) { return drop::joinLines(drop::splitBytes(bytes)); }

// A message's text as the window holds it after a paste: the text ends at a
// NUL, as clipboard text does.
QString pastedText(const QString &text) {
    const qsizetype nul = text.indexOf(QChar(0));
    return nul < 0 ? text : text.left(nul);
}

// Messages are stored in transactions of a fraction of a second each: one
// per message would pay a disk flush per message, one for the whole import
// would keep the window program from storing until it ends. A failure ends
// the transaction too, so what was stored before it stays.
class Batches {
public:
    // `beforeCommit` runs inside each batch before it is committed, so what
    // is kept for the end of a batch is stored with it.
    Batches(Table &t, std::function<void()> beforeCommit) : m_table(t), m_beforeCommit(std::move(beforeCommit)) {}
    // Before each message: a batch old enough is committed and the next begun.
    void tick() {
        if (m_walk && m_age.elapsed() < 200)
            return;
        end();
        m_walk.emplace(m_table);
        m_age.start();
    }
    // Commits the batch; a failed commit is thrown, its messages not stored.
    void end() {
        if (!m_walk)
            return;
        try {
            if (m_beforeCommit)
                m_beforeCommit();
            m_walk->end();
        } catch (...) {
            m_walk.reset();
            throw;
        }
        m_walk.reset();
    }

private:
    Table &m_table;
    std::function<void()> m_beforeCommit;
    std::optional<Table::Walk> m_walk;
    QElapsedTimer m_age;
};

// The message's label, with its subject when it has one: the reader finds
// the message in the mail program by it.
QString named(const mail::MailText &m) {
    if (m.subject.isEmpty())
        return m.label;
    return m.label + QStringLiteral(" (") + mail::echoed(m.subject) + u')';
}

class MailImporter {
public:
    // What the messages changed in known lists is stored with each batch,
    // so that a batch and the mailbox position after it hold together.
    MailImporter(Register &reg, Console &console)
        : m_reg(reg), m_console(console), m_batches(reg.magazines(),
                                                    [this] {
                                                        if (m_lists.pending())
                                                            m_lists.flush();
                                                    }),
          m_lists(reg.magazines(), textlist::readFileIfExists(QStringLiteral("MADDRESS.ini"))) {}

    void importSource(const MailSource &source) {
        switch (source.kind) {
        case MailSource::StandardInput: {
            // What was stored is committed before the pipe is waited on,
            // so the window program can store meanwhile.
            StandardInput in([this] { m_batches.end(); });
            try {
                importStream(in, m_console.tr("標準入力", "standard input"));
            } catch (...) {
                in.rethrowFailure();
                throw;
            }
            break;
        }
        case MailSource::File:
            importStream(*mail::openRegularFile(source.path), source.path);
            break;
        case MailSource::Maildir:
            for (const QString &file : source.files)
                importStream(*mail::openRegularFile(file), file);
            break;
        case MailSource::Imap:
            importMailbox(source);
            break;
        }
    }
    void end() {
        if (m_lists.pending())
            m_batches.tick();
        m_batches.end();
    }
    const MailImport &done() const { return m_done; }

private:
    // Message by message as they are read, so an mbox is never held whole.
    void importStream(QIODevice &in, const QString &label) {
        mail::MailReader reader(in, label);
        if (reader.kind() == mail::FileKind::Other) {
            mail::MailText plain;
            plain.label = label;
            plain.text = droppedText(reader.text());
            importText(plain);
            return;
        }
        mail::MailText m;
        while (reader.next(m)) {
            m.text = pastedText(m.text);
            importText(m);
        }
    }

    // A mailbox on a server: fetched a range at a time with no transaction
    // open, then each range stored in one batch with the position after it.
    void importMailbox(const MailSource &source) {
        m_batches.end();
        const imap::MailboxUrl &url = source.url;
        imap::Mailbox box(url, source.password);
        ImapPositions positions(m_reg.magazines());
        const QString server = url.positionKey();
        const std::optional<ImapPosition> stored = positions.find(server, url.user, url.mailbox);
        ImapPosition at{box.uidValidity(), 0};
        if (stored && stored->uidValidity == box.uidValidity())
            at.lastUid = stored->lastUid;
        // Nothing new, as the server said when the mailbox was opened.
        if (stored && stored->uidValidity == box.uidValidity() && box.uidNext() != 0
            && box.uidNext() <= at.lastUid + 1)
            return;
        const QList<imap::MessageSize> waiting =
            box.messageCount() == 0 ? QList<imap::MessageSize>() : box.messagesAbove(at.lastUid);
        if (waiting.isEmpty() && (!stored || stored->uidValidity != box.uidValidity())) {
            // An empty or renewed mailbox: its UIDVALIDITY is kept all the same.
            m_batches.tick();
            positions.save(server, url.user, url.mailbox, at);
            m_batches.end();
            return;
        }
        qsizetype next = 0;
        while (next < waiting.size()) {
            // A range: up to kRangeMessages messages, no more bytes than
            // kRangeBytes unless one message alone is larger.
            QList<quint32> range;
            qint64 bytes = 0;
            while (next < waiting.size() && range.size() < kRangeMessages
                   && (range.isEmpty() || bytes + waiting[next].size <= kRangeBytes)) {
                bytes += waiting[next].size;
                range.append(waiting[next++].uid);
            }
            QMap<quint32, mail::MailText> heads;
            box.fetchHeaders(range, [&](quint32 uid, const QByteArray &header) {
                const QList<mail::MailText> read = mail::readMessages(header, labelOf(url, uid));
                mail::MailText m = read.isEmpty() ? mail::MailText{} : read.first();
                m.label = labelOf(url, uid);
                heads.insert(uid, m);
            });
            QList<quint32> whole;
            QHash<quint32, quint32> sizes;
            for (const imap::MessageSize &w : waiting.mid(next - range.size(), range.size()))
                sizes.insert(w.uid, w.size);
            for (quint32 uid : range) {
                const auto it = heads.constFind(uid);
                if (it == heads.constEnd() || needsWholeMessage(it->list))
                    if (sizes.value(uid) <= mail::MaxMessageBytes)
                        whole.append(uid);
            }
            QHash<quint32, mail::MailText> bodies;
            box.fetchMessages(whole, [&](quint32 uid, const QByteArray &message) {
                const QList<mail::MailText> read = mail::readMessages(message, labelOf(url, uid));
                mail::MailText m;
                if (read.isEmpty()) {
                    // No header block the reader knows: a text, as a file
                    // that is no mail is taken.
                    m.text = droppedText(message);
                } else {
                    m = read.first();
                    m.text = pastedText(m.text);
                }
                m.label = labelOf(url, uid);
                bodies.insert(uid, m);
            });
            // The range is stored in one batch, each message with the
            // position after it.
            m_batches.end();
            for (quint32 uid : range) {
                if (const auto b = bodies.constFind(uid); b != bodies.constEnd()) {
                    importText(*b);
                } else if (const auto h = heads.constFind(uid); h != heads.constEnd() && !needsWholeMessage(h->list)) {
                    importListHeaders(*h);
                } else if (sizes.value(uid) > mail::MaxMessageBytes) {
                    throw MessageFailure{labelOf(url, uid),
                                         m_console.translated(QStringLiteral("メールが大きすぎます (%1 を超えています)")
                                                                  .arg(QStringLiteral("64 MB")))};
                } else {
                    // Gone between the listing and the fetch (expunged by
                    // another client): nothing to read.
                }
                at.lastUid = uid;
                positions.save(server, url.user, url.mailbox, at);
            }
            m_batches.end();
        }
    }

    static constexpr qsizetype kRangeMessages = 500;
    static constexpr qint64 kRangeBytes = qint64(16) * 1024 * 1024;

    static QString labelOf(const imap::MailboxUrl &url, quint32 uid) {
        return url.display() + QStringLiteral(";UID=") + QString::number(uid);
    }

    // A list's mail needs no more than its headers, unless a publishing
    // service the parser knows sent it.
    static bool needsWholeMessage(const mail::ListHeaders &h) {
        return !h.isList() || serviceSending(h.from.address) != nullptr;
    }

    // A message of a list, registered from its headers alone.
    void importListHeaders(const mail::MailText &m) {
        try {
            m_batches.tick();
            Table::Part part(m_reg.magazines());
            m_lists.take(m.list, 0);
            part.keep();
        } catch (const Error &e) {
            throw MessageFailure{named(m), m_console.describe(e), e.kind()};
        }
        ++m_done.messages;
        m_done.lists = m_lists.added();
        m_done.registered = m_registeredByParser + m_done.lists;
        showProgress();
    }

    void showProgress() {
        m_console.progress(m_done.messages,
                           m_console.tr("%1 通を読み、%2 件を登録しました", "%1 messages read, %2 records registered")
                               .arg(m_done.messages)
                               .arg(m_done.registered));
    }

    void importText(const mail::MailText &m) {
        if (!m.error.isEmpty())
            throw MessageFailure{named(m), m_console.translated(m.error)};
        QString text = m.text;
        MailParser parser(m_reg.magazines(), m_reg.systems());
        try {
            m_batches.tick();
            // A message is registered whole or not at all, so that the mail
            // system may hand it over again.
            Table::Part part(m_reg.magazines());
            parser.run(text, false);
            // A confirmation mail's list headers go to the record it made.
            const Bookmark made = parser.registeredCount() > 0 ? m_reg.magazines().bookmark() : 0;
            m_lists.take(m.list, made);
            part.keep();
        } catch (const Error &e) {
            throw MessageFailure{named(m), m_console.describe(e), e.kind()};
        }
        ++m_done.messages;
        m_registeredByParser += parser.registeredCount();
        m_done.lists = m_lists.added();
        m_done.registered = m_registeredByParser + m_done.lists;
        showProgress();
    }

public:
    const QList<StillComing> stillComing() const { return m_lists.stillComing(); }

private:
    Register &m_reg;
    Console &m_console;
    Batches m_batches;
    ListRegister m_lists;
    int m_registeredByParser = 0;
    MailImport m_done;
};

// --- list ------------------------------------------------------------------

// Characters that standard output's encoding cannot hold are written as
// JSON escapes of their UTF-16 units, so that the data comes through whole.
void appendJsonString(QString &out, const QString &s, Console &console) {
    out += u'"';
    const bool held = console.outputHolds(s);
    for (const QChar c : s) {
        switch (c.unicode()) {
        case u'"': out += QLatin1String("\\\""); break;
        case u'\\': out += QLatin1String("\\\\"); break;
        case u'\n': out += QLatin1String("\\n"); break;
        case u'\r': out += QLatin1String("\\r"); break;
        case u'\t': out += QLatin1String("\\t"); break;
        case u'\b': out += QLatin1String("\\b"); break;
        case u'\f': out += QLatin1String("\\f"); break;
        default:
            if (c.unicode() < 0x20 || (!held && !console.outputHolds(QStringView(&c, 1))))
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    out += u'"';
}

// The ways to leave a record, as "unsubscribe": {…}.
void appendUnsubscribe(QString &s, const ListInfo &info, Console &console) {
    auto text = [&](const QString &value) {
        if (value.isEmpty())
            s += QLatin1String("null");
        else
            appendJsonString(s, value, console);
    };
    auto time = [&](const QDateTime &t) { text(t.isValid() ? datetext::display(t) : QString()); };
    s += QLatin1String(", \"unsubscribe\": {\"list_id\": ");
    text(info.listId);
    s += QLatin1String(", \"one_click\": ");
    text(info.oneClick);
    s += QLatin1String(", \"web\": ");
    text(info.web);
    s += QLatin1String(", \"mailto\": ");
    text(info.mailto);
    s += QLatin1String(", \"last_seen\": ");
    time(info.lastSeen);
    s += QLatin1String(", \"left\": ");
    time(info.leftAt);
    s += u'}';
}

// Output in pieces, so a large register is not held twice as text.
class Chunks {
public:
    explicit Chunks(Console &console) : m_console(console) {}
    QString &text() { return m_text; }
    // False once the output has failed: the rest need not be made.
    bool maybeFlush() { return m_text.size() < 1 << 16 || flush(); }
    bool flush() {
        const bool written = m_console.write(m_text);
        m_text.clear();
        return written;
    }

private:
    Console &m_console;
    QString m_text;
};

} // namespace

// --- Register ----------------------------------------------------------------

Register::Register() {
    // Missing tables are made first, so that a failure to make them is
    // reported once, here, and not by each module's creation.
    ensureTables(dataDirectory());
    m_magazines = std::make_unique<TDataModule1>();
    m_systems = std::make_unique<TMMagSysDataModule>();
    m_systems->Table2->open();
    m_magazines->Table1->open();
}

Register::~Register() {
    // The modules close their tables themselves, swallowing errors; the
    // publishing-system module goes first, as in the window program.
    m_systems.reset();
    m_magazines.reset();
}

Table &Register::magazines() { return *m_magazines->Table1; }
Table &Register::systems() { return *m_systems->Table2; }

void Register::close() {
    // Both are closed even when the first fails; the first error is reported.
    std::optional<Error> first;
    for (Table *t : {m_magazines->Table1, m_systems->Table2}) {
        try {
            t->close();
        } catch (const Error &e) {
            if (!first)
                first = e;
        }
    }
    if (first)
        throw *first;
}

// --- commands ----------------------------------------------------------------

int importMail(const QStringList &sourceArgs, Console &console, MailImport *result, const MailOptions &options) {
    return guarded(console, [&] {
        QList<MailSource> sources = mailSources(sourceArgs, console);
        // Every password is found before the register is opened: a prompt
        // waits for the reader.
        for (MailSource &source : sources) {
            if (source.kind == MailSource::Imap)
                source.password =
                    findPassword(PasswordQuery{source.url.host, source.url.user, options.passwordCommand}, console);
        }
        Register reg;
        MailImporter importer(reg, console);
        int status = ExitOk;
        try {
            Console::QuietNotices quiet(console);
            for (const MailSource &source : sources)
                importer.importSource(source);
            importer.end();
        } catch (const MessageFailure &f) {
            console.error(f.label + QStringLiteral(": ") + f.message);
            status = f.kind == Error::Kind::Busy ? ExitTempFail : ExitFailed;
        } catch (const Error &e) {
            console.error(console.describe(e));
            status = exitStatusFor(e);
        }
        // The batch is committed by now, also after a failure: its records stay.
        importer.end();
        reg.close();
        if (result) {
            *result = importer.done();
            for (const StillComing &s : importer.stillComing())
                result->stillComing << ListRegister::stillComingLine(s);
        }
        if (status == ExitOk) {
            QString line = QString::number(importer.done().registered) + QStringLiteral("件が登録されました");
            if (importer.done().lists > 0)
                line += QStringLiteral("（うちメーリングリスト %1件）").arg(importer.done().lists);
            console.print(line);
        }
        for (const StillComing &s : importer.stillComing())
            console.print(ListRegister::stillComingLine(s));
        return status;
    });
}

QString tsvEscaped(const QString &value) {
    QString out;
    out.reserve(value.size());
    for (const QChar c : value) {
        switch (c.unicode()) {
        case u'\\': out += QLatin1String("\\\\"); break;
        case u'\t': out += QLatin1String("\\t"); break;
        case u'\n': out += QLatin1String("\\n"); break;
        case u'\r': out += QLatin1String("\\r"); break;
        default: out += c;
        }
    }
    return out;
}

int listRecords(const std::optional<QString> &state, ListFormat format, Console &console) {
    return guarded(console, [&] {
        std::vector<QString> names;
        std::vector<QStringList> columns; // the text forms, one list per column
        QList<Bookmark> rows;
        QHash<qint64, ListInfo> lists;
        {
            Register reg;
            Table &t = reg.magazines();
            {
                // The columns read from one view of the file.
                Table::Walk snapshot(t, Table::Walk::Kind::Reading);
                for (int i = 0; i < t.fieldCount(); ++i) {
                    names.push_back(t.field(i).fieldName());
                    columns.push_back(t.columnTexts(names.back()));
                }
                if (format == ListFormat::Json) {
                    rows = t.bookmarks();
                    lists = ListInfos(t).all();
                }
                snapshot.end();
            }
            // Closed before printing: a slow reader of the output does not
            // keep the tables open.
            reg.close();
        }
        // The state is compared in its text form, so an empty state finds
        // the records that have none.
        const size_t stateColumn = size_t(std::find(names.begin(), names.end(), col::DeleteState) - names.begin());
        const qsizetype records = columns.empty() ? 0 : columns.front().size();
        std::vector<QVector<QString>> texts;
        std::vector<const ListInfo *> listOf; // beside texts, for JSON
        texts.reserve(size_t(records));
        for (qsizetype r = 0; r < records; ++r) {
            if (state && columns[stateColumn][r] != *state)
                continue;
            QVector<QString> line(qsizetype(columns.size()));
            for (size_t c = 0; c < columns.size(); ++c)
                line[qsizetype(c)] = columns[c][r];
            texts.push_back(std::move(line));
            const auto it = r < rows.size() ? lists.constFind(rows[r]) : lists.constEnd();
            listOf.push_back(it != lists.constEnd() && it->hasWayToLeave() ? &*it : nullptr);
        }
        columns.clear();

        Chunks out(console);
        QString &s = out.text();
        if (format == ListFormat::Tsv) {
            for (size_t i = 0; i < names.size(); ++i) {
                if (i)
                    s += u'\t';
                s += tsvEscaped(names[i]);
            }
            s += u'\n';
            for (const QVector<QString> &line : texts) {
                for (qsizetype i = 0; i < line.size(); ++i) {
                    if (i)
                        s += u'\t';
                    s += tsvEscaped(line[i]);
                }
                s += u'\n';
                if (!out.maybeFlush())
                    return int(ExitFailed); // Console::finish tells why
            }
        } else {
            s += u'[';
            bool firstRecord = true;
            for (size_t r = 0; r < texts.size(); ++r) {
                const QVector<QString> &line = texts[r];
                s += firstRecord ? QLatin1String("\n  {") : QLatin1String(",\n  {");
                firstRecord = false;
                for (qsizetype i = 0; i < line.size(); ++i) {
                    if (i)
                        s += QLatin1String(", ");
                    appendJsonString(s, names[size_t(i)], console);
                    s += QLatin1String(": ");
                    appendJsonString(s, line[i], console);
                }
                if (const ListInfo *info = listOf[r])
                    appendUnsubscribe(s, *info, console);
                s += u'}';
                if (!out.maybeFlush())
                    return int(ExitFailed);
            }
            s += texts.empty() ? QLatin1String("]\n") : QLatin1String("\n]\n");
        }
        return int(out.flush() ? ExitOk : ExitFailed);
    });
}

int exportCsvFile(const QString &path, const std::optional<QStringList> &columns, Console &console) {
    return guarded(console, [&] {
        const QStringList all = allColumns();
        const QStringList chosen = columns ? *columns : all;
        for (const QString &name : chosen)
            if (!all.contains(name))
                throw Error(console.tr("項目 '%1' はありません。項目名: %2", "there is no column '%1'; the columns are: %2")
                                .arg(name, all.join(u',')));
        Register reg;
        const int count = exportCsv(reg.magazines(), chosen, path);
        reg.close();
        console.print(exportDoneNotice(count).text);
        return int(ExitOk);
    });
}

int unsubscribeList(const UnsubscribeRequest &request, Console &console) {
    return guarded(console, [&] {
        Register reg;
        Table &t = reg.magazines();
        std::optional<ListLeavePlan> plan;
        if (request.listId) {
            const QHash<qint64, ListInfo> lists = ListInfos(t).all();
            for (const Bookmark row : t.bookmarks())
                if (const auto it = lists.constFind(row); it != lists.constEnd() && it->listId == *request.listId)
                    if ((plan = listLeavePlan(t, row)))
                        break;
        } else {
            const QList<Bookmark> rows = t.bookmarks();
            const QStringList names = t.columnTexts(col::MBName);
            for (qsizetype i = 0; i < names.size() && !plan; ++i)
                if (names[i] == *request.name)
                    plan = listLeavePlan(t, rows[i]);
        }
        if (!plan || plan->info.row == 0)
            throw Error(console.tr("そのメーリングリストは登録されていません: %1",
                                   "no list of that name is registered: %1")
                            .arg(request.listId.value_or(request.name.value_or(QString()))));
        switch (plan->way) {
        case ListLeavePlan::Way::OneClick: {
            OneClick post(plan->uri);
            if (request.dryRun) {
                console.print(post.describe());
                reg.close();
                return int(ExitOk);
            }
            const OneClickResult result = post.run();
            if (!result.ok) {
                console.error(result.message);
                reg.close();
                return int(ExitFailed);
            }
            recordLeaving(t, *plan, QStringLiteral("one-click"), result.message);
            reg.close();
            console.print(result.message);
            return int(ExitOk);
        }
        case ListLeavePlan::Way::Web:
        case ListLeavePlan::Way::Mailto:
            console.print(console.tr("「%1」は一回の送信では解除できません。次で解除してください: %2",
                                     "\"%1\" cannot be left by one POST; leave it here: %2")
                              .arg(plan->name, plan->uri));
            reg.close();
            return int(ExitNoOneClick);
        case ListLeavePlan::Way::Nothing:
            break;
        }
        throw Error(console.tr("「%1」には解除の方法がありません", "\"%1\" offers no way to leave it").arg(plan->name));
    });
}

int importCsvFile(const QString &path, Console &console) {
    return guarded(console, [&] {
        Register reg;
        Table &t = reg.magazines();
        // The import begins one record per data line; counting them is the
        // progress.
        struct Counting {
            Table &table;
            std::function<void(Table &)> previous = table.onNewRecord;
            ~Counting() { table.onNewRecord = previous; }
        } counting{t};
        int begun = 0;
        t.onNewRecord = [&](Table &table) {
            if (counting.previous)
                counting.previous(table);
            ++begun;
            console.progress(begun, console.tr("%1 行を読みこみました", "%1 lines read").arg(begun));
        };
        int count = 0;
        try {
            count = importCsv(t, path);
        } catch (const Error &e) {
            console.error(console.describe(e));
            // The record begun for the failing line keeps what was set and is
            // stored when the table closes, as in the window program.
            reg.close();
            // A register held by another program is worth trying again, as
            // for import-mail.
            return exitStatusFor(e);
        }
        reg.close();
        console.print(importDoneNotice(count).text);
        return int(ExitOk);
    });
}

int importRegFile(const QString &path, Console &console) {
    return guarded(console, [&] {
        RegistryFile settings(registryFilePath());
        console.print(importRegExport(path, SettingsFileKey, settings).message());
        return int(ExitOk);
    });
}

int importParadoxFiles(const QStringList &paths, Console &console) {
    return guarded(console, [&] {
        std::vector<std::unique_ptr<ParadoxTable>> files;
        for (const QString &path : paths) {
            auto file = std::make_unique<ParadoxTable>(path);
            if (paradoxTableKind(*file) == ParadoxTableKind::Neither)
                throw neitherParadoxTableError(path);
            files.push_back(std::move(file));
        }
        Register reg;
        // Records begun in either table are the progress.
        int begun = 0;
        struct Counting {
            Table &table;
            std::function<void(Table &)> previous = table.onNewRecord;
            ~Counting() { table.onNewRecord = previous; }
        } magazines{reg.magazines()}, systems{reg.systems()};
        for (Counting *c : {&magazines, &systems}) {
            c->table.onNewRecord = [&, c](Table &table) {
                if (c->previous)
                    c->previous(table);
                ++begun;
                console.progress(begun, console.tr("%1 件を読みこみました", "%1 records read").arg(begun));
            };
        }
        int status = ExitOk;
        try {
            for (const std::unique_ptr<ParadoxTable> &file : files) {
                console.print(importParadox(reg.magazines(), reg.systems(), *file).notice.text);
            }
        } catch (const Error &e) {
            console.error(console.describe(e));
            status = exitStatusFor(e);
        }
        reg.close();
        return status;
    });
}

} // namespace quil::cli
