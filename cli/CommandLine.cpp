// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CommandLine.h"

#include "cli/Commands.h"
#include "store/DataModules.h"
#include "store/Settings.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QRegularExpression>

namespace quil::cli {
namespace {

const char *const HelpJa = R"(使い方: quillet-cli コマンド [オプション] [引数...]

Quillet のメールマガジン登録データベースを、ウィンドウなしで扱います。
データベースは Quillet 本体と同じもの ($XDG_DATA_HOME/quillet、既定は
~/.local/share/quillet) で、両方のプログラムを同時に使えます。

コマンド:
  import-mail [--password-command コマンド] [ファイル|フォルダ|URL]...
      確認メールを取り込みます。メール 1 通ごとに、空の自動入力ウィンドウへ
      貼り付けて「取り込み開始」を押したのと同じレコードが登録されます。
      引数がないとき、また "-" のときは標準入力を読みます。ファイルは
      メール 1 通 (.eml)、mbox、そのどちらでもなければ Shift_JIS のテキスト
      として読みます。FIFO や装置はファイルとしては読まず、標準入力として
      だけ読みます。フォルダは Maildir (new/ か cur/、またはその両方がある
      フォルダ) で、そのメールをすべて読みます (メールを移したり変えたりは
      しません)。読めない new/ や cur/ はエラーです。mbox は 1 通ずつ読むので
      大きさに限りはありませんが、メール 1 通とテキストは 64 MB までです。
      終わると「N件が登録されました」と表示します。
      失敗したメールがあるとそこで止まり、エラーとそのメールのファイル名を
      標準エラーに表示して、終了コード 1 で終わります。それまでのメールの
      レコードは残り、失敗したメールのレコードは 1 件も登録しません。
      本文を復号できないメールも失敗として扱います。ほかのプログラムが
      データベースに書き込み中で 3 秒待っても空かないときは、どのプログラムが
      使用中かを表示して終了コード 75 で終わります (メール配送プログラムは
      メールを残して後で渡し直します)。
      URL は IMAP サーバーのメールボックスで、imaps://ユーザー名@サーバー
      [:ポート]/メールボックス (TLS、既定のポートは 993) か imap://… (143。
      STARTTLS で TLS にし、サーバーが STARTTLS を提供しないときは失敗
      します) と書きます。メールボックス名とユーザー名は UTF-8 を % で
      符号化して書き (例: メルマガ は %E3%83%A1%E3%83%AB%E3%83%9E%E3%82%AC)、
      省くと INBOX です。サーバーのものは何も変えません (フラグも既読も
      そのまま)。前回読んだところより後のメールだけを取り、UIDVALIDITY が
      変わったメールボックスはすべて読み直します。ヘッダーを先に取り、
      メーリングリストのメールはヘッダーだけで登録します。サーバーの
      証明書は、システムの認証局と SSL_CERT_FILE、SSL_CERT_DIR の認証局で
      確かめます。パスワードはコマンドラインには書きません。
      --password-command コマンド があればそのコマンド (/bin/sh -c) の
      出力の 1 行目を、なければ ~/.netrc (machine サーバー login ユーザー名
      password パスワード。他人が読めるファイルは使いません)、デスクトップの
      鍵束 (属性 service=quillet host=サーバー user=ユーザー名。例:
      secret-tool store --label=Quillet service quillet host サーバー user
      ユーザー名)、端末での入力 (表示しません) の順に探します。サーバーに
      つながらないとき、途中で切れたときは終了コード 75 で、それまでに
      登録したものは残り、次の実行はその続きから読みます。

  list [--state 状態] [--format tsv|json]
      すべてのレコードを格納順に、13 項目すべて表示します。
      --state 状態    削除状態がこの値と完全に一致するレコードだけを表示
                      (未購読, 購読中, 解除候補, 解除)
      --format tsv    (既定) 1 行目が項目名、続いて 1 行に 1 レコード、値は
                      タブ区切り。値の中のタブ、改行 (LF)、復帰 (CR)、
                      バックスラッシュは \t, \n, \r, \\ と書きます
      --format json   項目名をキーとするオブジェクトの配列。値はすべて文字列。
                      メーリングリストのレコードにはさらに "unsubscribe"
                      (list_id, one_click, web, mailto, last_seen, left。
                      ないものは null) が付きます。出力の文字コードで
                      表せない文字は \uXXXX と書きます

