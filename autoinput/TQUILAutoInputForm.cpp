// SPDX-License-Identifier: GPL-3.0-or-later
#include "autoinput/TQUILAutoInputForm.h"

#include "autoinput/core/DropInput.h"
#include "autoinput/core/Jis.h"
#include "autoinput/core/ListRegister.h"
#include "autoinput/core/MailParser.h"
#include "platform/ErrorDisplay.h"
#include "platform/MessageBox.h"
#include "platform/Opener.h"
#include "store/DataModules.h"
#include "text/TextList.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QFrame>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextDocument>
#include <QVBoxLayout>

TQUILAutoInputForm *QUILAutoInputForm = nullptr;

namespace {

const char *const MsgMemoFull = "文字列の大きさが メモ の制限を越えました";

// The memo form of a text: every line break (CR LF, CR or LF) one "\n". A
// text control holds no NUL: clipboard text ends at one, as it does on the
// desktop the program was made for; converted drop bytes lose theirs.
enum class Nul { EndsText, Dropped };

QString toMemoForm(const QString &text, Nul nul) {
    qsizetype n = text.size();
    if (nul == Nul::EndsText) {
        const qsizetype at = text.indexOf(QChar(0));
        if (at >= 0)
            n = at;
    }
    QString out;
    out.reserve(n);
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c == u'\r') {
            out += u'\n';
            if (i + 1 < n && text[i + 1] == u'\n')
                ++i;
        } else if (c.unicode() != 0) {
            out += c;
        }
    }
    return out;
}

enum class Glyph { Clipboard, Import, Clear, FullAuto };

// Two states as the buttons show them: normal and disabled (greyed).
QPixmap drawGlyph(Glyph kind, bool enabled) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink = enabled ? QColor(0x20, 0x20, 0x20) : QColor(0xA0, 0xA0, 0xA0);
    const QColor accent = enabled ? QColor(0x1E, 0x6F, 0xD0) : QColor(0xC0, 0xC0, 0xC0);
    const QColor red = enabled ? QColor(0xC8, 0x28, 0x28) : QColor(0xC0, 0xC0, 0xC0);
    p.setPen(QPen(ink, 1));
    switch (kind) {
    case Glyph::Clipboard:
        p.setBrush(enabled ? QColor(0xE8, 0xC8, 0x8C) : QColor(0xE0, 0xE0, 0xE0));
        p.drawRect(QRectF(2.5, 2.5, 11, 12));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 5.5, 7, 8));
        p.setBrush(accent);
        p.drawRect(QRectF(5.5, 1.5, 5, 3));
        break;
    case Glyph::Import: {
        p.setBrush(Qt::white);
        p.drawRect(QRectF(1.5, 1.5, 8, 11));
        p.setPen(QPen(accent, 2));
        p.drawLine(QPointF(7, 9), QPointF(13, 9));
        QPainterPath head;
        head.moveTo(15, 9);
        head.lineTo(11, 5.5);
        head.lineTo(11, 12.5);
        head.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(accent);
        p.drawPath(head);
        break;
    }
    case Glyph::Clear:
        p.setPen(QPen(red, 2.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
        p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
        break;
    case Glyph::FullAuto:
        p.setPen(Qt::NoPen);
        p.setBrush(accent);
        for (int x : {1, 8}) {
            QPainterPath tri;
            tri.moveTo(x, 2);
            tri.lineTo(x + 7, 8);
            tri.lineTo(x, 14);
            tri.closeSubpath();
            p.drawPath(tri);
        }
        break;
    }
    return pm;
}

QIcon glyphIcon(Glyph kind) {
    QIcon icon;
    icon.addPixmap(drawGlyph(kind, true), QIcon::Normal);
    icon.addPixmap(drawGlyph(kind, false), QIcon::Disabled);
    return icon;
}

} // namespace

