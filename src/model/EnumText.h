#pragma once

#include "platform/TextKey.h"

#include <QString>
#include <QStringView>

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>

// The text values of an enumeration kept in one table: each enumeration declares
//     constexpr auto texts = std::to_array<EnumText<E>>({{E::a, u"A"}, ...});
// and its `text(E)` and `...FromText(QString)` read that table.
namespace tarnwick {

template <typename E> struct EnumText {
    E value;
    QStringView text;
};

// How a text read back names a case: the same units, or the same text by canonical equivalence.
enum class EnumTextMatch { exact, canonical };

// The text of `value`; a value missing from the table (one cast from a stray integer) reads as the
// text of `otherwise`, or as an empty text without it.
template <typename E, std::size_t N>
QString enumText(const std::array<EnumText<E>, N>& table, E value, std::optional<E> otherwise = {}) {
    for (const EnumText<E>& entry : table) {
        if (entry.value == value)
            return QString::fromRawData(entry.text.data(), entry.text.size()); // static text: no copy
    }
    return otherwise ? enumText(table, *otherwise) : QString();
}

// Whether `table` names every value of E once, in the enumeration's order; E ends with a `count`
// enumerator, so a value appended to E without a row fails the check.
template <typename E, std::size_t N> constexpr bool coversInOrder(const std::array<EnumText<E>, N>& table) {
    if (N != std::size_t(E::count))
        return false;
    for (std::size_t i = 0; i < N; ++i) {
        if (table[i].value != E(i))
            return false;
    }
    return true;
}

template <typename E, std::size_t N>
std::optional<E> enumFromText(const std::array<EnumText<E>, N>& table, const QString& text,
                              EnumTextMatch match) {
    const auto named = std::find_if(table.begin(), table.end(), [&](const EnumText<E>& entry) {
        const QString own = QString::fromRawData(entry.text.data(), entry.text.size());
        return match == EnumTextMatch::canonical ? text::canonicalEquals(own, text) : own == text;
    });
    return named == table.end() ? std::nullopt : std::optional<E>(named->value);
}

} // namespace tarnwick
