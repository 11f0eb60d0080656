// SPDX-License-Identifier: GPL-3.0-or-later
#include "autoinput/core/ListHeaders.h"

#include <QSet>

#include <algorithm>
#include <optional>

namespace quil::mail {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool hasScheme(const QString &uri, QLatin1String scheme) { return uri.startsWith(scheme, Qt::CaseInsensitive); }

QString firstWith(const QStringList &uris, std::initializer_list<QLatin1String> schemes) {
    for (const QString &uri : uris)
        for (QLatin1String scheme : schemes)
            if (hasScheme(uri, scheme))
                return uri;
    return {};
}

// Past a comment starting at v[i] == '(': nested ones and quoted pairs
// inside, to the end of the value when it is never closed.
qsizetype skipComment(QByteArrayView v, qsizetype i) {
    int depth = 0;
    for (; i < v.size(); ++i) {
        const char c = v[i];
        if (c == '\\')
            ++i;
        else if (c == '(')
            ++depth;
        else if (c == ')' && --depth == 0)
            return i + 1;
    }
    return v.size();
}

// Past a quoted string starting at v[i] == '"'; its content, quoted pairs undone, to out.
qsizetype takeQuoted(QByteArrayView v, qsizetype i, QByteArray *out) {
    for (++i; i < v.size(); ++i) {
        char c = v[i];
        if (c == '"')
            return i + 1;
        if (c == '\\' && i + 1 < v.size())
            c = v[++i];
        if (out && c != '\r' && c != '\n')
            *out += c;
    }
    return v.size();
}

// The value with comments taken out (a blank in their place) and line
// breaks of folding dropped; quoted strings kept as they stand.
QByteArray withoutComments(QByteArrayView v) {
    QByteArray out;
    out.reserve(v.size());
    qsizetype i = 0;
    while (i < v.size()) {
        const char c = v[i];
        if (c == '(') {
            i = skipComment(v, i);
            out += ' ';
        } else if (c == '"') {
            const qsizetype end = takeQuoted(v, i, nullptr);
            for (qsizetype k = i; k < end; ++k)
                if (v[k] != '\r' && v[k] != '\n')
                    out += v[k];
            i = end;
        } else {
            if (c != '\r' && c != '\n')
                out += c;
            ++i;
        }
    }
    return out;
}

QByteArray withoutBlanks(QByteArrayView v) {
    QByteArray out;
    out.reserve(v.size());
    for (char c : v)
        if (!isBlank(c))
            out += c;
    return out;
}

QByteArray domainOf(const QByteArray &identity) {
    const qsizetype at = identity.lastIndexOf('@');
    return at < 0 ? identity : identity.mid(at + 1);
}

// ---- Authentication-Results (RFC 8601) ------------------------------------

struct Pass {
    QByteArray domain; // lower case
    QByteArray b;      // the start of the signature's b= tag, or empty
};

bool isKeywordByte(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || c == '-' || c == '_';
}

// The "name=value" pairs of one resinfo, comments already gone. Blanks may
// stand around "=", "/" and "." (CFWS in the grammar); names come in lower
// case, "ptype.property" as one name, a method's version dropped.
QList<std::pair<QByteArray, QByteArray>> pairsOf(QByteArrayView s) {
    QList<std::pair<QByteArray, QByteArray>> pairs;
    qsizetype i = 0;
    const qsizetype n = s.size();
    auto skipBlanks = [&] {
        while (i < n && isBlank(s[i]))
            ++i;
    };
    auto keyword = [&] {
        const qsizetype start = i;
        while (i < n && isKeywordByte(s[i]))
            ++i;
        return s.sliced(start, i - start).toByteArray().toLower();
    };
    while (true) {
        skipBlanks();
        if (i >= n)
            break;
        QByteArray name = keyword();
        skipBlanks();
        if (i < n && s[i] == '/') { // method version
            ++i;
            skipBlanks();
            keyword();
            skipBlanks();
        }
        if (i < n && s[i] == '.') {
            ++i;
            skipBlanks();
            name += '.' + keyword();
            skipBlanks();
        }
        if (name.isEmpty() || i >= n || s[i] != '=') {
            // Not a pair: past the word, so that the scan goes on.
            while (i < n && !isBlank(s[i]))
                ++i;
            continue;
        }
        ++i;
        skipBlanks();
        QByteArray value;
        if (i < n && s[i] == '"') {
            i = takeQuoted(s, i, &value);
        } else {
            const qsizetype start = i;
            while (i < n && !isBlank(s[i]) && s[i] != '"')
                ++i;
            value = s.sliced(start, i - start).toByteArray();
        }
        pairs.append({std::move(name), std::move(value)});
    }
    return pairs;
}

// The dkim=pass results of an Authentication-Results field.
QList<Pass> dkimPasses(QByteArrayView field) {
    const QByteArray text = withoutComments(field);
    // Results are split at ";" outside quoted strings; the first piece is
    // the authserv-id, never a result.
    QList<QByteArrayView> pieces;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size();) {
        if (i == text.size() || text[i] == ';') {
            pieces.append(QByteArrayView(text).sliced(start, i - start));
            start = ++i;
        } else if (text[i] == '"') {
            i = takeQuoted(text, i, nullptr);
        } else {
            ++i;
        }
    }
    QList<Pass> passes;
    for (qsizetype p = 1; p < pieces.size(); ++p) {
        const auto pairs = pairsOf(pieces[p]);
        if (pairs.isEmpty() || pairs[0].first != "dkim" || pairs[0].second.compare("pass", Qt::CaseInsensitive) != 0)
            continue;
        QByteArray d, i, b;
        for (qsizetype k = 1; k < pairs.size(); ++k) {
            if (pairs[k].first == "header.d")
                d = pairs[k].second;
            else if (pairs[k].first == "header.i")
                i = pairs[k].second;
            else if (pairs[k].first == "header.b")
                b = pairs[k].second;
        }
        const QByteArray domain = (d.isEmpty() ? domainOf(i) : d).toLower();
        if (!domain.isEmpty())
            passes.append({domain, b});
    }
    return passes;
}