  export-csv ファイル [--columns 項目名,...]
      データベースを CSV ファイル (Shift_JIS, CR LF) に保存します。形式は
      ウィンドウの「CSV ファイルとして保存」と同じです。終わると
      「計 N 件保存しました。」と表示します。
      --columns 項目名,...   保存する項目をこの順にコンマ区切りで
                             (既定は 13 項目すべてを格納順に)

  import-csv ファイル
      1 行目に項目名のある CSV ファイルを読み、データ 1 行ごとにレコードを
      末尾へ追加します (ウィンドウの「ファイルから読みこみ」と同じ)。
      終わると「計 N 行のデータを書きこみました。」と表示します。

  import-paradox ファイル.DB...
      以前の Windows 版の Paradox の表 (MMagaInfo.DB と MMagaSys.DB) を
      読みこみます。どちらの表かはファイルの名前ではなく列で決めます。
      メールマガジンの表は、レコードをすべて格納順に末尾へ追加して
      「計 N 行のデータを書きこみました。」と表示します。発行システムの表は、
      まだない名前の発行システムだけを追加し (組み込みのものと既にある
      ものは変えません)、「計 N 行の発行システムを追加しました（M 行は既に
      あるため変更していません）。」と表示します。ファイルはすべて、
      データベースを開く前に読んで確かめます。Paradox の表でないファイル、
      壊れた表、列が足りない・多い・型が合わない表はエラーになり、その表
      からは何も登録しません (それまでのファイルの分は残ります)。メモの列
      があれば、同じ名前の .MB ファイルも読みます。

  unsubscribe (--list-id ID | --name 名前) [--dry-run]
      ヘッダーで名乗るメーリングリスト (発行媒体「メーリングリスト」) の
      レコードを 1 件解除します。送信者が許していれば (List-Unsubscribe-Post
      と、受信サーバーが確かめた署名) 配信停止を HTTPS で 1 回送信し、
      受け付けられるとレコードを「解除」にして終了コード 0 で終わります。
      許していなければ、解除に使うページかメールアドレスを表示して終了
      コード 3 で終わります (状態は変えません)。送信が失敗したとき、また
      そのレコードがないときは理由を標準エラーに表示して終了コード 1 です。
      --list-id ID    List-Id の ID (ないリストは送信者のアドレス) で選びます
      --name 名前     メールマガジン名で選びます (同じ名前なら最初のもの)
      --dry-run       送る内容を表示するだけで、何も送らず何も変えません

  import-reg ファイル.reg
      Windows のレジストリエディタで書き出したキー
      HKEY_CURRENT_USER\software\KAV\QUIL のファイル (「Windows Registry
      Editor Version 5.00」の UTF-16 か UTF-8、「REGEDIT4」の Shift_JIS) を
      読み、そのキーの値をすべて (CNMCheck、PIPCheck、InstallVer ほか) 型も
      そのままで設定ファイル ($XDG_CONFIG_HOME/quillet/registry.reg) に
      書きこみます。設定ファイルのほかの行はそのまま残り、ほかのキーの値は
      読みこみません。終わると
      「設定を N 個読みこみました（ほかのキー M 個は読みこんでいません）。」
      と表示します。読めない行があるファイル、途中で切れたファイル、そのキーの
      ないファイルはエラーで、何も書きこみません。データベースは開きません。

オプション:
  -h, --help      この説明を表示します
  -v, --version   版を表示します

項目名: %1

登録日時は yyyy/MM/dd H:mm:ss (午前 0 時ちょうどは時刻なし)、マガジンＩＤは
10 進の数字で表します。標準エラーが端末のときは、長い処理の進み具合を
そこに表示します。

メッセージは LC_ALL、LC_MESSAGES、LANG (最初に設定されているもの) が ja で
始まるときは日本語、それ以外は英語です。システムが報告した失敗には、その
理由を付けます。出力はロケールの文字コード (ロケールが示さないときは
UTF-8) で書きます。その文字コードで表せない文字は「?」と書き、その数を
標準エラーに表示します (JSON では \uXXXX と書くので失われません)。

終了コード: 0 成功、1 失敗 (エラーは標準エラーに。それまでに登録したものは
残ります。出力を書き込めなかったときも 1 です)、2 コマンドかオプションの
誤り、3 unsubscribe で解除のページかメールアドレスしかない (表示したものから
解除してください)、75 ほかのプログラムがデータベースを使用中 (3 秒待っても
書き込めず、何も変更していません。後でもう一度)、または IMAP サーバーに
つながらないか途中で切れた (それまでの分は登録済み)。Quillet 本体が
「データベース項目の全削除」のあとデータベースを専有している間は、どの
コマンドもすぐに失敗します。

例:
  quillet-cli import-mail < 確認メール.txt
  quillet-cli import-mail ~/Maildir/.magazines
  quillet-cli import-mail imaps://taro@mail.example.jp/INBOX
  quillet-cli list --state 購読中 --format json
  quillet-cli export-csv backup.csv --columns 発行媒体,メールマガジン名,マガジンＩＤ
  quillet-cli import-csv backup.csv
  quillet-cli import-paradox 古いデータ/MMagaSys.DB 古いデータ/MMagaInfo.DB
)";

