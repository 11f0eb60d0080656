// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: arbitrary bytes through the ISO-2022-JP conversion the
// automatic-input window applies to dropped text.
#include "autoinput/core/Jis.h"
#include "text/Cp932.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    // Lines as the window splits them; any byte may stand in a line here.
    const QList<QByteArray> lines = bytes.split('\n');
    const QList<QByteArray> out = quil::jis::JisToShiftJisLines(lines);
    if (out.size() != lines.size())
        std::abort();
    for (qsizetype i = 0; i < out.size(); ++i) {
        // Pairs stay two bytes, escapes vanish, other bytes stay one: never longer.
        if (out[i].size() > lines[i].size())
            std::abort();
        (void)quil::cp932::decode(out[i]);
    }
    if (size >= 2 && quil::jis::JisPairToShiftJis(data[0], data[1]).size() != 2)
        std::abort();
    return 0;
}
