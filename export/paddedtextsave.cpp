#include "export/paddedtextsave.h"

#include "export/paddedtext.h"
#include "export/uncachedwriter.h"
#include "platform/errorreport.h"
#include "platform/procedures.h"
#include "platform/workers.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <thread>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Bytes gathered before they go to the file.
constexpr qsizetype kFlushBytes = 1 << 20;

QString nativeName(const QString &fileName)
{
    return QDir::toNativeSeparators(fileName);
}

// Brings the file's data to the disk on a worker thread while the window
// keeps answering; a commit that follows then finds nothing left to sync.
// A failed sync is reported, except where the file system cannot sync at all.
template<typename Yield>
void syncToDiskWhileYielding(int fd, const QString &fileName, const Yield &yield)
{
#ifdef Q_OS_UNIX
    if (fd < 0)
        return;
    std::packaged_task<int()> task([fd] {
        int result;
        do {
            result = ::fdatasync(fd);
        } while (result != 0 && errno == EINTR);
        return result == 0 ? 0 : errno;
    });
    std::future<int> done = task.get_future();
    std::thread worker(std::move(task));
    // The worker uses the descriptor: it must end before the file can be
    // closed, also when the window closes meanwhile (yield throws).
    struct Join
    {
        std::thread &thread;
        ~Join() { thread.join(); }
    } join{worker};
    do
        yield();
    while (done.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready);
    const int error = done.get();
    if (error != 0 && error != EINVAL && error != EROFS && error != ENOTSUP)
        throw Failure(
            QStringLiteral("Cannot save \"%1\": %2").arg(nativeName(fileName), qt_error_string(error)));
#else
    Q_UNUSED(fd);
    Q_UNUSED(fileName);
    Q_UNUSED(yield);
#endif
}

#ifdef Q_OS_UNIX

// Writes all the bytes at the offset; 0 or the error number.
int writeAt(int fd, const char *data, qint64 size, qint64 offset)
{
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, std::size_t(size), off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        data += n;
        size -= n;
        offset += n;
    }
    return 0;
}

// Reads exactly size bytes from the offset; 0 or the error number.
int readAt(int fd, char *data, qint64 size, qint64 offset)
{
    while (size > 0) {
        const ssize_t n = ::pread(fd, data, std::size_t(size), off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO; // the file shrank meanwhile
        data += n;
        size -= n;
        offset += n;
    }
    return 0;
}

// 0 or the error number; a file system that cannot sync counts as synced.
int syncData(int fd)
{
    int result;
    do {
        result = ::fdatasync(fd);
    } while (result != 0 && errno == EINTR);
    return result == 0 || errno == EINVAL || errno == EROFS || errno == ENOTSUP ? 0 : errno;
}

// Makes sure the file system has room for the file of `from` bytes to hold
// `to` bytes, before any of its bytes is overwritten; 0 or the error number.
// The size may have grown when this fails: the caller cuts it back.
int reserveRoom(int fd, qint64 from, qint64 to)
{
    if (to <= 0)
        return 0;
#ifdef Q_OS_LINUX
    // From the start, so that holes in the old file are filled too. Keeping
    // the size leaves the old file as it was whether this succeeds or fails
    // half-way.
    int result;
    do {
        result = ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, off_t(to));
    } while (result != 0 && errno == EINTR);
    if (result == 0)
        return 0;
    if (errno != EOPNOTSUPP && errno != ENOSYS)
        return errno;
#endif
    // A file system that reserves nothing ahead gives its room to writes.
    static const char zeros[64 * 1024] = {};
    for (qint64 at = from; at < to; at += qint64(sizeof zeros)) {
        if (const int error = writeAt(fd, zeros, std::min(to - at, qint64(sizeof zeros)), at))
            return error;
    }
    return 0;
}

// As the save file decides whether to fall back: the user may not create a
// file in the folder of the file (of a link's target).
bool folderTakesNoNewFile(const QString &fileName)
{
    const QString folder = QFileInfo(QFileInfo(fileName).canonicalFilePath()).absolutePath();
    return ::faccessat(AT_FDCWD, QFile::encodeName(folder).constData(), W_OK | X_OK, AT_EACCESS) != 0
        && errno == EACCES;
}

#endif

// Where a save writes. Normally a temporary file beside the target, which
// replaces it once complete. In a folder that takes no new file, the target
// itself: the room for the whole table is reserved before its first byte is
// overwritten, and its old content is kept to be put back after a failure or
// a closed window. Only a crash part-way can then cost the old file.
class TableFile
{
public:
    explicit TableFile(const QString &fileName) : m_fileName(fileName) {}
    ~TableFile()
    {
#ifdef Q_OS_UNIX
        if (m_fd >= 0) {
            if (!m_done)
                putBackOldContent(); // the window closed: nobody is left to tell
            ::close(m_fd);
        }
#endif
    }
    TableFile(const TableFile &) = delete;
    TableFile &operator=(const TableFile &) = delete;