const char *const HelpEn = R"(Usage: quillet-cli COMMAND [OPTIONS] [ARGUMENTS...]

Works on Quillet's register of newsletter subscriptions without windows. The
register is the one the Quillet program uses ($XDG_DATA_HOME/quillet, by
default ~/.local/share/quillet); both programs may run at the same time.

Commands:
  import-mail [--password-command COMMAND] [FILE|DIR|URL]...
      Reads confirmation mails. Each message registers the same records as
      pasting it into an empty automatic-input window and clicking
      "取り込み開始" (start import). Without arguments, and for "-", reads
      standard input. A FILE may be one message (.eml), an mbox, or anything
      else, which is read as Shift_JIS text; a FIFO or a device is read only as
      standard input. A DIR must be a Maildir (a folder with new/ or cur/ or
      both); every message in them is read (not moved or changed), and a new/
      or cur/ that cannot be read is an error. An mbox is read one message at
      a time and may be of any size; one message, or a text, may be up to
      64 MB. Prints "N件が登録されました" (N records registered) at the end.
      The first message that fails stops the import: the error and the
      message's file are printed on standard error and the exit status is 1.
      The records of the messages before it stay; nothing of the failing
      message is registered. A message whose body cannot be decoded is such
      a failure. When another program is writing to the register and it is
      not free after 3 seconds, the program holding it is named and the
      exit status is 75 (a mail system keeps the mail and delivers it again).
      A URL is a mailbox on an IMAP server: imaps://USER@HOST[:PORT]/MAILBOX
      (TLS, port 993 by default) or imap://… (port 143, upgraded with
      STARTTLS; fails when the server does not offer it). The mailbox and the
      user are percent-encoded UTF-8; without a mailbox, INBOX is read.
      Nothing on the server is changed (no flag, not even \Seen). Only the
      messages after those read before are fetched, all of them again when
      the mailbox's UIDVALIDITY changed; headers come first, and a list's
      mail is registered from its headers alone. The server's certificate is
      checked against the system's authorities and those of SSL_CERT_FILE
      and SSL_CERT_DIR. The password is never given on the command line: it
      is the first line printed by --password-command COMMAND (run with
      /bin/sh -c) when given; else it comes from ~/.netrc (machine HOST login
      USER password PASSWORD; a file others can read is refused), the
      desktop's keyring (attributes service=quillet host=HOST user=USER, as
      in secret-tool store --label=Quillet service quillet host HOST user
      USER), or a prompt on the terminal without echo. When the server cannot
      be reached or goes away, the exit status is 75; what was stored stays,
      and the next run goes on from there.

  list [--state STATE] [--format tsv|json]
      Prints every record in stored order with all 13 columns.
      --state STATE   only the records whose 削除状態 (state) is exactly STATE
                      (未購読, 購読中, 解除候補, 解除)
      --format tsv    (the default) a header line of the column names, then
                      one line per record, values separated by tabs; a tab,
                      line feed, carriage return or backslash inside a value
                      is written as \t, \n, \r or \\
      --format json   an array of objects keyed by the column names, every
                      value a string; a mailing list's record also has
                      "unsubscribe" (list_id, one_click, web, mailto,
                      last_seen, left; null where there is none); a
                      character the output's encoding cannot hold is
                      written as \uXXXX

  export-csv FILE [--columns NAME,...]
      Saves the register as a CSV file (Shift_JIS, CR LF) in the format of
      the window's "CSV ファイルとして保存" (save as CSV file), and prints
      "計 N 件保存しました。" (N records saved).
      --columns NAME,...   the columns to save, in this order, separated by
                           commas (default: all 13 in stored order)

  import-csv FILE
      Reads a CSV file whose first line names the columns and appends one
      record per data line, as the window's "ファイルから読みこみ" (read from
      file) does; prints "計 N 行のデータを書きこみました。" (N lines written).

  import-paradox FILE.DB...
      Reads the Paradox tables of the former Windows program (MMagaInfo.DB
      and MMagaSys.DB). Which table a file is, its columns tell, not its
      name. The newsletters' table appends every record in stored order and
      prints "計 N 行のデータを書きこみました。" (N lines written). The
      publishing systems' table adds only the systems whose names are not
      there yet (the built-in ones and those already there are not changed)
      and prints "計 N 行の発行システムを追加しました（M 行は既にあるため変更
      していません）。" (N systems added, M kept as they were). Every file is
      read and checked before the register is opened. A file that is no
      Paradox table, a damaged table, or one with a column missing, extra or
      of another type is an error, and nothing of that table is stored (the
      files before it stay imported). A table with memo columns also reads
      the .MB file of the same name.

  unsubscribe (--list-id ID | --name NAME) [--dry-run]
      Leaves one record of a list that announces itself in its headers
      (publishing system "メーリングリスト"). Where the sender allows it
      (List-Unsubscribe-Post, and a signature the receiving server verified),
      one HTTPS POST is sent; when it is accepted the record becomes "解除"
      and the exit status is 0. Otherwise the page or mail address to leave
      by is printed and the exit status is 3 (the state is not changed). A
      failed POST, or no such record, prints the reason on standard error
      with exit status 1.
      --list-id ID    chooses by the List-Id id (the sender's address for a
                      list without one)
      --name NAME     chooses by メールマガジン名 (the first of that name)
      --dry-run       prints what would be sent; sends and changes nothing

  import-reg FILE.reg
      Reads the key HKEY_CURRENT_USER\software\KAV\QUIL as the Windows
      registry editor exports it ("Windows Registry Editor Version 5.00" in
      UTF-16 or UTF-8, or "REGEDIT4" in Shift_JIS) and writes every value of
      that key (CNMCheck, PIPCheck, InstallVer and any other) with its type
      into the settings file ($XDG_CONFIG_HOME/quillet/registry.reg). The
      settings file's other lines stay as they were; values of other keys are
      not imported. Prints
      "設定を N 個読みこみました（ほかのキー M 個は読みこんでいません）。"
      (N settings imported, M other keys not). A file with a line that cannot
      be read, a file cut short and a file without that key are errors, and
      nothing is written. The register is not opened.

