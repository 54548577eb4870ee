#include "model/PathComponents.h"

#include "platform/TextKey.h"

namespace tarnwick {

QStringList pathComponentsHelper(const QString& path) {
    // One pass over ASCII paths (the common case); other text goes through full case mapping.
    QString lower;
    if (QtPrivate::isAscii(path)) {
        lower.resize(path.size());
        QChar* out = lower.data();
        for (QChar c : path) {
            const char16_t u = c.unicode();
            *out++ = QChar(u >= u'A' && u <= u'Z' ? char16_t(u + 32) : u);
        }
    } else {
        lower = text::lowered(path);
    }
    QStringList components;
    const QStringView view(lower);
    qsizetype start = 0;
    for (qsizetype i = 0; i <= view.size(); ++i) {
        if (i < view.size() && view[i] != u'/' && view[i] != u'\\')
            continue;
        if (i > start)
            components.append(view.sliced(start, i - start).toString());
        start = i + 1;
    }
    return components;
}

} // namespace tarnwick
