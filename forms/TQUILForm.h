// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QStringList>
#include <QWidget>

class QFrame;
class QLabel;
class QPushButton;

namespace quil {
class DBEdit;
class DBComboBox;
class DBMemo;
class DBRadioGroup;
class DBLookupComboBox;
class DBNavigator;
class RadioGroup;
} // namespace quil

// The record form ("データベースフォーム"): one magazine record, bound to the
// shared cursor of the magazine table. Created fifth at start-up and shown or
// hidden by the main window.
class TQUILForm : public QWidget {
    Q_OBJECT
public:
    explicit TQUILForm(QWidget *parent = nullptr);
    ~TQUILForm() override;

    // What other windows read.
    // The looked-up publishing value: the record's "発行媒体" when a row of
    // the publishing-system table has exactly that name, else empty (the
    // lookup box may still show the raw text). Every branch on the service
    // reads this.
    QString publishingText() const;
    QString webText() const;         // EditWeb
    QString magazineIdText() const;  // EditMBID
    // Replaces the choice list of DBComboBoxRegAddress; the record is not touched.
    void setAddressChoices(const QStringList &choices);

    void FormCreate();
    void BitBtn1Click();
    void BitJapmBtnClick();
    void BitMailBtnClick();
    void BitClipCopyBtnClick();
    void RadioGroupPublishingClick();
    void DBLookupPublishingClick();
    void EditKeyUp(int key);

    // The radio item a publishing value selects: 0 to 3, or -1 for an empty
    // value (selection left as it is).
    static int publishingRadioIndex(const QString &value);

    // Top strip
    QFrame *Panel1;
    quil::DBNavigator *DBNavigator;
    QPushButton *BitBtn1;
    // Field area
    QFrame *Panel2;
    quil::RadioGroup *RadioGroupPublishing;
    quil::DBLookupComboBox *DBLookupPublishing;
    quil::DBEdit *EditMBName;
    quil::DBEdit *EditMBID;
    quil::DBEdit *EditMBType;
    quil::DBEdit *EditMBCycle;
    quil::DBEdit *EditWeb;
    quil::DBEdit *EditPublisher;
    quil::DBComboBox *DBComboBoxRegAddress;
    quil::DBEdit *EditRegTime;
    quil::DBEdit *EditIPAddress;
    quil::DBRadioGroup *DBRadioGroupChargeOrFree;
    quil::DBMemo *DBMemoExplanation;
    quil::DBRadioGroup *DBRadioGroup1;
    QPushButton *BitClipCopyBtn;
    QPushButton *BitJapmBtn;
    QPushButton *BitMailBtn;
    QLabel *Label1;
    QLabel *Label2;
    QLabel *Label3;
    QLabel *Label4;
    QLabel *Label5;
    QLabel *Label6;
    QLabel *Label7;
    QLabel *Label8;
    QLabel *Label9;
    QLabel *Label10;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void bindControls();
    void arrangeTabOrder();

    // The name field's Enter moves on only when its press reached the field
    // with no conversion open: the Enter that takes an input method's
    // conversion belongs to the input method.
    bool m_composing = false;
    bool m_enterPressed = false;
};

extern TQUILForm *QUILForm;
