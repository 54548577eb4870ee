#include "readers/ResolveCSV.h"
#include "readers/ResolveCSVMessages.h"

#include <QBuffer>
#include <QByteArrayView>

#include <cstddef>
#include <cstdint>
#include <optional>

using namespace tarnwick;

namespace {

// The parse, or the error it threw.
struct Outcome {
    std::optional<ResolveCSVParse> parse;
    std::optional<ResolveCSVError> error;

    bool operator==(const Outcome&) const = default;
};

template <class Parse> Outcome outcomeOf(Parse&& parse) {
    try {
        return {parse(), std::nullopt};
    } catch (const ResolveCSVError& e) {
        daVinciCSVErrorMessage(e, QStringLiteral("fuzz.csv"));
        return {std::nullopt, e};
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(data, static_cast<qsizetype>(size));
    const Outcome whole = outcomeOf([&] { return ResolveCSV::parse(bytes); });
    if (whole.parse) {
        for (const ResolveCSVRow& row : whole.parse->rows) {
            if (!row.fullPath().startsWith(QLatin1Char('/')) &&
                row.clipDirectory.startsWith(QLatin1Char('/')))
                __builtin_trap(); // an absolute directory always gives an absolute path
        }
        ResolveCSV::partition(whole.parse->rows, [](const QString& p) { return p.size() % 2 == 0; });
    }
    // Read in small pieces, from memory and from a device, the result is the same.
    if (!(outcomeOf([&] { return ResolveCSV::parse(bytes, 5); }) == whole))
        __builtin_trap();
    QBuffer device;
    device.setData(bytes.toByteArray());
    device.open(QIODevice::ReadOnly);
    if (!(outcomeOf([&] { return ResolveCSV::parse(device, 7); }) == whole))
        __builtin_trap();
    return 0;
}
