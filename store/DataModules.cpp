// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/DataModules.h"

#include "platform/DataDirs.h"
#include "platform/ErrorDisplay.h"
#include "store/Columns.h"
#include "store/ImapPositions.h"
#include "store/ListInfo.h"
#include "text/Error.h"

TDataModule1 *DataModule1 = nullptr;
TMMagSysDataModule *MMagSysDataModule = nullptr;

using quil::FieldDef;
using quil::FieldType;
using quil::Table;
namespace col = quil::col;

namespace {

const QString kMagazineFile = QStringLiteral("MMagaInfo.DB");
const QString kSystemsFile = QStringLiteral("MMagaSys.DB");

struct BuiltIn {
    int id;
    const QString &name;
};
// The services the program recognises by name; their rules are the table of
// cancel/core/Services, so only the name and a low (locked) number matter here.
const BuiltIn kBuiltIns[] = {{1, quil::service::MagMag},
                             {2, quil::service::Pubzine},
                             {3, quil::service::Melma},
                             {4, quil::service::OwnSystem},
                             {5, quil::service::MailingList}};

// Adds the built-in rows the table lacks: all of them to a new table, and
// to an older one the rows added since, without asking.
void installBuiltInRows(const QString &directory) {
    Table t(kSystemsFile, TMMagSysDataModule::schema());
    t.setDirectory(directory);
    t.open();
    std::vector<const BuiltIn *> missing;
    for (const BuiltIn &row : kBuiltIns)
        if (!t.containsValue(col::MMSysName, row.name))
            missing.push_back(&row);
    if (!missing.empty()) {
        // Only then the write lock: a start that adds nothing waits for nobody.
        Table::Walk walk(t);
        for (const BuiltIn *built : missing) {
            const BuiltIn &row = *built;
            t.append();
            t.fieldByName(col::MMSysID).setAsInteger(row.id);
            t.fieldByName(col::MMSysName).setAsString(row.name);
            t.fieldByName(col::AppendMMID).setAsBoolean(false);
            t.fieldByName(col::MMIDFigure).setAsInteger(0);
            t.fieldByName(col::NeedMemberID).setAsBoolean(false);
            t.fieldByName(col::Note).setAsString(QStringLiteral("組み込みの発行システム"));
            t.post();
        }
        walk.end();
    }
    t.close();
}

// Creates the publishing-system file when missing, with its built-in rows,
// and adds a built-in row an older file lacks.
void ensureSystemsTable(Table &systems) {
    if (systems.createIfMissing()) {
        installBuiltInRows(systems.directory());
        return;
    }
    if (systems.active())
        return;
    try {
        installBuiltInRows(systems.directory());
    } catch (const quil::Error &) {
        // A file that cannot take the row now (full, read-only, held by
        // another program) gets it at a later start.
    }
}

} // namespace

// ---------------------------------------------------------------------------

TDataModule1::TDataModule1(QObject *parent) : QObject(parent) {
    setObjectName(QStringLiteral("DataModule1"));
    Table1 = new Table(kMagazineFile, schema(), this);
    Table1->setObjectName(QStringLiteral("Table1"));
    Table1->setSideSchema(quil::ListInfos::schema() + quil::ImapPositions::schema());
    DataSource1 = new quil::DataSource(Table1, this);
    DataSource1->setObjectName(QStringLiteral("DataSource1"));
    Table1PublishingSF = &Table1->fieldByName(col::Publishing);
    Table1MBNameSF = &Table1->fieldByName(col::MBName);
    Table1MBIDIF = &Table1->fieldByName(col::MBID);
    Table1MBTypeSF = &Table1->fieldByName(col::MBType);
    Table1MBCycleSF = &Table1->fieldByName(col::MBCycle);
    Table1WebSF = &Table1->fieldByName(col::Web);
    Table1PublisherSF = &Table1->fieldByName(col::Publisher);
    Table1RegAddressSF = &Table1->fieldByName(col::RegAddress);
    Table1RegTimeDTF = &Table1->fieldByName(col::RegTime);
    Table1IPAddressSF = &Table1->fieldByName(col::IPAddress);
    Table1ChargeOrFreeSF = &Table1->fieldByName(col::ChargeOrFree);
    Table1ExplanationSF = &Table1->fieldByName(col::Explanation);
    Table1DeleteStateSF = &Table1->fieldByName(col::DeleteState);

    Table1->onNewRecord = [this](Table &t) { Table1NewRecord(t); };
    Table1->afterScroll = [this](Table &t) { Table1AfterScroll(t); };
    Table1->beforeDelete = [this](Table &t) { Table1BeforeDelete(t); };
    Table1->afterDelete = [this](Table &t) { Table1AfterDelete(t); };

    connect(Table1, &Table::recordChanged, this, [this] {
        if (m_syncPending && !Table1->controlsDisabled()) {
            m_syncPending = false;
            quil::guard([this] { syncPublishing(); });
        }
    });

    DataModule1 = this;
    quil::guard([this] { DataModule1Create(); });
}

