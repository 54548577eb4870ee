#include "ui/brand/BrandFonts.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QHash>
#include <QMutex>
#include <QScreen>
#include <QThread>

namespace tarnwick::Font {

namespace {

struct FaceInfo {
    QString family;
    int weight = 400;
    bool monospaced = false;
};

const QHash<QString, FaceInfo>& faces() {
    static const QHash<QString, FaceInfo> table{
        {QStringLiteral("DMSans9pt-Regular"), {QStringLiteral("DM Sans"), 400, false}},
        {QStringLiteral("DMSans9pt-Medium"), {QStringLiteral("DM Sans"), 500, false}},
        {QStringLiteral("DMSans9pt-SemiBold"), {QStringLiteral("DM Sans"), 600, false}},
        {QStringLiteral("DMSans9pt-Bold"), {QStringLiteral("DM Sans"), 700, false}},
        {QStringLiteral("SpaceMono-Regular"), {QStringLiteral("Space Mono"), 400, true}},
        {QStringLiteral("SpaceMono-Bold"), {QStringLiteral("Space Mono"), 700, true}},
    };
    return table;
}

// Point size that renders as `pixels` logical pixels on the primary screen.
qreal pointSizeForPixels(qreal pixels) {
    qreal dpi = 96.0;
    if (const auto* screen = QGuiApplication::primaryScreen(); screen && screen->logicalDotsPerInchY() > 0)
        dpi = screen->logicalDotsPerInchY();
    return pixels * 72.0 / dpi;
}

// QFontDatabase::hasFamily asks fontconfig on every call, and painting asks per table cell; the
// answers hold until the font database changes.
bool hasFamily(const QString& family) {
    static QMutex mutex;
    static QHash<QString, bool> known;
    static bool watching = false;
    {
        QMutexLocker lock(&mutex);
        if (const auto found = known.constFind(family); found != known.cend())
            return *found;
    }
    const bool available = QFontDatabase::hasFamily(family);
    QMutexLocker lock(&mutex);
    if (!watching && qGuiApp && qGuiApp->thread() == QThread::currentThread()) {
        QObject::connect(qGuiApp, &QGuiApplication::fontDatabaseChanged, qGuiApp, [] {
            QMutexLocker relock(&mutex);
            known.clear();
        });
        watching = true;
    }
    if (watching)
        known.insert(family, available);
    return available;
}

} // namespace

QString brandFace(Weight weight) {
    switch (weight) {
    case Weight::bold:
    case Weight::heavy:
    case Weight::black:
        return QStringLiteral("DMSans9pt-Bold");
    case Weight::semibold:
        return QStringLiteral("DMSans9pt-SemiBold");
    case Weight::medium:
        return QStringLiteral("DMSans9pt-Medium");
    case Weight::ultraLight:
    case Weight::thin:
    case Weight::light:
    case Weight::regular:
        break;
    }
    return QStringLiteral("DMSans9pt-Regular");
}

QString brandMonoFace(Weight weight) {
    switch (weight) {
    case Weight::bold:
    case Weight::semibold:
    case Weight::heavy:
    case Weight::black:
        return QStringLiteral("SpaceMono-Bold");
    default:
        return QStringLiteral("SpaceMono-Regular");
    }
}

bool isFaceAvailable(const QString& faceName) {
    const auto it = faces().constFind(faceName);
    return it != faces().constEnd() && hasFamily(it->family);
}

QFont face(const QString& faceName, qreal size) {
    const FaceInfo info = faces().value(faceName, FaceInfo{{}, 400, false});
    QFont font;
    if (!info.family.isEmpty() && hasFamily(info.family)) {
        font.setFamilies({info.family});
    } else {
        font = QFontDatabase::systemFont(info.monospaced ? QFontDatabase::FixedFont
                                                         : QFontDatabase::GeneralFont);
    }
    font.setWeight(static_cast<QFont::Weight>(info.weight));
    font.setStyle(QFont::StyleNormal);
    font.setPointSizeF(pointSizeForPixels(size));
    return font;
}

QFont brand(qreal size, Weight weight) {
    return face(brandFace(weight), size);
}

QFont brandMono(qreal size, Weight weight) {
    return face(brandMonoFace(weight), size);
}

} // namespace tarnwick::Font
