#include "tavlo/atomicfile.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
bool Fail(QString* error, const QString& what) {
    if (error)
        *error = what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
    return false;
}
} // namespace

bool WriteFileAtomically(const QString& path, const QByteArray& data, QString* error) {
    const QFileInfo info(path);
    const QByteArray dir = QFile::encodeName(info.absolutePath());
    const QByteArray target = QFile::encodeName(info.absoluteFilePath());
    QByteArray tmpl = target + ".tmp-XXXXXX";
    const int fd = mkstemp(tmpl.data());
    if (fd < 0)
        return Fail(error, QStringLiteral("cannot create a file in ") + info.absolutePath());

    // Keep the mode of an existing file; a new one gets the usual mode under the umask.
    struct stat st {};
    mode_t mode;
    if (stat(target.constData(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    fchmod(fd, mode);

    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int saved = errno;
            ::close(fd);
            ::unlink(tmpl.constData());
            errno = saved;
            return Fail(error, QStringLiteral("cannot write ") + path);
        }
        p += n;
        left -= n;
    }
    if (::fsync(fd) != 0) {
        const int saved = errno;
        ::close(fd);
        ::unlink(tmpl.constData());
        errno = saved;
        return Fail(error, QStringLiteral("cannot flush ") + path);
    }
    if (::close(fd) != 0) {
        const int saved = errno;
        ::unlink(tmpl.constData());
        errno = saved;
        return Fail(error, QStringLiteral("cannot close ") + path);
    }
    if (::rename(tmpl.constData(), target.constData()) != 0) {
        const int saved = errno;
        ::unlink(tmpl.constData());
        errno = saved;
        return Fail(error, QStringLiteral("cannot replace ") + path);
    }
    // Make the rename itself durable.
    const int dfd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}
