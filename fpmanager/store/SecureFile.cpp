#include "SecureFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

constexpr qsizetype kChunk = 64 * 1024;

SecureFile::StepHook g_stepHook = nullptr;

void step(const char* name)
{
    if (g_stepHook)
        g_stepHook(name);
}

void setError(QString* error, const QString& what, int err)
{
    if (error)
        *error = what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(err));
}

bool writeAllAt(int fd, const char* data, qsizetype size, off_t offset, bool reportSteps)
{
    qsizetype done = 0;
    while (done < size) {
        const size_t want = static_cast<size_t>(qMin(kChunk, size - done));
        const ssize_t n = ::pwrite(fd, data + done, want, offset + done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        done += n;
        if (reportSteps)
            step("chunk");
    }
    return true;
}

bool readAll(int fd, QByteArray* out)
{
    char buffer[65536];
    off_t offset = 0;
    for (;;) {
        const ssize_t n = ::pread(fd, buffer, sizeof buffer, offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return true;
        out->append(buffer, n);
        offset += n;
    }
}

void syncDirectory(const QByteArray& directory)
{
    const int fd = ::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

SecureFile::WriteResult writeInPlace(const QByteArray& target, const QByteArray& data, QString* error)
{
    const int fd = ::open(target.constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        setError(error, QStringLiteral("cannot open %1").arg(QFile::decodeName(target)), errno);
        return SecureFile::WriteResult::Failed;
    }
    QByteArray old;
    if (!readAll(fd, &old)) {
        setError(error, QStringLiteral("cannot read %1").arg(QFile::decodeName(target)), errno);
        ::close(fd);
        return SecureFile::WriteResult::Failed;
    }
    if (!writeAllAt(fd, data.constData(), data.size(), 0, true) || ::ftruncate(fd, static_cast<off_t>(data.size())) != 0
        || ::fsync(fd) != 0) {
        const int err = errno;
        // Put the old content back: it fits in the space the file already had.
        writeAllAt(fd, old.constData(), old.size(), 0, false);
        if (::ftruncate(fd, static_cast<off_t>(old.size())) == 0)
            ::fsync(fd);
        ::close(fd);
        setError(error, QStringLiteral("cannot write %1").arg(QFile::decodeName(target)), err);
        return SecureFile::WriteResult::Failed;
    }
    ::close(fd);
    return SecureFile::WriteResult::InPlace;
}

} // namespace

void SecureFile::setStepHook(StepHook hook) { g_stepHook = hook; }

SecureFile::WriteResult SecureFile::replaceContent(
    const QString& path, const QByteArray& data, QString* error, Mode mode)
{
    QString targetPath = path;
    const QFileInfo info(path);
    if (mode == Mode::FollowLink && info.isSymLink()) {
        const QString canonical = info.canonicalFilePath();
        targetPath = canonical.isEmpty() ? info.symLinkTarget() : canonical;
    }
    const QByteArray target = QFile::encodeName(targetPath);

    // With ReplaceLink a link at path counts as no file: the new file takes nothing from
    // whatever it points to.
    struct stat old;
    const bool existed = mode == Mode::FollowLink ? ::stat(target.constData(), &old) == 0
                                                  : ::lstat(target.constData(), &old) == 0 && S_ISREG(old.st_mode);

    const int slash = targetPath.lastIndexOf(QLatin1Char('/'));
    const QString directory
        = slash < 0 ? QStringLiteral(".") : (slash == 0 ? QStringLiteral("/") : targetPath.left(slash));
    const QString baseName = targetPath.mid(slash + 1);

    int fd = -1;
    QByteArray tempName;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        tempName = QFile::encodeName(directory + QStringLiteral("/.") + baseName + QStringLiteral(".")
            + QString::number(QRandomGenerator::global()->generate(), 36));
        fd = ::open(tempName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        const int err = errno;
        if ((err == EACCES || err == EPERM || err == EROFS) && existed && mode == Mode::FollowLink)
            return writeInPlace(target, data, error);
        setError(error, QStringLiteral("cannot create a file in %1").arg(directory), err);
        return WriteResult::Failed;
    }

    auto fail = [&](const QString& what) {
        const int err = errno;
        ::close(fd);
        ::unlink(tempName.constData());
        setError(error, what, err);
        return WriteResult::Failed;
    };

    if (!writeAllAt(fd, data.constData(), data.size(), 0, true))
        return fail(QStringLiteral("cannot write %1").arg(QFile::decodeName(tempName)));
    if (existed) {
        if (::fchmod(fd, old.st_mode & 07777) != 0)
            return fail(QStringLiteral("cannot set the mode of %1").arg(QFile::decodeName(tempName)));
        if (mode == Mode::FollowLink && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())) {
            if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
                // Only a privileged process may hand a file to another owner; otherwise the
                // new file stays ours, with the old mode.
            }
        }
    }
    if (::fsync(fd) != 0)
        return fail(QStringLiteral("cannot sync %1").arg(QFile::decodeName(tempName)));
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(tempName.constData());
        setError(error, QStringLiteral("cannot write %1").arg(QFile::decodeName(tempName)), err);
        return WriteResult::Failed;
    }
    step("synced");
    if (::rename(tempName.constData(), target.constData()) != 0) {
        const int err = errno;
        ::unlink(tempName.constData());
        setError(error, QStringLiteral("cannot rename %1 to %2").arg(QFile::decodeName(tempName), targetPath), err);
        return WriteResult::Failed;
    }
    step("renamed");
    syncDirectory(QFile::encodeName(directory));
    return WriteResult::Replaced;
}

bool SecureFile::createPrivate(const QString& path, const QByteArray& data, QString* error)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    if (::lstat(name.constData(), &st) == 0 && ::unlink(name.constData()) != 0) {
        setError(error, QStringLiteral("cannot remove the stale %1").arg(path), errno);
        return false;
    }
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        setError(error, QStringLiteral("cannot create %1").arg(path), errno);
        return false;
    }
    if (::fchmod(fd, 0600) != 0 || !writeAllAt(fd, data.constData(), data.size(), 0, false)) {
        const int err = errno;
        ::close(fd);
        ::unlink(name.constData());
        setError(error, QStringLiteral("cannot write %1").arg(path), err);
        return false;
    }
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(name.constData());
        setError(error, QStringLiteral("cannot write %1").arg(path), err);
        return false;
    }
    return true;
}
