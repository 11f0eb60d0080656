// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "store/Table.h"

#include <QObject>
#include <functional>

// The magazine table's data module: the shared cursor, its data source, one
// field object per column, and the table's handlers.
class TDataModule1 : public QObject {
    Q_OBJECT
public:
    explicit TDataModule1(QObject *parent = nullptr);
    ~TDataModule1() override;

    quil::Table *Table1;
    quil::DataSource *DataSource1;
    quil::Field *Table1PublishingSF;
    quil::Field *Table1MBNameSF;
    quil::Field *Table1MBIDIF;
    quil::Field *Table1MBTypeSF;
    quil::Field *Table1MBCycleSF;
    quil::Field *Table1WebSF;
    quil::Field *Table1PublisherSF;
    quil::Field *Table1RegAddressSF;
    quil::Field *Table1RegTimeDTF;
    quil::Field *Table1IPAddressSF;
    quil::Field *Table1ChargeOrFreeSF;
    quil::Field *Table1ExplanationSF;
    quil::Field *Table1DeleteStateSF;

    // Hooks the windows connect when they are created; until then the step
    // that needs them is skipped.
    std::function<bool()> deleteButtonEnabled;            // main window's BitDeleteBtn
    std::function<void(bool)> setDeleteButtonEnabled;
    std::function<void(const QString &)> syncPublishingRadio; // record form, step 3
    std::function<void()> writeCancelNotice;              // notice writer (before delete)

    // The looked-up publishing value of the current record: its "発行媒体"
    // when the publishing-system table has a row of exactly that name, else
    // empty (also while either table is closed).
    QString lookedUpPublishing() const;
    // Step 3 of the after-scroll handling on its own: the record form's
    // radio group follows the current record.
    void syncPublishing();

    // Run by the constructor, like a creation event; running it again is harmless.
    void DataModule1Create();
    void Table1NewRecord(quil::Table &t);
    void Table1AfterScroll(quil::Table &t);
    void Table1BeforeDelete(quil::Table &t);
    void Table1AfterDelete(quil::Table &t);

    static std::vector<quil::FieldDef> schema();

private:
    // A walk with disabled controls leaves the radio group alone until the
    // controls hear of the record again.
    bool m_syncPending = false;
};

// The publishing-system table's data module.
class TMMagSysDataModule : public QObject {
    Q_OBJECT
public:
    explicit TMMagSysDataModule(QObject *parent = nullptr);
    ~TMMagSysDataModule() override;

    quil::Table *Table2;
    quil::DataSource *DataSource2;
    quil::Field *Table2MMSysIDIF;
    quil::Field *Table2MMSysNameSF;
    quil::Field *Table2CancelUrlSF;
    quil::Field *Table2MMIDBF;
    quil::Field *Table2MMIDFigureIF;
    quil::Field *Table2MemberIDBF;
    quil::Field *Table2MemberIDSF;
    quil::Field *Table2MemberPassSF;
    quil::Field *Table2RegAddressSF;
    quil::Field *Table2ExpansionSF;
    quil::Field *Table2NoteSF;

    // What Table2AfterScroll does to the configuration window. The window
    // connects it; errors inside it are swallowed.
    struct ConfigView {
        std::function<void(bool)> setDigitsVisible;     // DBEditMMagID and Label3
        std::function<void(bool)> setMemberGroupVisible; // GroupBoxMemberID
        std::function<void(bool)> setLocked;            // Panel1 shown, BitBtn2/ID/name disabled
    };
    ConfigView configView;

    void MMagSysDataModuleCreate();
    void Table2AfterScroll(quil::Table &t);
    // A new row is not numbered yet: it carries -1 in "発行システムＩＤ".
    void Table2NewRecord(quil::Table &t);

    // The lock rule: ID below 10 and not -1 (empty counts as 0).
    static bool isLockedId(int id);

    static std::vector<quil::FieldDef> schema();
};

// Application-wide instances, created first and second at start-up.
extern TDataModule1 *DataModule1;
extern TMMagSysDataModule *MMagSysDataModule;

namespace quil {

// Creates missing tables in the data directory with their schemas and the
// built-in publishing-system rows (まぐまぐ 1, Pubzine 2, melma 3, 独自システム 4).
void ensureTables(const QString &directory);

// The names of the built-in publishing-system rows, in their numbers' order.
QStringList builtInSystemNames();

// The record's "発行媒体" when a publishing-system row has exactly that name,
// else empty. Reads the publishing-system table without moving its cursor.
QString lookedUpPublishing(const QString &publishing, Table &systems);

} // namespace quil