    // tableBytes gives the size of the whole table; it is asked only for a
    // write in place.
    void open(const std::function<qint64()> &tableBytes);
    // Writes and empties the buffer, keeping its capacity.
    void write(QByteArray &buffer);
    // Brings the table to the disk and puts it in the old file's place.
    template<typename Yield>
    void commit(const Yield &yield);

private:
    void openInPlace(const std::function<qint64()> &tableBytes);
    // Empty, or why the old content could not be put back.
    QString putBackOldContent();
    // Puts the old content back and fails with the description.
    [[noreturn]] void failInPlace(const QString &description);
#ifdef Q_OS_UNIX
    // Fails with the reason a write of the temporary file failed.
    [[noreturn]] void failTemporaryWrite(int error) const
    {
        throw Failure(QStringLiteral("Cannot write \"%1\": %2")
                          .arg(nativeName(m_saveFile->fileName()), qt_error_string(error)));
    }
#endif

    QString m_fileName;
    std::optional<QSaveFile> m_saveFile;
#ifdef Q_OS_UNIX
    std::optional<UncachedWriter> m_uncached; // writes the temporary file
#endif
    int m_fd = -1;           // the old file, written in place
    QByteArray m_oldContent; // all of it, until the new table is on the disk
    qint64 m_written = 0;    // bytes of the table written in place
    qint64 m_touched = 0;    // bytes from the start that a write may have changed
    bool m_done = false;
};

void TableFile::open(const std::function<qint64()> &tableBytes)
{
    // Replacing a device, pipe or folder with a regular file would be wrong
    // whatever the user meant; refuse before anything is created.
    const QFileInfo info(m_fileName);
    if (info.exists() && !info.isFile())
        throw Failure(
            QStringLiteral("Cannot create \"%1\": it is not a regular file").arg(nativeName(m_fileName)));
    m_saveFile.emplace(m_fileName);
    if (m_saveFile->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
#ifdef Q_OS_UNIX
        m_uncached.emplace(m_saveFile->handle());
#endif
        return;
    }
    const QString why = m_saveFile->errorString();
    m_saveFile.reset();
#ifdef Q_OS_UNIX
    // A folder the user may not write into still holds files the user may
    // write: those are written in place, as there is no room for a temporary
    // file beside them.
    if (info.isFile() && folderTakesNoNewFile(m_fileName))
        return openInPlace(tableBytes);
#else
    Q_UNUSED(tableBytes);
#endif
    throw Failure(QStringLiteral("Cannot create \"%1\": %2").arg(nativeName(m_fileName), why));
}

void TableFile::openInPlace(const std::function<qint64()> &tableBytes)
{
#ifdef Q_OS_UNIX
    const QByteArray native = QFile::encodeName(m_fileName);
    // Not blocking: a pipe put in the file's place meanwhile is refused below.
    const int fd = ::open(native.constData(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        if (error == EACCES && ::access(native.constData(), W_OK) == 0)
            throw Failure(QStringLiteral("Cannot create \"%1\": the folder takes no new file, and the old "
                                         "file cannot be read to keep it until the new one is complete")
                              .arg(nativeName(m_fileName)));
        throw Failure(
            QStringLiteral("Cannot create \"%1\": %2").arg(nativeName(m_fileName), qt_error_string(error)));
    }
    m_fd = fd;
    m_done = true; // nothing to put back yet
    struct stat st
    {
    };
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode))
        throw Failure(
            QStringLiteral("Cannot create \"%1\": it is not a regular file").arg(nativeName(m_fileName)));

    try {
        m_oldContent.resize(qsizetype(st.st_size));
    } catch (const std::bad_alloc &) {
        throw Failure(QStringLiteral("Cannot save \"%1\": the folder takes no new file, and there is no "
                                     "memory to keep the old file until the new one is complete")
                          .arg(nativeName(m_fileName)));
    }
    if (const int error = readAt(m_fd, m_oldContent.data(), m_oldContent.size(), 0))
        throw Failure(
            QStringLiteral("Cannot read \"%1\": %2").arg(nativeName(m_fileName), qt_error_string(error)));
    m_done = false;

    if (const int error = reserveRoom(m_fd, m_oldContent.size(), tableBytes())) {
        // Back to the old size, which also lets go of what was reserved.
        const QString lost = putBackOldContent();
        QString description = QStringLiteral("Cannot save \"%1\": the folder takes no new file, and there is "
                                             "no room to write the new table over the old one: %2")
                                  .arg(nativeName(m_fileName), qt_error_string(error));
        if (!lost.isEmpty())
            description += QStringLiteral("; the old size could not be put back: ") + lost;
        throw Failure(description);
    }
