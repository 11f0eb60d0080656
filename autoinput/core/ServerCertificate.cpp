// SPDX-License-Identifier: GPL-3.0-or-later
#include "autoinput/core/ServerCertificate.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <gnutls/gnutls.h>
#include <gnutls/x509.h>

#include <vector>

namespace quil::imap {
namespace {

struct TrustList {
    gnutls_x509_trust_list_t list = nullptr;
    TrustList() { gnutls_x509_trust_list_init(&list, 0); }
    ~TrustList() { gnutls_x509_trust_list_deinit(list, 1); }
};

struct Chain {
    std::vector<gnutls_x509_crt_t> certs;
    ~Chain() {
        for (gnutls_x509_crt_t c : certs)
            gnutls_x509_crt_deinit(c);
    }
};

QString reasonOf(unsigned status, const QString &host) {
    QStringList reasons;
    if (status & GNUTLS_CERT_SIGNER_NOT_FOUND)
        reasons << QStringLiteral("信頼できる認証局の署名がありません");
    if (status & GNUTLS_CERT_UNEXPECTED_OWNER)
        reasons << QStringLiteral("証明書は %1 のものではありません").arg(host);
    if (status & GNUTLS_CERT_EXPIRED)
        reasons << QStringLiteral("証明書の期限が切れています");
    if (status & GNUTLS_CERT_NOT_ACTIVATED)
        reasons << QStringLiteral("証明書はまだ有効になっていません");
    if (status & GNUTLS_CERT_REVOKED)
        reasons << QStringLiteral("証明書は失効しています");
    if (status & GNUTLS_CERT_INSECURE_ALGORITHM)
        reasons << QStringLiteral("証明書の署名の方式が安全ではありません");
    if (status & GNUTLS_CERT_SIGNATURE_FAILURE)
        reasons << QStringLiteral("証明書の署名が正しくありません");
    if (status & GNUTLS_CERT_PURPOSE_MISMATCH)
        reasons << QStringLiteral("証明書はサーバーのためのものではありません");
    if (reasons.isEmpty())
        reasons << QStringLiteral("証明書を検証できません");
    return reasons.join(QStringLiteral("、"));
}

} // namespace

QString untrustedReason(const QList<QByteArray> &chainDer, const QString &host) {
    if (chainDer.isEmpty())
        return QStringLiteral("サーバーが証明書を送ってきません");
    TrustList trust;
    if (gnutls_x509_trust_list_add_system_trust(trust.list, 0, 0) < 0)
        return QStringLiteral("システムの認証局を読めません");
    const QByteArray file = qgetenv("SSL_CERT_FILE");
    if (!file.isEmpty())
        gnutls_x509_trust_list_add_trust_file(trust.list, file.constData(), nullptr, GNUTLS_X509_FMT_PEM, 0, 0);
    const QStringList dirs = qEnvironmentVariable("SSL_CERT_DIR").split(u':', Qt::SkipEmptyParts);
    for (const QString &dir : dirs) {
        // Every PEM file of the folder, as OpenSSL's own folder of hashed
        // names and a plain folder of authorities both hold.
        const QFileInfoList entries = QDir(dir).entryInfoList(QDir::Files | QDir::Readable, QDir::Name);
        for (const QFileInfo &entry : entries)
            gnutls_x509_trust_list_add_trust_file(trust.list, QFile::encodeName(entry.filePath()).constData(),
                                                  nullptr, GNUTLS_X509_FMT_PEM, 0, 0);
    }

    Chain chain;
    for (const QByteArray &der : chainDer) {
        gnutls_x509_crt_t c;
        if (gnutls_x509_crt_init(&c) < 0)
            return QStringLiteral("証明書を検証できません");
        chain.certs.push_back(c);
        gnutls_datum_t datum{reinterpret_cast<unsigned char *>(const_cast<char *>(der.constData())),
                             unsigned(der.size())};
        if (gnutls_x509_crt_import(c, &datum, GNUTLS_X509_FMT_DER) < 0)
            return QStringLiteral("サーバーの証明書を読めません");
    }
    const QByteArray name = host.toUtf8();
    gnutls_typed_vdata_st data[2] = {};
    data[0].type = GNUTLS_DT_DNS_HOSTNAME;
    data[0].data = reinterpret_cast<unsigned char *>(const_cast<char *>(name.constData()));
    data[1].type = GNUTLS_DT_KEY_PURPOSE_OID;
    data[1].data = reinterpret_cast<unsigned char *>(const_cast<char *>(GNUTLS_KP_TLS_WWW_SERVER));
    unsigned status = 0;
    if (gnutls_x509_trust_list_verify_crt2(trust.list, chain.certs.data(), unsigned(chain.certs.size()), data, 2, 0,
                                           &status, nullptr)
        < 0)
        return QStringLiteral("証明書を検証できません");
    return status == 0 ? QString() : reasonOf(status, host);
}

} // namespace quil::imap