// ---- DKIM-Signature (RFC 6376) --------------------------------------------

struct Signature {
    QByteArray domain; // d=, lower case
    QByteArray b;      // b=, blanks removed
    QList<QByteArray> signedFields; // h=, lower case, in order
};

// A tag list of "name=value" specs separated by ";". Tag names are case
// sensitive; a list naming a tag twice is no signature.
std::optional<Signature> signatureOf(QByteArrayView field) {
    Signature sig;
    QSet<QByteArray> seen;
    bool hasD = false, hasH = false;
    for (QByteArrayView tag : QByteArray(field.data(), field.size()).split(';')) {
        const qsizetype eq = tag.indexOf('=');
        if (eq < 0) {
            if (!withoutBlanks(tag).isEmpty())
                return std::nullopt;
            continue; // the empty tag after a last ";"
        }
        const QByteArray name = withoutBlanks(tag.first(eq));
        const QByteArrayView value = tag.sliced(eq + 1);
        if (seen.contains(name))
            return std::nullopt;
        seen.insert(name);
        if (name == "d") {
            sig.domain = withoutBlanks(value).toLower();
            hasD = true;
        } else if (name == "b") {
            sig.b = withoutBlanks(value);
        } else if (name == "h") {
            for (const QByteArray &signedField : QByteArray(value.data(), value.size()).split(':'))
                sig.signedFields.append(withoutBlanks(signedField).toLower());
            hasH = true;
        }
    }
    if (!hasD || !hasH || sig.domain.isEmpty())
        return std::nullopt;
    return sig;
}

bool covers(const Signature &sig, const SigningHeaders &signing) {
    const auto lu = sig.signedFields.count("list-unsubscribe");
    const auto lup = sig.signedFields.count("list-unsubscribe-post");
    return lu >= 1 && lup >= 1 && lu >= signing.unsubscribeFields && lup >= signing.unsubscribePostFields;
}

} // namespace

