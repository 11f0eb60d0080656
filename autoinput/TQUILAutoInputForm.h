// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "autoinput/core/ListHeaders.h"
#include "autoinput/DropFiles.h"
#include "autoinput/DropText.h"

#include <QByteArray>
#include <QList>
#include <QWidget>

class QCheckBox;
class QFrame;
class QPlainTextEdit;
class QPushButton;

// The automatic-input window ("自動入力フォーム"). Created sixth at start-up.
// Its memo is the parser's only buffer: whatever stands in it is what the
// next import reads.
class TQUILAutoInputForm : public QWidget {
    Q_OBJECT
public:
    explicit TQUILAutoInputForm(QWidget *parent = nullptr);
    ~TQUILAutoInputForm() override;

    // Far above any real paste; a copy or drop that would pass it is refused
    // and the memo keeps its text. Counted in characters, a line break as one.
    static constexpr qsizetype MemoCapacity = qsizetype(64) * 1024 * 1024;
    // The limit in force; tests lower it.
    qsizetype memoCapacity = MemoCapacity;

    QFrame *Panel1;
    QPushButton *BitBtn1;
    QPushButton *BitBtn2;
    QPushButton *BitBtn3;
    QPushButton *BitBtn0;
    QCheckBox *CheckBoxMRC;
    QCheckBox *CheckBoxOEDrop;
    QPlainTextEdit *Memo1;
    NuvraOLE::TOLEDropText *OLEDropText;
    NuvraOLE::TOLEDropFiles *OLEDropFiles;

    // Handlers; each runs inside the general error display.
    void BitBtn1Click(QObject *Sender = nullptr);
    void BitBtn2Click(QObject *Sender = nullptr);
    void BitBtn3Click(QObject *Sender = nullptr);
    void BitBtn0Click(QObject *Sender = nullptr);
    void OLEDropDrop(QObject *Sender, NuvraOLE::TShiftState Shift, int X, int Y);

    static QList<QByteArray> JisToShiftJisLines(const QList<QByteArray> &lines);
    static QByteArray JisPairToShiftJis(unsigned char j1, unsigned char j2);

    // The memo's text with "\n" between lines, exactly as the reader sees it.
    QString memoText() const;

private:
    // The list headers of messages dropped since the last import.
    QList<quil::mail::ListHeaders> m_pendingLists;
    void setMemoText(const QString &text);
    void copyFromClipboard();
    void runImport();
    void takeDrop(QObject *Sender);
    void checkCapacity(qsizetype size) const;
};

extern TQUILAutoInputForm *QUILAutoInputForm;