TDataModule1::~TDataModule1() {
    Table1->onNewRecord = nullptr;
    Table1->afterScroll = nullptr;
    Table1->beforeDelete = nullptr;
    Table1->afterDelete = nullptr;
    try {
        Table1->close();
    } catch (...) {
        // Nothing can be shown any more; the table's own destructor lets go.
    }
    if (DataModule1 == this)
        DataModule1 = nullptr;
}

std::vector<FieldDef> TDataModule1::schema() {
    return {
        {col::Publishing, FieldType::String, 30},   {col::MBName, FieldType::String, 255},
        {col::MBID, FieldType::Integer, 0},         {col::MBType, FieldType::String, 25},
        {col::MBCycle, FieldType::String, 30},      {col::Web, FieldType::String, 255},
        {col::Publisher, FieldType::String, 255},   {col::RegAddress, FieldType::String, 255},
        {col::RegTime, FieldType::DateTime, 0},     {col::IPAddress, FieldType::String, 15},
        {col::ChargeOrFree, FieldType::String, 4},  {col::Explanation, FieldType::String, 240},
        {col::DeleteState, FieldType::String, 30},
    };
}

void TDataModule1::DataModule1Create() {
    if (!Table1->active())
        Table1->setDirectory(quil::dataDirectory());
    Table1->createIfMissing();
}

void TDataModule1::Table1NewRecord(Table &) {
    if (!setDeleteButtonEnabled)
        return;
    if (!deleteButtonEnabled || !deleteButtonEnabled())
        setDeleteButtonEnabled(true);
}

void TDataModule1::Table1AfterScroll(Table &) {
    // Keep the current rows of both tables permanently in editing, so bound
    // controls write straight into them and a move stores what changed.
    Table1->setActive(true);
    Table1->edit();
    if (MMagSysDataModule) {
        Table *systems = MMagSysDataModule->Table2;
        systems->setActive(true);
        systems->edit();
    }
    if (!syncPublishingRadio)
        return;
    if (Table1->controlsDisabled()) {
        m_syncPending = true;
        return;
    }
    syncPublishing();
}

QString TDataModule1::lookedUpPublishing() const {
    if (!Table1->active() || !MMagSysDataModule)
        return QString();
    return quil::lookedUpPublishing(Table1PublishingSF->asString(), *MMagSysDataModule->Table2);
}

void TDataModule1::syncPublishing() {
    if (syncPublishingRadio)
        syncPublishingRadio(lookedUpPublishing());
}

void TDataModule1::Table1BeforeDelete(Table &) {
    if (writeCancelNotice)
        writeCancelNotice();
}

void TDataModule1::Table1AfterDelete(Table &t) {
    if (t.recordCount() == 0 && setDeleteButtonEnabled)
        setDeleteButtonEnabled(false);
}

// ---------------------------------------------------------------------------