QString ListHeaders::firstHttps() const { return firstWith(unsubscribe, {QLatin1String("https:")}); }

QString ListHeaders::firstWeb() const {
    for (const QString &uri : unsubscribe)
        if (hasScheme(uri, QLatin1String("http:")) || hasScheme(uri, QLatin1String("https:")))
            return uri;
    return {};
}

QString ListHeaders::firstMailto() const { return firstWith(unsubscribe, {QLatin1String("mailto:")}); }

QString readerAddress(const ListHeaders &headers, const QStringList &own) {
    QStringList mine;
    for (const QString &line : own)
        if (const QString a = line.trimmed(); !a.isEmpty())
            mine.append(a);
    for (const QStringList *addresses : {&headers.deliveredTo, &headers.originalTo, &headers.to, &headers.cc})
        for (const QString &address : *addresses)
            for (const QString &a : mine)
                if (a.compare(address.trimmed(), Qt::CaseInsensitive) == 0)
                    return a;
    return headers.to.isEmpty() ? QString() : headers.to.first();
}

QStringList listUris(QByteArrayView value) {
    QStringList uris;
    qsizetype i = 0;
    while (i < value.size() && uris.size() < MaxListUris) {
        const char c = value[i];
        if (c == '(') {
            i = skipComment(value, i);
        } else if (c == '"') {
            i = takeQuoted(value, i, nullptr);
        } else if (c == '<') {
            const qsizetype close = value.indexOf('>', i + 1);
            if (close < 0)
                break; // never closed: no URI
            const QByteArray uri = withoutBlanks(value.sliced(i + 1, close - i - 1));
            if (!uri.isEmpty())
                uris.append(QString::fromUtf8(uri));
            i = close + 1;
        } else {
            ++i;
        }
    }
    return uris;
}

ListIdField listIdField(QByteArrayView value) {
    QByteArray phrase;
    qsizetype i = 0;
    while (i < value.size()) {
        const char c = value[i];
        if (c == '(') {
            i = skipComment(value, i);
            phrase += ' ';
        } else if (c == '"') {
            i = takeQuoted(value, i, &phrase);
        } else if (c == '<') {
            const qsizetype close = value.indexOf('>', i + 1);
            const QByteArray id = close < 0 ? QByteArray() : withoutBlanks(value.sliced(i + 1, close - i - 1));
            if (id.isEmpty())
                return {};
            return {phrase.simplified(), QString::fromUtf8(id)};
        } else {
            if (c != '\r' && c != '\n')
                phrase += c;
            ++i;
        }
    }
    return {};
}

bool oneClickAllowed(const ListHeaders &list, const SigningHeaders &signing) {
    // The value is one exact key=value pair; only blanks around it are forgiven.
    if (list.unsubscribePost != QLatin1String("List-Unsubscribe=One-Click") || list.firstHttps().isEmpty())
        return false;
    // Real mail carries a few of each; a flood of them could only make the
    // pairing below slow, and ignoring signatures would make it lenient.
    constexpr qsizetype MaxPasses = 16, MaxSignatures = 16;
    if (signing.dkimSignatures.size() > MaxSignatures)
        return false;
    QList<Pass> passes = dkimPasses(signing.authenticationResults);
    if (passes.isEmpty())
        return false;
    passes.resize(std::min(passes.size(), MaxPasses));
    QList<Signature> signatures;
    for (const QByteArray &field : signing.dkimSignatures)
        if (auto sig = signatureOf(field))
            signatures.append(std::move(*sig));
    for (const Pass &pass : passes) {
        bool named = false, allCover = true;
        for (const Signature &sig : signatures) {
            if (sig.domain != pass.domain || !sig.b.startsWith(pass.b))
                continue;
            named = true;
            allCover = allCover && covers(sig, signing);
        }
        if (named && allCover)
            return true;
    }
    return false;
}

} // namespace quil::mail