Options:
  -h, --help      Prints this help.
  -v, --version   Prints the version.

Columns: %1

登録日時 (registration time) is written as yyyy/MM/dd H:mm:ss, without the
time at exactly midnight; マガジンＩＤ (magazine ID) as a plain decimal number.
While standard error is a terminal, long work shows a progress line there.

Messages are in Japanese when LC_ALL, LC_MESSAGES or LANG (the first that is
set) begins with "ja", in English otherwise; a failure the system reported
ends with its reason. Output is in the locale's character encoding (UTF-8
when the locale names none); a character that encoding cannot hold is written
as "?" and counted on standard error (JSON writes it as \uXXXX instead, so
nothing is lost).

Exit status: 0 done; 1 failed (the error is on standard error; what was stored
before it stays stored), also when the output could not be written; 2 unknown
command or bad options; 3 unsubscribe found only a page or a mail address to
leave by (printed); 75 another program holds the register (nothing was changed
after waiting 3 seconds; try again later), or an IMAP server could not be
reached or went away (what was read before is stored). While the Quillet
program holds the register for its own use (after "データベース項目の全削除",
deleting every record), every command fails at once.

Examples:
  quillet-cli import-mail < confirmation.txt
  quillet-cli import-mail ~/Maildir/.magazines
  quillet-cli import-mail imaps://taro@mail.example.jp/INBOX
  quillet-cli list --state 購読中 --format json
  quillet-cli export-csv backup.csv --columns 発行媒体,メールマガジン名,マガジンＩＤ
  quillet-cli import-csv backup.csv
  quillet-cli import-paradox old/MMagaSys.DB old/MMagaInfo.DB
)";

