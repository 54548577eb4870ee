#include "model/FreshId.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

namespace tarnwick {
namespace {

// Audit entries are kept by their identifiers: a forked child must not repeat its parent's.
TEST(FreshId, AForkedChildDrawsIdentifiersOfItsOwn) {
    freshId(); // the parent's generator exists before the fork
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        const QByteArray drawn = freshId().toRfc4122();
        const bool written = ::write(pipeEnds[1], drawn.constData(), drawn.size()) == drawn.size();
        _exit(written ? 0 : 1);
    }
    ::close(pipeEnds[1]);
    const QUuid parents = freshId();
    char bytes[16] = {};
    const ssize_t got = ::read(pipeEnds[0], bytes, sizeof bytes);
    ::close(pipeEnds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_EQ(got, 16);
    const QUuid childs = QUuid::fromRfc4122(QByteArrayView(bytes, 16));
    EXPECT_NE(childs, parents);
    EXPECT_EQ(childs.version(), QUuid::Random);
    EXPECT_EQ(childs.variant(), QUuid::DCE);
}

} // namespace
} // namespace tarnwick
