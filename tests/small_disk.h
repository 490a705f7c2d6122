#pragma once
// A real full disk for the file-writing tests: a forked child mounts a small tmpfs (in a mount
// namespace of its own, as root or through a user namespace), fills it to the last block and
// runs the test body there. The child's exit code carries the result back.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QByteArray>
#include <QDir>
#include <QString>
#include <cerrno>
#include <functional>

namespace tavrel::test {

namespace detail {
inline bool writeProcFile(const char* path, const QByteArray& text) {
    const int fd = ::open(path, O_WRONLY);
    if (fd < 0) return false;
    const bool ok = ::write(fd, text.constData(), static_cast<size_t>(text.size())) == text.size();
    ::close(fd);
    return ok;
}

inline bool enterOwnMountNamespace() {
    if (::geteuid() == 0) {
        if (::unshare(CLONE_NEWNS) != 0) return false;
    } else {
        const uid_t uid = ::geteuid();
        const gid_t gid = ::getegid();
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
        writeProcFile("/proc/self/setgroups", "deny");
        if (!writeProcFile("/proc/self/uid_map", "0 " + QByteArray::number(uid) + " 1") ||
            !writeProcFile("/proc/self/gid_map", "0 " + QByteArray::number(gid) + " 1"))
            return false;
    }
    return ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}
}  // namespace detail

enum SmallDiskResult { kBodyPassed = 0, kBodyFailed = 1, kNoMount = 77 };

// Runs `body` in a child whose working directory is a full 64 KiB tmpfs; `prepare` runs first,
// before the disk is filled (to lay down the old files). Returns the child's verdict.
inline int onFullDisk(const std::function<bool()>& prepare, const std::function<bool()>& body) {
    const QByteArray where =
        QDir::temp().filePath(QStringLiteral("tavrel-full-%1").arg(::getpid())).toLocal8Bit();
    QDir().mkpath(QString::fromLocal8Bit(where));
    const pid_t child = ::fork();
    if (child == 0) {
        if (!detail::enterOwnMountNamespace() ||
            ::mount("tmpfs", where.constData(), "tmpfs", 0, "size=64k") != 0 ||
            ::chdir(where.constData()) != 0)
            ::_exit(kNoMount);
        if (!prepare()) ::_exit(kBodyFailed);
        // Fill every block that is left.
        const int fd = ::open("filler", O_WRONLY | O_CREAT, 0600);
        char block[4096] = {};
        while (::write(fd, block, sizeof block) > 0) {
        }
        while (::write(fd, block, 1) > 0) {
        }
        ::close(fd);
        ::_exit(body() ? kBodyPassed : kBodyFailed);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    QDir(QString::fromLocal8Bit(where)).removeRecursively();
    return WIFEXITED(status) ? WEXITSTATUS(status) : kBodyFailed;
}

}  // namespace tavrel::test
