// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The commands of quillet-cli as plain functions over the program's own
// tables, parser, mail reader and CSV code. Each opens the two tables when it
// starts and closes them when it ends, prints what it has to say through the
// console and returns the exit status: 0 done, 1 failed (the error is on
// standard error; what was stored before it stays stored).
#include "cli/Console.h"
#include "text/Error.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class TDataModule1;
class TMMagSysDataModule;

namespace quil {
class Table;
}

namespace quil::cli {

// 75 is EX_TEMPFAIL of sysexits.h: another program held the tables for
// longer than the command waits; a mail system keeps the mail and hands it
// over again later.
enum ExitStatus { ExitOk = 0, ExitFailed = 1, ExitUsage = 2, ExitTempFail = 75 };

// The status an error ends a command with.
int exitStatusFor(const Error &e);

// The program's two data modules over the data directory, both tables open
// for shared use, as the window program has them. Opening fails at once with
// the engine's error naming the file when another process holds a table for
// exclusive use. Only one may exist at a time (the modules are global).
class Register {
public:
    Register();
    // Closes what is still open; errors are lost, so call close() first.
    ~Register();
    Register(const Register &) = delete;
    Register &operator=(const Register &) = delete;

    Table &magazines();
    Table &systems();
    // Closes both tables. A record still being inserted or edited is stored
    // when it was changed and dropped otherwise, as the window program does
    // when it ends.
    void close();

private:
    std::unique_ptr<TDataModule1> m_magazines;
    std::unique_ptr<TMMagSysDataModule> m_systems;
};

struct MailImport {
    int messages = 0;   // messages (or plain texts) run through the parser
    int registered = 0; // records begun by the runs that finished, list records included
    int lists = 0;      // of them, records of lists that announce themselves
    QStringList stillComing; // "解除後も配信が続いています: …" lines
};

// import-mail: each message of the sources is run through the parser as if
// it had been pasted into an empty automatic-input window and "取り込み開始"
// clicked. A source is a message file, an mbox (read a message at a time),
// any other regular file (taken as Shift_JIS text), a Maildir folder (each of
// new/ and cur/ it has) or "-" for standard input; no sources reads standard
// input. FIFOs and devices are refused before the tables are opened, and a
// message or text over 64 MB fails. Prints "N件が登録されました". The
// first failure (the parser's error, a message that cannot be decoded, a
// file that cannot be read) stops the import; its error is printed with the
// message's label.
// A source may also be a mailbox on an IMAP server, imaps://USER@HOST[:PORT]/
// MAILBOX or imap://… (STARTTLS): it is read without changing anything there,
// only the messages above the highest UID read before (all again when its
// UIDVALIDITY changed), headers first and whole messages only where the
// parser can use them. Its password comes from `passwordCommand` when given,
// else ~/.netrc, the keyring or a prompt, all asked before the register is
// opened. A server that cannot be reached or goes away gives 75; what was
// stored before stays, and the next run goes on after it.
struct MailOptions {
    QString passwordCommand; // --password-command
};
int importMail(const QStringList &sources, Console &console, MailImport *result = nullptr,
               const MailOptions &options = {});

enum class ListFormat { Tsv, Json };

// list: every record in stored order, all 13 columns in their text forms;
// with `state`, only the records whose "削除状態" is exactly that.
int listRecords(const std::optional<QString> &state, ListFormat format, Console &console);

// One value for a TSV line: backslash, tab, LF and CR as \\, \t, \n, \r.
QString tsvEscaped(const QString &value);

// export-csv: the window's CSV export of the named columns, in that order,
// to a file, without dialogs; all 13 in stored order when none are given. A
// name that is no column is an error before anything is written.
int exportCsvFile(const QString &path, const std::optional<QStringList> &columns, Console &console);

struct UnsubscribeRequest {
    std::optional<QString> listId; // the List-Id id, or the From address of a list without one
    std::optional<QString> name;   // or the record's "メールマガジン名"
    bool dryRun = false;
};
// 3: the list cannot be left by one POST; the page or address to use is printed.
constexpr int ExitNoOneClick = 3;

// unsubscribe: leaves one list record without windows, by one POST where the
// sender allows it (0, the record "解除"); else prints the page or mail
// address to use (3); a failed POST or no such record is 1.
int unsubscribeList(const UnsubscribeRequest &request, Console &console);

// import-csv: the window's CSV import of a file, without dialogs.
int importCsvFile(const QString &path, Console &console);

// import-reg: the values of the program's key in a file the Windows registry
// editor exported, written with their types into the settings file at
// registryFilePath(); prints the count. The register is not opened.
int importRegFile(const QString &path, Console &console);

// import-paradox: the old Windows program's Paradox tables (MMagaInfo.DB,
// MMagaSys.DB) into the register, each into the table its columns name
// whatever the file is called (app/core/ParadoxImport.h). Every file is read
// and told before the register is opened, so that a file that is no such
// table stores nothing of the others. Then they are imported in the order
// given, each whole or not at all, with one count line each:
// "計 N 行のデータを書きこみました。" or "計 N 行の発行システムを追加しました
// （M 行は既にあるため変更していません）。". The first failure stops; the
// files before it stay imported.
int importParadoxFiles(const QStringList &paths, Console &console);

} // namespace quil::cli