TQUILAutoInputForm::TQUILAutoInputForm(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) {
    QUILAutoInputForm = this;
    setObjectName("QUILAutoInputForm");
    setWindowTitle(QStringLiteral("自動入力フォーム"));
    QFont formFont(QStringLiteral("ＭＳ Ｐゴシック"));
    formFont.setPixelSize(12);
    setFont(formFont);
    resize(400, 351);
    setMinimumWidth(400);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Panel1 = new QFrame(this);
    Panel1->setObjectName("Panel1");
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setFixedHeight(113);
    layout->addWidget(Panel1);

    auto makeButton = [this](const char *name, const QString &caption, QRect bounds, Glyph glyph) {
        auto *b = new QPushButton(caption, Panel1);
        b->setObjectName(name);
        b->setGeometry(bounds);
        b->setIcon(glyphIcon(glyph));
        b->setIconSize(QSize(16, 16));
        return b;
    };
    BitBtn1 = makeButton("BitBtn1", QStringLiteral("クリックボードよりコピー"), QRect(8, 12, 153, 25), Glyph::Clipboard);
    BitBtn2 = makeButton("BitBtn2", QStringLiteral("取り込み開始"), QRect(177, 12, 113, 25), Glyph::Import);
    BitBtn3 = makeButton("BitBtn3", QStringLiteral("全消去"), QRect(304, 12, 75, 25), Glyph::Clear);
    BitBtn0 = makeButton("BitBtn0", QStringLiteral("完全フルオート"), QRect(72, 48, 225, 25), Glyph::FullAuto);

    CheckBoxMRC = new QCheckBox(QStringLiteral("まぐまぐ登録中一覧メールの検証"), Panel1);
    CheckBoxMRC->setObjectName("CheckBoxMRC");
    CheckBoxMRC->setGeometry(8, 80, 193, 17);
    CheckBoxOEDrop = new QCheckBox(QStringLiteral("Outlook Express からの Drop"), Panel1);
    CheckBoxOEDrop->setObjectName("CheckBoxOEDrop");
    CheckBoxOEDrop->setGeometry(208, 80, 177, 17);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName("Memo1");
    QFont memoFont(QStringLiteral("ＭＳ ゴシック"));
    memoFont.setPixelSize(13);
    memoFont.setFixedPitch(true);
    memoFont.setStyleHint(QFont::TypeWriter);
    Memo1->setFont(memoFont);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setWordWrapMode(QTextOption::NoWrap);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout->addWidget(Memo1, 1);

    setTabOrder(BitBtn0, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);
    setTabOrder(BitBtn2, BitBtn3);
    setTabOrder(BitBtn3, CheckBoxMRC);
    setTabOrder(CheckBoxMRC, CheckBoxOEDrop);
    setTabOrder(CheckBoxOEDrop, Memo1);

    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(BitBtn1); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(BitBtn2); });
    connect(BitBtn3, &QPushButton::clicked, this, [this] { BitBtn3Click(BitBtn3); });
    connect(BitBtn0, &QPushButton::clicked, this, [this] { BitBtn0Click(BitBtn0); });

    auto onDrop = [this](QObject *sender, NuvraOLE::TShiftState shift, int x, int y) {
        OLEDropDrop(sender, shift, x, y);
    };
    OLEDropText = new NuvraOLE::TOLEDropText(this);
    OLEDropText->setObjectName("OLEDropText");
    OLEDropText->OnDrop = onDrop;
    OLEDropFiles = new NuvraOLE::TOLEDropFiles(this);
    OLEDropFiles->setObjectName("OLEDropFiles");
    OLEDropFiles->OnDrop = onDrop;
    // Registration failures are shown like any other error; the window
    // still works without drops.
    quil::guard([this] { OLEDropText->SetTarget(Memo1); });
    quil::guard([this] { OLEDropFiles->SetTarget(Panel1); });
}

TQUILAutoInputForm::~TQUILAutoInputForm() {
    if (QUILAutoInputForm == this)
        QUILAutoInputForm = nullptr;
}

QList<QByteArray> TQUILAutoInputForm::JisToShiftJisLines(const QList<QByteArray> &lines) {
    return quil::jis::JisToShiftJisLines(lines);
}

QByteArray TQUILAutoInputForm::JisPairToShiftJis(unsigned char j1, unsigned char j2) {
    return quil::jis::JisPairToShiftJis(j1, j2);
}

QString TQUILAutoInputForm::memoText() const {
    // The raw text keeps no-break spaces that the plain-text form would turn
    // into blanks; blocks are joined by the paragraph separator.
    QString text = Memo1->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, u'\n');
    return text;
}

void TQUILAutoInputForm::setMemoText(const QString &text) {
    if (text == memoText())
        return;
    Memo1->setPlainText(text);
}

void TQUILAutoInputForm::checkCapacity(qsizetype size) const {
    if (size > memoCapacity)
        throw quil::Error(QString::fromUtf8(MsgMemoFull));
}

