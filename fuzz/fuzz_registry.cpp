// SPDX-License-Identifier: GPL-3.0-or-later
// Outside bytes as the settings file (registry.reg): read values, set one,
// delete it again. quil::Error is an expected outcome; anything else is a
// finding. What is written must read back as it was set, leave every other
// value as it was, and writing the same value twice must give the same file.
#include "platform/Registry.h"
#include "text/Error.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {

using quil::RegistryFile;
using quil::RegType;
using quil::RegValue;

struct Place {
    QString key;
    QString name;
};

bool samePlace(const Place &a, const Place &b) {
    // Keys are compared part by part, blanks around a part and empty parts not counting.
    auto norm = [](const QString &k) {
        QStringList parts;
        for (const QString &part : k.split(u'\\'))
            if (!part.trimmed().isEmpty())
                parts << part.trimmed();
        return parts.join(u'\\');
    };
    return QString::compare(norm(a.key), norm(b.key), Qt::CaseInsensitive) == 0
        && QString::compare(a.name, b.name, Qt::CaseInsensitive) == 0;
}

bool sameValue(const std::optional<RegValue> &a, const std::optional<RegValue> &b) {
    if (a.has_value() != b.has_value())
        return false;
    if (!a)
        return true;
    if (a->type != b->type)
        return false;
    switch (a->type) {
    case RegType::String:
    case RegType::ExpandString:
        return a->text == b->text;
    case RegType::DWord:
        return a->dword == b->dword;
    case RegType::Binary:
        return a->data == b->data;
    }
    return false;
}

[[noreturn]] void finding(const char *what, const Place &p) {
    std::fprintf(stderr, "%s: key \"%s\", name \"%s\"\n", what, p.key.toUtf8().constData(), p.name.toUtf8().constData());
    std::abort();
}

// Fast flushes: a folder in memory when there is one. Removed at exit.
QString workFolder() {
    static const QString shm = QStringLiteral("/dev/shm");
    static QTemporaryDir dir(QDir(shm).exists() ? shm + QStringLiteral("/fuzz_registry-XXXXXX")
                                                : QDir::tempPath() + QStringLiteral("/fuzz_registry-XXXXXX"));
    return dir.path();
}

// Keys and names as they stand in the file, so that the fuzzer reaches its
// own values, and those the program uses.
QList<Place> placesIn(const QString &text) {
    QStringList keys{QStringLiteral("software\\KAV\\QUIL"), QStringLiteral(" SOFTWARE\\kav \\\\quil\\")};
    QStringList names{QStringLiteral("InstallVer"), QString()};
    static const QRegularExpression header(QStringLiteral(R"(^\s*\[\s*(?:HKEY_CURRENT_USER|HKCU)\\([^\r\n]*)\]\s*$)"),
                                           QRegularExpression::MultilineOption
                                               | QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression value(QStringLiteral(R"re(^\s*"((?:[^"\\\r\n]|\\.)*)"\s*=)re"),
                                          QRegularExpression::MultilineOption);
    for (auto it = header.globalMatch(text); it.hasNext() && keys.size() < 4;)
        keys << it.next().captured(1);
    for (auto it = value.globalMatch(text); it.hasNext() && names.size() < 5;) {
        QString n = it.next().captured(1);
        n.replace(QStringLiteral("\\\\"), QStringLiteral("\\")).replace(QStringLiteral("\\\""), QStringLiteral("\""));
        names << n;
    }
    QList<Place> places;
    for (const QString &k : keys)
        for (const QString &n : names)
            places << Place{k, n};
    return places;
}

QByteArray fileBytes(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString path = workFolder() + QStringLiteral("/registry.reg");
    {
        QFile::remove(path);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            std::abort();
    }
    RegistryFile file(path);
    const QList<Place> places = placesIn(QString::fromUtf8(bytes));
    QList<std::optional<RegValue>> before;
    for (const Place &p : places) {
        (void)file.keyExists(p.key);
        before << file.value(p.key, p.name);
    }

    // A value of every type, its content taken from the input.
    RegValue v;
    const QList<QByteArray> lines = bytes.split('\n');
    switch (size % 4) {
    case 0:
        v = RegValue::string(QString::fromUtf8(lines.last()));
        break;
    case 1:
        v.type = RegType::ExpandString;
        v.text = QString::fromUtf8(lines.first());
        break;
    case 2:
        v = RegValue::number(quint32(qHash(bytes)));
        break;
    default:
        v.type = RegType::Binary;
        v.data = bytes.left(100);
        break;
    }
    // A registry text ends at its first NUL.
    RegValue stored = v;
    if (const qsizetype nul = stored.text.indexOf(QChar(u'\0')); nul >= 0)
        stored.text.truncate(nul);
    const qsizetype target = qsizetype(qHash(bytes, 1) % size_t(places.size()));
    const Place &p = places[target];

    auto othersUnchanged = [&](const char *after) {
        for (qsizetype i = 0; i < places.size(); ++i)
            if (!samePlace(places[i], p) && !sameValue(file.value(places[i].key, places[i].name), before[i]))
                finding(after, places[i]);
    };

    try {
        file.setValue(p.key, p.name, v);
    } catch (const quil::Error &) {
        // A key or name the file cannot hold is refused before anything is written.
        if (fileBytes(path) != bytes)
            finding("a refused value changed the file", p);
        return 0;
    }
    if (!sameValue(file.value(p.key, p.name), stored))
        finding("a value does not read back as it was set", p);
    if (!sameValue(RegistryFile(path).value(p.key, p.name), stored))
        finding("a value does not read back from a fresh reader", p);
    if (!file.keyExists(p.key))
        finding("the key of a value just set is missing", p);
    othersUnchanged("setting one value changed another");
    const QByteArray written = fileBytes(path);
    file.setValue(p.key, p.name, v);
    if (fileBytes(path) != written)
        finding("setting the same value again changed the file", p);

    if (!file.deleteValue(p.key, p.name))
        finding("a value just set could not be deleted", p);
    if (file.value(p.key, p.name))
        finding("a deleted value is still there", p);
    othersUnchanged("deleting one value changed another");
    return 0;
}