#else
    Q_UNUSED(tableBytes);
#endif
}

void TableFile::write(QByteArray &buffer)
{
    if (buffer.isEmpty())
        return;
#ifdef Q_OS_UNIX
    if (m_uncached) {
        if (const int error = m_uncached->write(buffer.constData(), buffer.size()))
            failTemporaryWrite(error);
        buffer.resize(0);
        return;
    }
#endif
    if (m_saveFile) {
        // A short write is followed by another attempt, which fails with the reason.
        qsizetype done = 0;
        while (done < buffer.size()) {
            const qint64 n = m_saveFile->write(buffer.constData() + done, buffer.size() - done);
            if (n <= 0)
                throw Failure(QStringLiteral("Cannot write \"%1\": %2")
                                  .arg(nativeName(m_saveFile->fileName()), m_saveFile->errorString()));
            done += qsizetype(n);
        }
    }
#ifdef Q_OS_UNIX
    else {
        m_touched = std::max(m_touched, m_written + buffer.size());
        if (const int error = writeAt(m_fd, buffer.constData(), buffer.size(), m_written))
            failInPlace(QStringLiteral("Cannot write \"%1\": %2")
                            .arg(nativeName(m_fileName), qt_error_string(error)));
        m_written += buffer.size();
    }
#endif
    buffer.resize(0); // keeps the capacity for the next block
}

template<typename Yield>
void TableFile::commit(const Yield &yield)
{
    if (m_saveFile) {
#ifdef Q_OS_UNIX
        if (m_uncached) {
            const int error = m_uncached->finish();
            m_uncached.reset(); // before the commit closes the descriptor
            if (error != 0)
                failTemporaryWrite(error);
        }
#endif
        // The commit then only renames the temporary file.
        syncToDiskWhileYielding(m_saveFile->handle(), m_saveFile->fileName(), yield);
        if (!m_saveFile->commit())
            throw Failure(QStringLiteral("Cannot save \"%1\": %2")
                              .arg(nativeName(m_fileName), m_saveFile->errorString()));
        return;
    }
#ifdef Q_OS_UNIX
    try {
        syncToDiskWhileYielding(m_fd, m_fileName, yield);
    } catch (const Failure &failure) {
        failInPlace(failure.description());
    }
    // Only now, with the table on the disk, may the old tail go. No yield
    // from here on: a closing window finds the old file or the new one.
    struct stat st
    {
    };
    int error = ::fstat(m_fd, &st) != 0 ? errno : 0;
    if (error == 0 && st.st_size != m_written) {
        m_touched = std::max(m_touched, qint64(st.st_size)); // a failure now must put back the tail too
        if (::ftruncate(m_fd, off_t(m_written)) != 0)
            error = errno;
        else
            error = syncData(m_fd);
    }
    if (error != 0)
        failInPlace(
            QStringLiteral("Cannot save \"%1\": %2").arg(nativeName(m_fileName), qt_error_string(error)));
    m_done = true;
#else
    Q_UNUSED(yield);
#endif
}

QString TableFile::putBackOldContent()
{
    m_done = true;
#ifdef Q_OS_UNIX
    // Only what a write may have changed goes back: the old bytes past it
    // are still there, and writing them again could take room.
    const qint64 oldSize = m_oldContent.size();
    int error = writeAt(m_fd, m_oldContent.constData(), std::min(m_touched, oldSize), 0);
    if (error == 0 && ::ftruncate(m_fd, off_t(oldSize)) != 0)
        error = errno;
    if (error == 0)
        error = syncData(m_fd);
    return error == 0 ? QString() : qt_error_string(error);
#else
    return {};
#endif
}

void TableFile::failInPlace(const QString &description)
{
    const QString lost = putBackOldContent();
    if (lost.isEmpty())
        throw Failure(description);
    throw Failure(description + QStringLiteral("; the old content could not be put back: ") + lost);
}

// Hands full blocks to the file. With a second thread, a worker writes one
// block while the caller builds the next: two buffers, handed over in order,
// so the file gets the same bytes as from one thread. A failed write is
// thrown to the caller at its next hand-over or at finish(), and the worker
// takes no block after it. Leaving the scope otherwise (the window closed)
// lets the block being written finish, drops one not begun and joins the
// worker, before the caller may remove or put back the file.
class BlockWriter
{
public:
    explicit BlockWriter(TableFile &file) : m_file(file), m_threads(Workers::count()) {}
    ~BlockWriter() { stop(); }
    BlockWriter(const BlockWriter &) = delete;
    BlockWriter &operator=(const BlockWriter &) = delete;

