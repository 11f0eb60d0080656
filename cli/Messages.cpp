// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Messages.h"

#include <QList>
#include <QRegularExpression>

namespace quil::cli {
namespace {

// A message as the program composes it, %1... for what it puts in. The
// values marked in `nested` are themselves messages of the program (the
// holder of a busy register, a size), translated in turn.
struct Form {
    const char *japanese;
    const char *english;
    unsigned nested = 0; // bit n: %n+1
};

// Where one message is a prefix of another, the longer comes first.
const Form Forms[] = {
    // Files
    {"ファイル %1 を開けません", "cannot open file %1"},
    {"ファイル %1 を作成できません", "cannot create file %1"},
    {"ディスクに空きがないため、ファイル %1 に書き込めません", "cannot write file %1: the disk is full"},
    {"ファイル %1 に書き込めません", "cannot write file %1"},
    {"ファイル '%1' を作成できません: %2", "cannot create file '%1': %2"},
    {"フォルダ %1 を作成できません", "cannot create folder %1"},
    // CSV
    {"ファイル %1 は %2 で書かれています。読みこめるのは Shift_JIS のファイルだけです",
     "file %1 is written in %2; only Shift_JIS files can be read"},
    {"リストのインデックスが範囲を超えています (%1): %2 行目に %3 列目「%4」の値がありません",
     "list index out of bounds (%1): line %2 has no value for column %3 (%4)"},
    {"リストのインデックスが範囲を超えています (%1)", "list index out of bounds (%1)"},
    // Exported registry files
    {"ファイル %1 はレジストリエディタで書き出したファイルではありません（1 行目が「%2」でも「%3」でもありません）",
     "file %1 was not exported by the registry editor (its first line is neither \"%2\" nor \"%3\")"},
    {"ファイル %1 は途中で切れています: %2", "file %1 is cut short: %2", 0b10},
    {"最後の行に行末がありません", "its last line has no line end"},
    {"ファイル %1 は UTF-8 として正しくないバイトを含んでいます", "file %1 holds bytes that are not UTF-8"},
    {"ファイル %1 の %2 行目を読めません: %3", "cannot read line %2 of file %1: %3", 0b100},
    {"キーの行でも値の行でもありません", "it is neither a key nor a value"},
    {"キーの行が「]」で終わっていません", "the key's line does not end with \"]\""},
    {"キーの名前がありません", "the key has no name"},
    {"最初のキーの前に値があります", "a value comes before the first key"},
    {"値の名前の引用符が閉じていません", "the quoted name is not closed"},
    {"値の名前のあとに「=」がありません", "there is no \"=\" after the name"},
    {"値の引用符が閉じていません", "the quoted value is not closed"},
    {"値のあとに余分な文字があります", "there is more after the value"},
    {"dword の値は 16 進 8 桁までの数です", "a dword is a hexadecimal number of up to 8 digits"},
    {"値の形式が「\"…\"」「dword:」「hex:」のどれでもありません", "the value is none of \"…\", dword: and hex:"},
    {"続きの行がないままファイルが終わっています", "the file ends where the list asks for another line"},
    {"hex の種類の番号が正しくありません", "the number of the hex type is wrong"},
    {"hex のあとに「:」がありません", "there is no \":\" after hex"},
    {"16 進のバイトの並びが正しくありません", "the list of hexadecimal bytes is wrong"},
    {"UTF-16 の文字の途中で終わっています", "it ends inside a UTF-16 character"},
    {"ファイル %1 にはキー HKEY_CURRENT_USER\\%2 がありません", "file %1 has no key HKEY_CURRENT_USER\\%2"},
    {"ファイル %1 の %2 行目の値の名前は制御文字を含むため、設定に使えません",
     "the value name on line %2 of file %1 holds control characters, which the settings cannot hold"},
    // The old program's Paradox tables
    {"%1 は以前の Windows 版の Paradox の表なので、開かずにそのままにしています。読みこむには、このファイルをほかのフォルダに移してから quillet-cli import-paradox で読みこむか、「ファイルから読みこみ」で「Paradox テーブル(*.db)」として読みこんでください",
     "%1 is a Paradox table of the old Windows program, so it is left as it is and not opened; to import it, move "
     "the file to another folder and read it with quillet-cli import-paradox, or with \"ファイルから読みこみ\" as "
     "\"Paradox テーブル(*.db)\""},
    {"ファイル %1 は Paradox の表ではありません", "file %1 is no Paradox table"},
    {"ファイル %1 は Paradox の表として壊れています: %2", "file %1 is a damaged Paradox table: %2", 0b10},
    {"見出しの %1 バイトと %2 個のブロック (1 個 %3 バイト) は、読める大きさを超えています",
     "its header of %1 bytes and %2 blocks of %3 bytes are more than can be read"},
    {"ファイルの長さ %1 バイトが、見出しの %2 バイトと %3 個のブロック (1 個 %4 バイト) に足りません",
     "the file's %1 bytes are short of its header of %2 bytes and %3 blocks of %4 bytes"},
    {"見出しの長さ %1 バイトに、列の定義が収まっていません", "its header of %1 bytes does not hold the fields' definitions"},
    {"見出しが、ない部分を指しています", "its header points to a part it does not have"},
    {"列の数 %1 が正しくありません", "its number of fields, %1, is wrong"},
    {"表の名前が見出しの中で終わっていません", "the table's name does not end inside the header"},
    {"%1 番目の列の名前が見出しの中で終わっていません", "the name of field %1 does not end inside the header"},
    {"%1 番目の列の型 (0x%2) は Paradox にない型です", "field %1 has a type (0x%2) that Paradox does not have"},
    {"%1 番目の列の長さ %2 がその型に合いません", "the size %2 of field %1 does not fit its type"},
    {"レコードの長さ %1 バイトが、列の長さの合計 %2 バイトと合いません",
     "its records of %1 bytes differ from the fields' %2 bytes"},
    {"レコードの長さ %1 バイトが、ブロックの大きさ %2 バイトに収まりません",
     "a record of %1 bytes does not fit into a block of %2 bytes"},
    {"見出しのレコード数 %1 は、%2 個のブロックに入りきりません", "the header's %1 records cannot fit into %2 blocks"},
    {"最初のブロックの番号 %1 が、ブロックの数 %2 を超えています", "its first block, %1, is beyond its %2 blocks"},
    {"ブロックのつながりがブロック %1 で輪になっています", "its chain of blocks loops at block %1"},
    {"ブロック %1 のレコードの数を示す値 %2 が正しくありません", "block %1 gives a wrong size of its records (%2)"},
    {"ブロック %1 の次のブロックの番号 %2 が、ブロックの数 %3 を超えています",
     "block %1 is followed by block %2, beyond its %3 blocks"},
    {"見出しのレコード数 %1 が、ブロックにあるレコードの数 %2 と合いません",
     "the header's %1 records differ from the %2 records in its blocks"},
    {"ファイル %1 はパスワードで保護されているため読めません", "file %1 is protected by a password and cannot be read"},
    {"ファイル %1 は通常のファイルではないので読めません", "file %1 is not a regular file and cannot be read"},
    {"ファイル %1 を Paradox の表として開けません: %2", "cannot open file %1 as a Paradox table: %2"},
    {"ファイル %1 の %2 件目のレコードを読めません: %3", "file %1: cannot read record %2: %3"},
    {"ファイル %1 の %2 件目の列「%3」の値が正しくありません", "file %1: the value of column %3 in record %2 is wrong"},
    {"ファイル %1 の %2 件目の列「%3」のメモを読むには、メモのファイル %4 が要ります",
     "file %1: the memo of column %3 in record %2 needs the memo file %4"},
    {"ファイル %1 の %2 件目の列「%3」のメモが、メモのファイル %4 の中にありません",
     "file %1: the memo of column %3 in record %2 is not inside the memo file %4"},
    {"ファイル %1 の列「%2」は、読みこむ表にない列です", "file %1: the table it goes into has no column %2"},
    {"ファイル %1 には列「%2」が二つ以上あります", "file %1 has the column %2 more than once"},
    {"ファイル %1 の列「%2」の型 %3 では、この列を読みこめません",
     "file %1: the column %2 of type %3 cannot be read into this column", 0b100},
    {"ファイル %1 には列「%2」がありません", "file %1 has no column %2"},
    {"ファイル %1 は、メールマガジンの表 (MMagaInfo.DB) でも発行システムの表 (MMagaSys.DB) でもありません",
     "file %1 is neither the newsletters' table (MMagaInfo.DB) nor the publishing systems' (MMagaSys.DB)"},
    {"英数字 (A)", "alpha (A)"},
    {"日付 (D)", "date (D)"},
    {"短整数 (S)", "short (S)"},
    {"長整数 (I)", "long integer (I)"},
    {"金額 ($)", "money ($)"},
    {"数値 (N)", "number (N)"},
    {"論理 (L)", "logical (L)"},
    {"メモ (M)", "memo (M)"},
    {"バイナリ (B)", "binary (B)"},
    {"書式付きメモ (F)", "formatted memo (F)"},
    {"OLE (O)", "OLE (O)"},
    {"グラフィック (G)", "graphic (G)"},
    {"時刻 (T)", "time (T)"},
    {"タイムスタンプ (@)", "timestamp (@)"},
    {"自動インクリメント (+)", "autoincrement (+)"},
    {"BCD (#)", "BCD (#)"},
    {"バイト (Y)", "bytes (Y)"},
    // Field values
    {"'%1' は項目 '%2' に適した整数値ではありません", "'%1' is not a valid integer for column '%2'"},
    {"%1 は項目 '%2' に適した値ではありません。範囲は %3 から %4 です",
     "%1 is not a valid value for column '%2'; the range is %3 to %4"},
    {"'%1' は項目 '%2' に適したブール値ではありません", "'%1' is not a valid Boolean for column '%2'"},
    {"'%1' は日付または時刻ではありません", "'%1' is not a date or time"},
    {"'%1' は有効な整数値ではありません", "'%1' is not a valid integer"},
    {"'%1' は有効なブール値ではありません", "'%1' is not a valid Boolean"},
    {"バリアントの型変換が不正です", "invalid variant type conversion"},
    {"フィールド '%1' が見つかりません", "field '%1' not found"},
    // The tables
    {"データセットが閉じています", "the dataset is closed"},
    {"データセットが編集モードでも挿入モードでもありません", "the dataset is not in edit or insert mode"},
    {"開いているデータセットでは操作できません", "cannot perform this operation on an open dataset"},
    {"空のデータセットでは操作できません", "cannot perform this operation on an empty dataset"},
    {"レコードが見つかりません。他のプロセスによって削除された可能性があります",
     "record not found; another process may have deleted it"},
    {"ブックマークが無効です。レコードが見つかりません", "invalid bookmark: record not found"},
    {"テーブル '%1' を開けません。ファイルが存在しません", "cannot open table '%1': the file does not exist"},
    {"テーブル '%1' を開けません: %2", "cannot open table '%1': %2"},
    {"テーブル '%1' は他のプロセスが使用中のため、排他的に開けません",
     "cannot open table '%1' for exclusive use: another process has it open"},
    {"テーブル '%1' は他のプロセスが排他的に使用中のため、開けません",
     "cannot open table '%1': another process holds it for exclusive use"},
    {"テーブル '%1' の構造が正しくありません", "table '%1' does not have the expected structure"},
    {"テーブル '%1' は排他的に開かれていないため、全件を削除できません",
     "cannot delete every record of table '%1': it is not open for exclusive use"},
    {"データベース '%1' への変更は、途中のエラーのため保存されていません",
     "the changes to database '%1' were not saved because of an earlier error"},
    {"データベースエラー（%1）: %2", "database error (%1): %2"},
    {"ディスクに空きがないため、データベース '%1' に書き込めません", "cannot write database '%1': the disk is full"},
    {"データベース '%1' は%2が使用中のため、%3 秒待っても書き込めませんでした。この操作では何も変更していません",
     "database '%1' is in use by %2 and could not be written after waiting %3 seconds; this operation changed "
     "nothing",
     0b10},
    // Who holds the register
    {"他の Quillet のウィンドウ（プロセス番号 %1）", "another Quillet window (process %1)"},
    {"他の quillet-cli（プロセス番号 %1）", "another quillet-cli (process %1)"},
    {"他のプログラム「%1」（プロセス番号 %2）", "another program, \"%1\" (process %2)"},
    {"他のプログラム（プロセス番号 %1）", "another program (process %1)"},
    {"他のプログラム", "another program"},
    // Mail
    {"メールの形式を読めません", "the message's format cannot be read"},
    {"メールの本文がありません", "the message has no text part"},
    {"メールの本文を読めません", "the message's body cannot be decoded"},
    {"メールの文字コード「%1」を読めません", "the message's charset \"%1\" cannot be read"},
    {"メールが大きすぎます (%1 を超えています)", "the message is too large (over %1)", 0b1},
    {"'%1' は大きすぎて読み込めません (%2 を超えています)。", "'%1' is too large to read (over %2)", 0b10},
    {"ファイル '%1' を読み込めませんでした。", "cannot read file '%1'"},
    {"フォルダ '%1' を読み込めませんでした。", "cannot read folder '%1'"},
    {"'%1' は通常のファイルではないので読み込めません (FIFO や装置は読みません)。",
     "'%1' is not a regular file and cannot be read (FIFOs and devices are not read)"},
    {"'%1' を読み込めませんでした。", "cannot read '%1'"},
    {"%1 バイト", "%1 bytes"},
    // Mailboxes on a server
    {"メールボックスの URL '%1' は使えません: %2", "the mailbox URL '%1' cannot be used: %2", 0b10},
    {"imaps:// か imap:// で始まりません", "it does not start with imaps:// or imap://"},
    {"空白や制御文字、% で符号化していない文字があります",
     "it holds blanks, control characters or characters not written with %"},
    {"? や # のあとの部分は使えません", "a part after ? or # cannot be used"},
    {"ユーザー名がありません (imaps://ユーザー名@サーバー/メールボックス)",
     "it names no user (imaps://USER@HOST/MAILBOX)"},
    {"パスワードは URL に書かないでください (~/.netrc、鍵束、--password-command を使います)",
     "do not put the password in the URL (use ~/.netrc, the keyring or --password-command)"},
    {"\";AUTH=\" などの指定は使えません", "\";AUTH=\" and the like cannot be used"},
    {"ユーザー名が UTF-8 ではありません", "the user name is not UTF-8"},
    {"サーバーの [ が閉じていません", "the server's [ is not closed"},
    {"サーバー名のあとに余分な文字があります", "there is more after the server's name"},
    {"サーバー名がありません", "it names no server"},
    {"サーバー名に使えない文字があります", "the server's name holds characters it cannot have"},
    {"ポート番号 '%1' は 1 から 65535 の数ではありません", "the port '%1' is not a number from 1 to 65535"},
    {"\";UIDVALIDITY=\" や \";UID=\" などの指定は使えません",
     "\";UIDVALIDITY=\", \";UID=\" and the like cannot be used"},
    {"メールボックス名が UTF-8 ではありません", "the mailbox name is not UTF-8"},
    {"メールボックス名に制御文字があります", "the mailbox name holds control characters"},
    {"メールボックス名 '%1' を IMAP の形に変換できません", "the mailbox name '%1' cannot be converted for IMAP"},
    {"サーバー %1 に接続できません", "cannot connect to the server %1"},
    {"サーバー %1 との接続が切れたか、%2 秒待っても応答がありません (%3)",
     "the connection to the server %1 was lost, or it did not answer within %2 seconds (%3)"},
    {"サーバー %1 と TLS で接続できません", "cannot connect to the server %1 with TLS"},
    {"サーバー %1 の応答を読めません (%2)", "cannot read the answer of the server %1 (%2)"},
    {"サーバー %1 がエラーを返しました (%2): %3", "the server %1 answered with an error (%2): %3"},
    {"サーバー %1 がエラーを返しました (%2)", "the server %1 answered with an error (%2)"},
    {"サーバー %1 の証明書を信頼できないので接続をやめました: %2",
     "the certificate of the server %1 cannot be trusted, so the connection was given up: %2", 0b10},
    {"サーバーが証明書を送ってきません", "the server sent no certificate"},
    {"システムの認証局を読めません", "the system's certificate authorities cannot be read"},
    {"サーバーの証明書を読めません", "the server's certificate cannot be read"},
    {"信頼できる認証局の署名がありません", "it is not signed by a trusted certificate authority"},
    {"証明書は %1 のものではありません", "the certificate is not for %1"},
    {"証明書の期限が切れています", "the certificate has expired"},
    {"証明書はまだ有効になっていません", "the certificate is not valid yet"},
    {"証明書は失効しています", "the certificate has been revoked"},
    {"証明書の署名の方式が安全ではありません", "the certificate is signed with an insecure algorithm"},
    {"証明書の署名が正しくありません", "the certificate's signature is wrong"},
    {"証明書はサーバーのためのものではありません", "the certificate is not for a server"},
    {"証明書を検証できません", "the certificate cannot be verified"},
    {"サーバー %1 は STARTTLS を提供していないので、パスワードを送らずに接続をやめました (imaps:// を使ってください)",
     "the server %1 does not offer STARTTLS, so the connection was given up without sending the password (use "
     "imaps://)"},
    {"サーバー %1 にユーザー %2 でログインできません: %3", "cannot log in to the server %1 as %2: %3"},
    {"サーバー %1 にユーザー %2 でログインできません", "cannot log in to the server %1 as %2"},
    {"サーバー %1 のメールボックス '%2' を開けません: %3", "cannot open the mailbox '%2' on the server %1: %3"},
    {"サーバー %1 のメールボックス '%2' を開けません", "cannot open the mailbox '%2' on the server %1"},
    // Passwords of mailboxes
    {"ファイル %1 はグループや他のユーザーにも開かれている (モード %2) ため、そのパスワードは使いません。"
     "chmod 600 %1 としてください",
     "file %1 is open to group or others (mode %2), so its passwords are not used; run chmod 600 %1"},
    {"ファイル %1 の %2 行目で引用符が閉じていません", "file %1: the quoted token on line %2 is not closed"},
    {"パスワードのコマンド (--password-command) を /bin/sh で起動できません",
     "cannot start the password command (--password-command) with /bin/sh"},
    {"パスワードのコマンド (--password-command) が %1 秒たっても終わらないため、止めました",
     "the password command (--password-command) was stopped: it had not finished after %1 seconds"},
    {"パスワードのコマンド (--password-command) が異常終了しました",
     "the password command (--password-command) was ended by a signal"},
    {"パスワードのコマンド (--password-command) が終了ステータス %1 で終わりました",
     "the password command (--password-command) failed with exit status %1"},
    {"パスワードのコマンド (--password-command) の出力にパスワードがありません",
     "the password command (--password-command) printed no password"},
    {"端末 /dev/tty からパスワードを読めません", "cannot read the password from the terminal /dev/tty"},
    {"パスワードの入力が中断されました", "the password prompt was interrupted"},
    {"パスワードが入力されませんでした", "no password was entered"},
    {"%1@%2 のパスワードが見つかりません。--password-command の指定がなく、%3 にもデスクトップのキーリングにもなく、"
     "尋ねる端末もありません (キーリングには secret-tool store --label=Quillet service quillet host %2 user %1 "
     "で入れられます)",
     "no password found for %1@%2: no --password-command was given, it is neither in %3 nor in the desktop's "
     "keyring, and there is no terminal to ask on (secret-tool store --label=Quillet service quillet host %2 user "
     "%1 puts it in the keyring)"},
    {"%1@%2 のパスワードが見つかりません。--password-command の指定がなく、%3 になく、セッションバスがないため"
     "デスクトップのキーリングには尋ねられず、尋ねる端末もありません",
     "no password found for %1@%2: no --password-command was given, it is not in %3, the desktop's keyring could "
     "not be asked (there is no session bus), and there is no terminal to ask on"},
};

struct Compiled {
    QRegularExpression pattern;
    QList<int> numbers; // the placeholder each group captures
    QString english;
    unsigned nested;
};

QList<Compiled> compile() {
    static const QRegularExpression placeholder(QStringLiteral("%([1-9])"));
    QList<Compiled> out;
    for (const Form &f : Forms) {
        const QString ja = QString::fromUtf8(f.japanese);
        Compiled c;
        QString pattern;
        qsizetype from = 0;
        for (auto it = placeholder.globalMatch(ja); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            pattern += QRegularExpression::escape(ja.mid(from, m.capturedStart() - from));
            pattern += QLatin1String("(.*?)");
            c.numbers.append(m.captured(1).toInt());
            from = m.capturedEnd();
        }
        pattern += QRegularExpression::escape(ja.mid(from));
        c.pattern = QRegularExpression(QRegularExpression::anchoredPattern(pattern),
                                       QRegularExpression::DotMatchesEverythingOption);
        c.english = QString::fromUtf8(f.english);
        c.nested = f.nested;
        out.append(std::move(c));
    }
    return out;
}

// In one pass, so that a value holding "%2" stays as it is.
QString filledIn(const QString &form, const QStringList &values) {
    QString out;
    for (qsizetype i = 0; i < form.size(); ++i) {
        if (form[i] == u'%' && i + 1 < form.size() && form[i + 1] >= u'1' && form[i + 1] <= u'9') {
            out += values.value(form[i + 1].unicode() - u'1');
            ++i;
        } else {
            out += form[i];
        }
    }
    return out;
}

} // namespace

QString englishMessage(const QString &japanese) {
    static const QList<Compiled> forms = compile();
    for (const Compiled &c : forms) {
        const QRegularExpressionMatch m = c.pattern.match(japanese);
        if (!m.hasMatch())
            continue;
        QStringList values(9);
        for (qsizetype g = 0; g < c.numbers.size(); ++g) {
            const int n = c.numbers[g];
            QString v = m.captured(int(g) + 1);
            values[n - 1] = (c.nested >> (n - 1)) & 1 ? englishMessage(v) : v;
        }
        return filledIn(c.english, values);
    }
    return japanese;
}

} // namespace quil::cli
