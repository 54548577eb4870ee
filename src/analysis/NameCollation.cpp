#include "analysis/NameCollation.h"

#include <QLocale>

namespace tarnwick {

QCollator nameCollator(bool numeric) {
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator collator(locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(numeric);
    return collator;
}

} // namespace tarnwick
