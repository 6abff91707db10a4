#include "platform/settingsfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString notARegularFile(mode_t mode)
{
    return S_ISDIR(mode) ? QStringLiteral("a folder has its name")
                         : QStringLiteral("it is not a regular file");
}

// Closes a descriptor once, keeping errno for the caller.
class Descriptor
{
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        const int saved = errno;
        close();
        errno = saved;
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;

    int fd() const { return m_fd; }
    // False when closing reported an error, which for a written file can mean lost data.
    bool close()
    {
        if (m_fd < 0)
            return true;
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// The file a chain of symbolic links ends at; the name itself when it is none.
// Empty, with errno set, when the chain cannot be followed.
QByteArray linkTarget(QByteArray name)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info;
        if (::lstat(name.constData(), &info) != 0)
            return errno == ENOENT ? name : QByteArray(); // a link to a missing file makes that file
        if (!S_ISLNK(info.st_mode))
            return name;
        QByteArray link(qMax<qsizetype>(info.st_size, 255) + 1, Qt::Uninitialized);
        const ssize_t size = ::readlink(name.constData(), link.data(), size_t(link.size()));
        if (size < 0)
            return QByteArray();
        if (size == link.size()) { // changed under us: try again
            --hops;
            continue;
        }
        link.truncate(size);
        if (!link.startsWith('/')) {
            const qsizetype slash = name.lastIndexOf('/');
            link.prepend(slash < 0 ? QByteArray() : name.first(slash + 1));
        }
        name = link;
    }
    errno = ELOOP;
    return QByteArray();
}

} // namespace

namespace SettingsFile {

ReadResult read(const QString &path)
{
    ReadResult result;
    const QByteArray name = QFile::encodeName(path);
    // Look before opening: opening a FIFO waits for a writer, and opening a
    // device can do anything the device does.
    struct stat info;
    if (::stat(name.constData(), &info) != 0) {
        if (errno != ENOENT)
            result.problem = qt_error_string(errno);
        return result;
    }
    if (!S_ISREG(info.st_mode)) {
        result.problem = notARegularFile(info.st_mode);
        return result;
    }
    // Non-blocking all the same, in case the name changed in between.
    Descriptor file(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.fd() < 0) {
        if (errno != ENOENT)
            result.problem = qt_error_string(errno);
        return result;
    }
    if (::fstat(file.fd(), &info) != 0) {
        result.problem = qt_error_string(errno);
        return result;
    }
    if (!S_ISREG(info.st_mode)) {
        result.problem = notARegularFile(info.st_mode);
        return result;
    }
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(file.fd(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            result.problem = qt_error_string(errno);
            result.bytes.clear();
            return result;
        }
        if (n == 0)
            return result;
        result.bytes.append(buffer, n);
    }
}

QString replace(const QString &path, const QByteArray &bytes)
{
    // The settings folder is made where missing; a link's target folder is not.
    QDir().mkpath(QFileInfo(path).path());

    // Replacing the link itself would cut it from the file it names.
    const QByteArray target = linkTarget(QFile::encodeName(path));
    if (target.isEmpty())
        return qt_error_string(errno);
    struct stat old;
    const bool exists = ::lstat(target.constData(), &old) == 0;
    if (!exists && errno != ENOENT)
        return qt_error_string(errno);
    if (exists && !S_ISREG(old.st_mode))
        return notARegularFile(old.st_mode);
    // A file its owner made read-only stays as it is, as with any editor.
    if (exists && ::faccessat(AT_FDCWD, target.constData(), W_OK, AT_EACCESS) != 0)
        return qt_error_string(errno);

    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = target + '.' + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
        // A new file gets the usual permissions less the umask; an old file's are copied below.
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    exists ? S_IRUSR | S_IWUSR : 0666);
        if (fd < 0 && errno != EEXIST)
            return qt_error_string(errno);
    }
    if (fd < 0)
        return qt_error_string(EEXIST);
    Descriptor file(fd);
    const auto fail = [&] {
        const QString problem = qt_error_string(errno);
        file.close();
        ::unlink(temporary.constData());
        return problem;
    };
    if (exists) {
        if (::fchmod(file.fd(), old.st_mode & 07777) != 0)
            return fail();
        // Only root can give a file away; anyone else's new file is their own, as
        // with any editor that saves by renaming.
        [[maybe_unused]] const int owned = ::fchown(file.fd(), old.st_uid, old.st_gid);
    }
    if (!writeAll(file.fd(), bytes) || ::fsync(file.fd()) != 0 || !file.close())
        return fail();
    if (::rename(temporary.constData(), target.constData()) != 0)
        return fail();
    // The new name is in place; syncing the folder only makes it survive a crash sooner.
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".")
        : slash == 0                    ? QByteArray("/")
                                        : target.first(slash);
    if (const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return QString();
}

} // namespace SettingsFile
