#include "readers/ResolveCSV.h"
#include "readers/ResolveCSVMessages.h"

#include <QByteArrayView>

#include <cstddef>
#include <cstdint>

using namespace tarnwick;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(data, static_cast<qsizetype>(size));
    try {
        const ResolveCSVParse result = ResolveCSV::parse(bytes);
        for (const ResolveCSVRow& row : result.rows) {
            if (!row.fullPath().startsWith(QLatin1Char('/')) &&
                row.clipDirectory.startsWith(QLatin1Char('/')))
                __builtin_trap(); // an absolute directory always gives an absolute path
        }
        ResolveCSV::partition(result.rows, [](const QString& p) { return p.size() % 2 == 0; });
    } catch (const ResolveCSVError& e) {
        daVinciCSVErrorMessage(e, QStringLiteral("fuzz.csv"));
    }
    return 0;
}