const char *const UsageJa = R"(使い方: quillet-cli import-mail [--password-command コマンド] [ファイル|フォルダ|URL]...
        quillet-cli list [--state 状態] [--format tsv|json]
        quillet-cli export-csv ファイル [--columns 項目名,...]
        quillet-cli import-csv ファイル
        quillet-cli import-paradox ファイル.DB...
        quillet-cli unsubscribe (--list-id ID | --name 名前) [--dry-run]
        quillet-cli import-reg ファイル.reg
詳しくは quillet-cli --help を見てください。
)";

const char *const UsageEn = R"(Usage: quillet-cli import-mail [--password-command COMMAND] [FILE|DIR|URL]...
       quillet-cli list [--state STATE] [--format tsv|json]
       quillet-cli export-csv FILE [--columns NAME,...]
       quillet-cli import-csv FILE
       quillet-cli import-paradox FILE.DB...
       quillet-cli unsubscribe (--list-id ID | --name NAME) [--dry-run]
       quillet-cli import-reg FILE.reg
See quillet-cli --help for more.
)";

const QCommandLineOption HelpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")});
const QCommandLineOption VersionOption(QStringList{QStringLiteral("v"), QStringLiteral("version")});

int usageError(Console &c, const QString &what) {
    c.error(what);
    c.errorText(c.tr(UsageJa, UsageEn));
    return ExitUsage;
}

// An option as it was typed: Qt gives its name without the dashes.
QString typedOption(const QString &name, const QStringList &arguments) {
    for (const QString &a : arguments.mid(1)) {
        if (a == QLatin1String("--"))
            break;
        const QString option = a.section(u'=', 0, 0);
        if (option == QLatin1String("--") + name || option == QLatin1String("-") + name)
            return option;
    }
    // A letter out of a run of them ("-xy").
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

// Qt's own error texts are English only; the cases it has get ours.
QString parseError(const Console &c, const QCommandLineParser &p, const QStringList &arguments) {
    if (!p.unknownOptionNames().isEmpty())
        return c.tr("不明なオプション: %1", "unknown option: %1")
            .arg(typedOption(p.unknownOptionNames().first(), arguments));
    static const QRegularExpression missing(QStringLiteral("^Missing value after '(.*)'\\.$"));
    if (const QRegularExpressionMatch m = missing.match(p.errorText()); m.hasMatch())
        return c.tr("%1 の値がありません", "missing value after %1").arg(m.captured(1));
    static const QRegularExpression unexpected(QStringLiteral("^Unexpected value after '(.*)'\\.$"));
    if (const QRegularExpressionMatch m = unexpected.match(p.errorText()); m.hasMatch())
        return c.tr("%1 は値をとりません", "%1 takes no value").arg(m.captured(1));
    return p.errorText();
}

QString optionValue(const QCommandLineParser &p, const QString &name) {
    // A repeated option: the last one counts.
    const QStringList values = p.values(name);
    return values.isEmpty() ? QString() : values.last();
}

// A command's file name: missing, or followed by more.
int wrongArguments(Console &c, const QString &command, const QStringList &args, qsizetype wanted) {
    if (args.size() < wanted)
        return usageError(c, c.tr("%1: ファイル名がありません", "%1: missing file name").arg(command));
    return usageError(c, c.tr("%1: 余分な引数があります: %2", "%1: unexpected argument: %2").arg(command, args[wanted]));
}

} // namespace

QString helpText(const Console &console) {
    QStringList names;
    for (const FieldDef &f : TDataModule1::schema())
        names << f.name;
    return console.tr(HelpJa, HelpEn).arg(names.join(QStringLiteral(", ")));
}