TMMagSysDataModule::TMMagSysDataModule(QObject *parent) : QObject(parent) {
    setObjectName(QStringLiteral("MMagSysDataModule"));
    Table2 = new Table(kSystemsFile, schema(), this);
    Table2->setObjectName(QStringLiteral("Table2"));
    DataSource2 = new quil::DataSource(Table2, this);
    DataSource2->setObjectName(QStringLiteral("DataSource2"));
    Table2MMSysIDIF = &Table2->fieldByName(col::MMSysID);
    Table2MMSysNameSF = &Table2->fieldByName(col::MMSysName);
    Table2CancelUrlSF = &Table2->fieldByName(col::CancelUrl);
    Table2MMIDBF = &Table2->fieldByName(col::AppendMMID);
    Table2MMIDFigureIF = &Table2->fieldByName(col::MMIDFigure);
    Table2MemberIDBF = &Table2->fieldByName(col::NeedMemberID);
    Table2MemberIDSF = &Table2->fieldByName(col::MemberID);
    Table2MemberPassSF = &Table2->fieldByName(col::MemberPass);
    Table2RegAddressSF = &Table2->fieldByName(col::SysRegAddress);
    Table2ExpansionSF = &Table2->fieldByName(col::Expansion);
    Table2NoteSF = &Table2->fieldByName(col::Note);

    Table2->onNewRecord = [this](Table &t) { Table2NewRecord(t); };
    Table2->afterScroll = [this](Table &t) { Table2AfterScroll(t); };

    MMagSysDataModule = this;
    quil::guard([this] { MMagSysDataModuleCreate(); });
}

TMMagSysDataModule::~TMMagSysDataModule() {
    Table2->onNewRecord = nullptr;
    Table2->afterScroll = nullptr;
    try {
        Table2->close();
    } catch (...) {
    }
    if (MMagSysDataModule == this)
        MMagSysDataModule = nullptr;
}

std::vector<FieldDef> TMMagSysDataModule::schema() {
    return {
        {col::MMSysID, FieldType::SmallInt, 0},       {col::MMSysName, FieldType::String, 30},
        {col::CancelUrl, FieldType::String, 100},     {col::AppendMMID, FieldType::Boolean, 0},
        {col::MMIDFigure, FieldType::SmallInt, 0},    {col::NeedMemberID, FieldType::Boolean, 0},
        {col::MemberID, FieldType::String, 50},       {col::MemberPass, FieldType::String, 50},
        {col::SysRegAddress, FieldType::String, 50},  {col::Expansion, FieldType::String, 5},
        {col::Note, FieldType::String, 255},
    };
}

void TMMagSysDataModule::MMagSysDataModuleCreate() {
    if (!Table2->active())
        Table2->setDirectory(quil::dataDirectory());
    ensureSystemsTable(*Table2);
}

void TMMagSysDataModule::Table2NewRecord(Table &) { Table2MMSysIDIF->setAsInteger(-1); }

bool TMMagSysDataModule::isLockedId(int id) { return id < 10 && id != -1; }

void TMMagSysDataModule::Table2AfterScroll(Table &) {
    // The configuration window only mirrors the row; nothing here may stop a move.
    try {
        if (configView.setDigitsVisible)
            configView.setDigitsVisible(Table2MMIDBF->asBoolean());
        if (configView.setMemberGroupVisible)
            configView.setMemberGroupVisible(Table2MemberIDBF->asBoolean());
        if (configView.setLocked)
            configView.setLocked(isLockedId(Table2MMSysIDIF->asInteger()));
    } catch (...) {
    }
}

// ---------------------------------------------------------------------------

namespace quil {

void ensureTables(const QString &directory) {
    Table magazines(kMagazineFile, TDataModule1::schema());
    magazines.setDirectory(directory);
    magazines.createIfMissing();
    Table systems(kSystemsFile, TMMagSysDataModule::schema());
    systems.setDirectory(directory);
    ensureSystemsTable(systems);
}

QStringList builtInSystemNames() {
    QStringList names;
    for (const BuiltIn &row : kBuiltIns)
        names << row.name;
    return names;
}

QString lookedUpPublishing(const QString &publishing, Table &systems) {
    if (publishing.isEmpty() || !systems.active())
        return QString();
    return systems.containsValue(col::MMSysName, publishing) ? publishing : QString();
}

} // namespace quil