void TQUILAutoInputForm::copyFromClipboard() {
    const QString text = toMemoForm(memoText() + quil::Clipboard::text(), Nul::EndsText);
    checkCapacity(text.size());
    setMemoText(text);
}

void TQUILAutoInputForm::runImport() {
    if (!DataModule1 || !MMagSysDataModule)
        throw quil::Error(QStringLiteral("テーブルが開かれていません"));
    QString text = memoText();
    quil::MailParser parser(*DataModule1->Table1, *MMagSysDataModule->Table2);
    // The lists of the dropped messages are registered with the parser's
    // records, in its walk, and counted in its message.
    const QList<quil::mail::ListHeaders> lists = m_pendingLists;
    parser.setAlso([&lists] {
        quil::ListRegister reg(*DataModule1->Table1, quil::textlist::readFileIfExists(QStringLiteral("MADDRESS.ini")));
        for (const quil::mail::ListHeaders &h : lists)
            reg.take(h);
        reg.flush();
        quil::MailParser::Also also;
        also.added = reg.added();
        for (const quil::StillComing &s : reg.stillComing())
            also.lines << quil::ListRegister::stillComingLine(s);
        return also;
    });
    try {
        parser.run(text, CheckBoxMRC->isChecked(), [this](const QString &rest) { setMemoText(rest); });
    } catch (...) {
        setMemoText(text);
        throw;
    }
    setMemoText(text);
    if (!CheckBoxMRC->isChecked())
        m_pendingLists.clear();
}

void TQUILAutoInputForm::BitBtn1Click(QObject *) {
    quil::guard([this] { copyFromClipboard(); });
}

void TQUILAutoInputForm::BitBtn2Click(QObject *) {
    quil::guard([this] { runImport(); });
}

void TQUILAutoInputForm::BitBtn3Click(QObject *) {
    quil::guard([this] {
        setMemoText(QString());
        m_pendingLists.clear();
    });
}

void TQUILAutoInputForm::BitBtn0Click(QObject *) {
    quil::guard([this] {
        copyFromClipboard();
        runImport();
    });
}

void TQUILAutoInputForm::OLEDropDrop(QObject *Sender, NuvraOLE::TShiftState, int, int) {
    quil::guard([this, Sender] { takeDrop(Sender); });
}

void TQUILAutoInputForm::takeDrop(QObject *Sender) {
    const QString name = Sender ? Sender->objectName() : QString();
    const QString present = memoText();
    QList<quil::drop::Line> lines;
    if (name == QLatin1String("OLEDropText")) {
        lines = quil::drop::splitBytes(OLEDropText->Text);
    } else if (name == QLatin1String("OLEDropFiles")) {
        qsizetype total = present.size();
        auto report = [](const QString &text) {
            quil::MessageBox::show(text, quil::applicationTitle(), quil::MsgButtons::Ok, quil::MsgIcon::Exclamation);
        };
        for (const QString &dropped : OLEDropFiles->Files) {
            // A Maildir gives its messages; other folders and missing paths nothing.
            QStringList files;
            try {
                files = quil::drop::droppedFiles(dropped);
            } catch (const quil::Error &e) {
                report(e.message());
                continue;
            }
            for (const QString &path : files) {
                // A file far too large for the memo is refused before it is read.
                const qint64 size = QFileInfo(path).size();
                checkCapacity(total + size);
                quil::drop::FileLines taken;
                try {
                    taken = quil::drop::readFile(path);
                } catch (const quil::Error &e) {
                    report(e.message());
                    continue;
                }
                total += size + 1;
                // A saved mail or mailbox gives the text of its messages.
                for (const quil::mail::MailText &mail : taken.unreadable)
                    report(quil::drop::unreadableMessage(mail));
                lines.append(std::move(taken.lines));
                m_pendingLists.append(taken.lists);
            }
        }
    } else {
        quil::MessageBox::show(QStringLiteral("不正な呼び出しがありました"), quil::applicationTitle(),
                               quil::MsgButtons::Ok, quil::MsgIcon::None);
    }

    if (CheckBoxOEDrop->isChecked())
        quil::drop::jisToShiftJis(lines);

    QString text = toMemoForm(present + quil::drop::joinLines(lines), Nul::Dropped);
    checkCapacity(text.size());
    setMemoText(text);
}