    // Writes the buffer, or hands it to the worker and takes back the empty
    // one of the block before; either way the buffer comes back empty.
    void write(QByteArray &buffer)
    {
        if (!m_worker && !startWorker(buffer.capacity())) {
            m_file.write(buffer);
            return;
        }
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_full; });
        if (m_failure)
            std::rethrow_exception(m_failure);
        std::swap(buffer, m_pending);
        m_full = true;
        lock.unlock();
        m_changed.notify_all();
    }

    // Waits until every block handed over is written; throws a failed write.
    void finish()
    {
        if (!m_worker)
            return;
        std::exception_ptr failure;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return !m_full; });
            failure = m_failure;
        }
        stop();
        if (failure)
            std::rethrow_exception(failure);
    }

private:
    // Started at the first full block: a shorter table needs no second thread.
    bool startWorker(qsizetype blockCapacity)
    {
        if (m_threads < 2)
            return false;
        try {
            m_pending.reserve(blockCapacity);
            m_worker = std::make_unique<Workers::Helper>([this] { run(); });
            return true;
        } catch (const std::exception &) {
            // No thread or no spare buffer to be had: the blocks are written here.
            m_threads = 1;
            m_pending = QByteArray();
            return false;
        }
    }

    void run()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return m_full || m_stopping; });
            if (m_stopping)
                return;
            lock.unlock();
            std::exception_ptr failure;
            try {
                m_file.write(m_pending);
            } catch (...) {
                failure = std::current_exception();
            }
            lock.lock();
            m_failure = failure;
            m_full = false;
            m_changed.notify_all();
            if (failure)
                return;
        }
    }

    void stop()
    {
        if (!m_worker)
            return;
        {
            const std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_changed.notify_all();
        m_worker.reset(); // joins
    }

    TableFile &m_file;
    int m_threads;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    QByteArray m_pending; // the worker's block, or the empty spare
    bool m_full = false;  // m_pending waits to be written or is being written
    bool m_stopping = false;
    std::exception_ptr m_failure;
    std::unique_ptr<Workers::Helper> m_worker; // last: joined before the rest goes
};

} // namespace

void SaveListviewProperlySpacedWithoutProgressBar(Platform &platform, const NumberListSnapshot &list,
                                                  const QString &fileName, const std::function<void()> &yield,
                                                  const std::function<void()> &yieldNow)
{
    Guarded proc(platform, Procedure::SaveListviewProperlySpacedWithoutProgressBar);

    std::vector<qsizetype> widths;
    proc(100, [&] { widths.clear(); });
    proc(102, [&] { widths = PaddedColumnWidths(list, true, yield); });
    const PaddedTextLines lines(list, std::move(widths));

    QByteArray buffer;
    proc(132, [&] { buffer.reserve(kFlushBytes + 64 * 1024); });

    // A failure or a closed window never leaves a cut-off file: the old one
    // stays until the new table is complete.
    std::optional<TableFile> file;
    proc(134, [&] { file.emplace(fileName); });
    if (!file || !proc(136, [&] { file->open([&] { return lines.byteSize(); }); }))
        return; // reported once; there is nothing to write to

    const bool headerWritten = proc(150, [&] {
        yield();
        lines.appendHeaderLine(buffer);
    });
    if (!headerWritten)
        return;

    // One failed write ends the export: the rest could not reach the file
    // either, and a report per entry would help nobody.
    const bool entriesWritten = proc(180, [&] {
        const qsizetype count = list.count();
        // Short lines go a stride at a time, far below the block size; any
        // other line alone, so that long ones never pile up past it.
        const qsizetype stride = lines.linesAreShort() ? kPaddedTextYieldStride : 1;
        BlockWriter writer(*file);
        for (qsizetype row = 0; row < count; row += stride) {
            if (row % kPaddedTextYieldStride == 0)
                yield();
            lines.appendEntryLines(buffer, row, std::min(count, row + stride));
            if (buffer.size() >= kFlushBytes)
                writer.write(buffer);
        }
        writer.finish();
    });
    if (!entriesWritten)
        return;

    proc(184, [&] {
        file->write(buffer);
        file->commit(yieldNow);
    });
}

void saveResultsAsText(Guarded &proc, Platform &platform, const NumberListModel &list,
                       const QString &fileName, const std::function<void(bool busy)> &setBusy,
                       const std::function<void()> &yield, const std::function<void()> &yieldNow)
{
    proc(118, [&] { setBusy(true); });
    proc(120, [&] {
        SaveListviewProperlySpacedWithoutProgressBar(platform, list.snapshot(), fileName, yield, yieldNow);
    });
    proc(122, [&] { setBusy(false); });
}
