// SPDX-License-Identifier: GPL-3.0-or-later
// Outside bytes pasted into the automatic-input window: decoded as CP932 and
// run through the import and the registered-list check over in-memory tables.
// quil::Error is an expected outcome; anything else is a finding.
#include "autoinput/core/MailParser.h"
#include "platform/MessageBox.h"
#include "store/Columns.h"
#include "store/DataModules.h"
#include "text/Cp932.h"
#include "text/Error.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// Opening in-memory tables costs more than most runs, so one pair serves
// every input and is brought back to the same rows before each.
struct Tables {
    quil::Table mags{QStringLiteral("MMagaInfo.DB"), TDataModule1::schema()};
    quil::Table sys{QStringLiteral("MMagaSys.DB"), TMMagSysDataModule::schema()};

    Tables() {
        for (quil::Table *t : {&mags, &sys}) {
            t->setDirectory(QStringLiteral(":memory:"));
            t->createIfMissing();
            t->open();
        }
    }

    static void empty(quil::Table &t) {
        t.cancel();
        t.first();
        while (!t.isEmpty())
            t.remove();
    }

    void reset() {
        empty(mags);
        empty(sys);
        const char16_t *names[] = {u"まぐまぐ", u"Pubzine", u"melma", u"独自システム"};
        for (int i = 0; i < 4; ++i) {
            sys.append();
            sys.fieldByName(quil::col::MMSysID).setAsInteger(i + 1);
            sys.fieldByName(quil::col::MMSysName).setAsString(QString::fromUtf16(names[i]));
            sys.post();
        }
        // Records for the registered-list check to find and change.
        mags.append();
        mags.fieldByName(quil::col::Publishing).setAsString(QStringLiteral("まぐまぐ"));
        mags.fieldByName(quil::col::MBID).setAsInteger(1);
        mags.post();
        mags.append();
        mags.fieldByName(quil::col::Publishing).setAsString(QStringLiteral("まぐまぐ"));
        mags.fieldByName(quil::col::RegAddress).setAsString(QStringLiteral("reader@example.com"));
        mags.post();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static Tables *tables = [] {
        quil::MessageBox::setTestMode(true);
        return new Tables; // lives until the process ends
    }();

    const QString text = quil::cp932::decode(reinterpret_cast<const char *>(data), qsizetype(size));
    for (bool verify : {false, true}) {
        tables->reset();
        quil::MailParser parser(tables->mags, tables->sys);
        QString left = text;
        try {
            parser.run(left, verify);
        } catch (const quil::Error &) {
        }
        // Lines are only ever removed from the front.
        if (!text.endsWith(left)) {
            std::fprintf(stderr, "remaining text is not a tail of the input\n");
            std::abort();
        }
        quil::MessageBox::clearShown();
    }
    return 0;
}
