#include "platform/FileStatProbe.h"

#include "platform/Immortal.h"
#include "platform/PathText.h"

#include <QFile>

#include <sys/stat.h>

namespace tarnwick {

namespace {

class SystemFileStatProbe : public FileStatProbe {
public:
    std::optional<FileFacts> stat(const QString& path) const override {
        // The system would stat the text before a NUL: such a path names no file.
        if (path::containsNul(path))
            return std::nullopt;
        struct ::stat st {};
        if (::stat(QFile::encodeName(path).constData(), &st) != 0)
            return std::nullopt;
        return fileFactsFromStat(st);
    }
};

} // namespace

FileFacts fileFactsFromStat(const struct ::stat& st) {
    FileFacts facts;
    facts.device = st.st_dev;
    facts.inode = st.st_ino;
    facts.size = st.st_size;
    facts.isDirectory = S_ISDIR(st.st_mode);
    facts.isRegularFile = S_ISREG(st.st_mode);
    return facts;
}

std::shared_ptr<const FileStatProbe> FileStatProbe::system() {
    static Immortal<std::shared_ptr<const SystemFileStatProbe>> probe(
        std::make_shared<const SystemFileStatProbe>());
    return probe.get();
}

} // namespace tarnwick
