#include "model/ImageSequence.h"

namespace tarnwick {

namespace {

// Numbers longer than this are not frame numbers (and would not fit).
constexpr qsizetype maxDigits = 18;

bool isAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

std::optional<qint64> numberOf(QStringView digits) {
    if (digits.isEmpty() || digits.size() > maxDigits)
        return std::nullopt;
    qint64 value = 0;
    for (const QChar c : digits) {
        if (!isAsciiDigit(c))
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

QString padded(qint64 number, int digits) {
    return QStringLiteral("%1").arg(number, digits, 10, QLatin1Char('0'));
}

// The "[first-last]" range of a title like "DSC_[0001-0026].JPG": two numbers joined by "-" in
// brackets where the frame name has its number. A title the editor renamed restricts nothing, even
// with brackets of its own ("Sky [1-3]").
std::optional<std::pair<qint64, qint64>> rangeOfTitle(QStringView title, QStringView prefix,
                                                      QStringView suffix) {
    if (title.size() < prefix.size() + suffix.size() + 2 || !title.startsWith(prefix, Qt::CaseInsensitive) ||
        !title.endsWith(suffix, Qt::CaseInsensitive))
        return std::nullopt;
    const QStringView bracket = title.sliced(prefix.size(), title.size() - prefix.size() - suffix.size());
    if (!bracket.startsWith(u'[') || !bracket.endsWith(u']'))
        return std::nullopt;
    const QStringView inside = bracket.sliced(1, bracket.size() - 2);
    const qsizetype dash = inside.indexOf(u'-');
    if (dash <= 0)
        return std::nullopt;
    const std::optional<qint64> first = numberOf(inside.first(dash));
    const std::optional<qint64> last = numberOf(inside.sliced(dash + 1));
    if (!first || !last || *first > *last)
        return std::nullopt;
    return std::make_pair(*first, *last);
}

} // namespace

std::optional<qint64> ImageSequence::frameNumber(QStringView fileName) const {
    if (fileName.size() <= prefix.size() + suffix.size() || !fileName.startsWith(prefix) ||
        !fileName.endsWith(suffix))
        return std::nullopt;
    const QStringView number =
        fileName.sliced(prefix.size(), fileName.size() - prefix.size() - suffix.size());
    if (digits > 0 && number.size() != digits && (number.size() < digits || number.front() == u'0'))
        return std::nullopt;
    const std::optional<qint64> value = numberOf(number);
    if (!value || (firstFrame && *value < *firstFrame) || (lastFrame && *value > *lastFrame))
        return std::nullopt;
    return value;
}

QString ImageSequence::displayPath() const {
    const QString frames = hasRange() ? padded(*firstFrame, digits) + u'-' + padded(*lastFrame, digits)
                                      : QString(std::max(digits, 1), u'#');
    return folder + u'/' + prefix + u'[' + frames + u']' + suffix;
}

std::optional<ImageSequence> ImageSequence::fromFirstFrame(const QString& path, QStringView title,
                                                           std::optional<qint64> frameCount) {
    const qsizetype slash = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    const QStringView name = QStringView(path).sliced(slash + 1);
    qsizetype end = name.lastIndexOf(u'.');
    if (end <= 0)
        end = name.size();
    while (end > 0 && !isAsciiDigit(name[end - 1]))
        --end;
    qsizetype start = end;
    while (start > 0 && isAsciiDigit(name[start - 1]))
        --start;
    const std::optional<qint64> first = numberOf(name.sliced(start, end - start));
    if (!first)
        return std::nullopt;
    ImageSequence sequence;
    sequence.folder = path.first(std::max<qsizetype>(slash, 0));
    sequence.folder.replace(u'\\', u'/');
    sequence.prefix = name.first(start).toString();
    sequence.suffix = name.sliced(end).toString();
    sequence.digits = int(end - start);
    sequence.firstFramePath = path;
    sequence.firstFrame = *first;
    qint64 last = 0;
    if (const auto range = rangeOfTitle(title, sequence.prefix, sequence.suffix);
        range && range->first <= *first && *first <= range->second) {
        sequence.firstFrame = range->first;
        sequence.lastFrame = range->second;
    } else if (frameCount && *frameCount > 0 && !__builtin_add_overflow(*first, *frameCount - 1, &last)) {
        sequence.lastFrame = last;
    }
    return sequence;
}

} // namespace tarnwick
