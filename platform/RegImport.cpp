// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/RegImport.h"

#include "text/Error.h"

#include <QList>
#include <QSet>

#include <algorithm>

namespace quil {

namespace {

struct Pending {
    QString name;
    RegValue value;
    int line;
};

qsizetype indexOf(const QList<Pending> &values, const QString &name) {
    for (qsizetype i = 0; i < values.size(); ++i)
        if (QString::compare(values[i].name, name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

// The settings file refuses such names; they are found before anything is written.
bool hasControl(const QString &text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; });
}

} // namespace

QString RegImportResult::message() const {
    return QStringLiteral("設定を %1 個読みこみました（ほかのキー %2 個は読みこんでいません）。")
        .arg(QString::number(imported), QString::number(otherKeys));
}

RegImportResult importRegExport(const RegExport &file, const QString &fileName, const QString &key,
                                RegistryFile &settings) {
    QList<Pending> values;
    QSet<QString> others;
    bool found = false;
    for (const RegExportKey &k : file.keys) {
        if (!k.isUserKey(key)) {
            if (!k.deletion)
                others.insert(k.root + u'\\' + k.path.toCaseFolded());
            continue;
        }
        if (k.deletion) {
            values.clear();
            continue;
        }
        found = true;
        for (const RegExportValue &v : k.values) {
            const qsizetype at = indexOf(values, v.name);
            if (v.deletion) {
                if (at >= 0)
                    values.removeAt(at);
            } else if (at >= 0) {
                values[at].value = *v.value;
                values[at].line = v.line;
            } else {
                values.append(Pending{v.name, *v.value, v.line});
            }
        }
    }
    if (!found)
        throw Error(QStringLiteral("ファイル %1 にはキー HKEY_CURRENT_USER\\%2 がありません").arg(fileName, key));
    for (const Pending &p : values)
        if (hasControl(p.name))
            throw Error(QStringLiteral("ファイル %1 の %2 行目の値の名前は制御文字を含むため、設定に使えません")
                            .arg(fileName, QString::number(p.line)));

    RegImportResult result;
    result.otherKeys = int(others.size());
    for (const Pending &p : values) {
        settings.setValue(key, p.name, p.value);
        ++result.imported;
    }
    return result;
}

RegImportResult importRegExport(const QString &exportPath, const QString &key, RegistryFile &settings) {
    return importRegExport(readRegExport(exportPath), exportPath, key, settings);
}

} // namespace quil