int runCommandLine(const QStringList &arguments, Console &c) {
    const QString program = arguments.value(0, QStringLiteral("quillet-cli"));

    // Options before the command are the program's; the rest belong to it.
    QCommandLineParser global;
    global.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    global.addOption(HelpOption);
    global.addOption(VersionOption);
    if (!global.parse(arguments))
        return usageError(c, parseError(c, global, arguments));
    if (global.isSet(HelpOption)) {
        c.write(helpText(c));
        return ExitOk;
    }
    if (global.isSet(VersionOption)) {
        c.print(QStringLiteral("quillet-cli ") + ProgramVersion);
        return ExitOk;
    }
    const QStringList positional = global.positionalArguments();
    if (positional.isEmpty())
        return usageError(c, c.tr("コマンドがありません", "no command given"));
    const QString command = positional.first();
    if (command == QLatin1String("help")) {
        c.write(helpText(c));
        return ExitOk;
    }

    QCommandLineParser p;
    p.addOption(HelpOption);
    const QCommandLineOption stateOption(QStringLiteral("state"), QString(), QStringLiteral("state"));
    const QCommandLineOption formatOption(QStringLiteral("format"), QString(), QStringLiteral("format"));
    const QCommandLineOption columnsOption(QStringLiteral("columns"), QString(), QStringLiteral("columns"));
    const QCommandLineOption listIdOption(QStringLiteral("list-id"), QString(), QStringLiteral("id"));
    const QCommandLineOption nameOption(QStringLiteral("name"), QString(), QStringLiteral("name"));
    const QCommandLineOption dryRunOption(QStringLiteral("dry-run"));
    const QCommandLineOption passwordCommandOption(QStringLiteral("password-command"), QString(),
                                                   QStringLiteral("command"));
    if (command == QLatin1String("import-mail")) {
        p.addOption(passwordCommandOption);
    } else if (command == QLatin1String("unsubscribe")) {
        p.addOption(listIdOption);
        p.addOption(nameOption);
        p.addOption(dryRunOption);
    } else if (command == QLatin1String("list")) {
        p.addOption(stateOption);
        p.addOption(formatOption);
    } else if (command == QLatin1String("export-csv")) {
        p.addOption(columnsOption);
    } else if (command != QLatin1String("import-csv") && command != QLatin1String("import-reg")
               && command != QLatin1String("import-paradox")) {
        return usageError(c, c.tr("不明なコマンド: %1", "unknown command: %1").arg(command));
    }
    const QStringList commandArguments = QStringList{program} + positional.mid(1);
    if (!p.parse(commandArguments))
        return usageError(c, parseError(c, p, commandArguments));
    if (p.isSet(HelpOption)) {
        c.write(helpText(c));
        return ExitOk;
    }
    const QStringList args = p.positionalArguments();

    if (command == QLatin1String("import-mail")) {
        MailOptions options;
        if (p.isSet(passwordCommandOption))
            options.passwordCommand = optionValue(p, passwordCommandOption.names().first());
        return importMail(args, c, nullptr, options);
    }

    if (command == QLatin1String("unsubscribe")) {
        if (!args.isEmpty())
            return usageError(c, c.tr("%1: 余分な引数があります: %2", "%1: unexpected argument: %2").arg(command, args[0]));
        if (p.isSet(listIdOption) == p.isSet(nameOption))
            return usageError(c, c.tr("unsubscribe: --list-id か --name のどちらか一つが要ります",
                                      "unsubscribe: give one of --list-id and --name"));
        UnsubscribeRequest request;
        if (p.isSet(listIdOption))
            request.listId = optionValue(p, listIdOption.names().first());
        else
            request.name = optionValue(p, nameOption.names().first());
        request.dryRun = p.isSet(dryRunOption);
        return unsubscribeList(request, c);
    }

    if (command == QLatin1String("list")) {
        if (!args.isEmpty())
            return wrongArguments(c, command, args, 0);
        ListFormat format = ListFormat::Tsv;
        if (p.isSet(formatOption)) {
            const QString f = optionValue(p, formatOption.names().first());
            if (f == QLatin1String("json"))
                format = ListFormat::Json;
            else if (f != QLatin1String("tsv"))
                return usageError(c, c.tr("--format は tsv か json です: %1", "--format takes tsv or json: %1").arg(f));
        }
        std::optional<QString> state;
        if (p.isSet(stateOption))
            state = optionValue(p, stateOption.names().first());
        return listRecords(state, format, c);
    }

    if (command == QLatin1String("import-paradox")) {
        if (args.isEmpty())
            return wrongArguments(c, command, args, 1);
        return importParadoxFiles(args, c);
    }

    if (args.size() != 1)
        return wrongArguments(c, command, args, 1);
    if (command == QLatin1String("export-csv")) {
        std::optional<QStringList> columns;
        if (p.isSet(columnsOption)) {
            // An empty list is allowed: the file then holds empty lines, as the
            // window writes with no column chosen.
            const QString list = optionValue(p, columnsOption.names().first());
            columns = list.isEmpty() ? QStringList() : list.split(u',');
        }
        return exportCsvFile(args.first(), columns, c);
    }
    if (command == QLatin1String("import-reg"))
        return importRegFile(args.first(), c);
    return importCsvFile(args.first(), c);
}

} // namespace quil::cli
