#include "ui/preview/PlayerSource.h"

#include "platform/RegularFile.h"

#include <QMediaPlayer>

#include <memory>

namespace tarnwick {

namespace {

const QString heldName = QStringLiteral("playerSourceFile");

// The open file behind a player's source; it goes with the player or its next source.
class HeldFile : public QObject {
public:
    HeldFile(std::unique_ptr<RegularFile> file, QObject* player) : QObject(player), m_file(std::move(file)) {
        setObjectName(heldName);
    }
    int handle() const { return m_file->handle(); }

private:
    std::unique_ptr<RegularFile> m_file;
};

// Whether the backend opens this local path by its name: ASCII survives its Latin-1.
bool playerOpensByName(const QString& path) {
    for (const QChar c : path)
        if (c.unicode() > 0x7f)
            return false;
    return true;
}

} // namespace

void setPlayerSource(QMediaPlayer& player, const QUrl& url) {
    QObject* before = player.findChild<QObject*>(heldName, Qt::FindDirectChildrenOnly);
    QUrl opened = url;
    HeldFile* held = nullptr;
    if (url.isLocalFile() && !playerOpensByName(url.toLocalFile())) {
        auto file = std::make_unique<RegularFile>(url.toLocalFile());
        // A file that cannot be opened here is left to the player, which says it cannot play it.
        if (file->isOpen()) {
            held = new HeldFile(std::move(file), &player);
            opened = QUrl::fromLocalFile(QStringLiteral("/proc/self/fd/%1").arg(held->handle()));
        }
    }
    player.setSource(opened);
    // The old descriptor only once the player has let go of its source.
    delete before;
}

} // namespace tarnwick
