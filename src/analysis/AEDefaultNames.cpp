#include "analysis/AEDefaultNames.h"

#include "platform/TextKey.h"

#include <QSet>

namespace tarnwick::AEDefaultNames {

namespace {

// Lower-cased, canonical, every run of spaces (an ideographic or a no-break one too) one space.
QString key(const QString& name) {
    const QString lowered = text::nfc(text::lowered(name));
    QString out;
    out.reserve(lowered.size());
    for (const QChar c : lowered) {
        if (!c.isSpace())
            out.append(c);
        else if (!out.isEmpty() && !out.endsWith(u' '))
            out.append(u' ');
    }
    if (out.endsWith(u' '))
        out.chop(1);
    return out;
}

// What a new composition and a pre-composition are called before their number, as After Effects
// writes them in each of its languages; with them the plain word for a composition in each, which
// numbered says as little whoever typed it.
const QSet<QString>& compositionStems() {
    static const QSet<QString> stems = [] {
        QSet<QString> set;
        for (const char16_t* stem : {u"Comp",           u"Pre-comp",
                                     u"Composition",    u"Precomp.",
                                     u"Composición",    u"Precomposición",
                                     u"Composição",     u"Pré-composição",
                                     u"Composizione",   u"Pre-composizione",
                                     u"Komp",           u"Komposition",
                                     u"Vorkomposition", u"Précomposition",
                                     u"Композиция",     u"Предварительная композиция",
                                     u"コンポ",         u"プリコンポジション",
                                     u"プリコンポーズ", u"컴포지션",
                                     u"사전 구성",      u"合成",
                                     u"预合成",         u"預合成"})
            set.insert(key(QString::fromUtf16(stem)));
        return set;
    }();
    return stems;
}

const QSet<QString>& projectNames() {
    static const QSet<QString> names = [] {
        QSet<QString> set;
        for (const char16_t* name : {u"Untitled Project", u"无标题项目", u"無標題專案",
                                     u"名称未設定プロジェクト", u"無題のプロジェクト", u"제목 없는 프로젝트",
                                     u"Unbenanntes Projekt", u"Projet sans titre", u"Proyecto sin título",
                                     u"Progetto senza titolo", u"Projeto sem título", u"Проект без названия"})
            set.insert(key(QString::fromUtf16(name)));
        return set;
    }();
    return names;
}

} // namespace

bool isDefaultCompositionName(const QString& name) {
    const QString k = key(name);
    qsizetype digits = k.size();
    while (digits > 0 && k[digits - 1] >= u'0' && k[digits - 1] <= u'9')
        --digits;
    // A number, after a space: what follows the stem in every language.
    if (digits == k.size() || digits < 2 || k[digits - 1] != u' ')
        return false;
    return compositionStems().contains(k.first(digits - 1));
}

bool isDefaultProjectName(const QString& name) {
    QString k = key(name);
    if (k.endsWith(QLatin1StringView(".aep")))
        k = key(k.chopped(4));
    return projectNames().contains(k);
}

} // namespace tarnwick::AEDefaultNames
