#include "export/paddedtext.h"

#include "app/form1.h"
#include "text/windows1252.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <new>
#include <optional>
#include <thread>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Entries handled between two calls of the yield function: often enough for a
// time-sliced yield, rare enough to cost nothing per entry.
constexpr qsizetype kYieldStride = 1024;

// Bytes gathered before they go to the file.
constexpr qsizetype kFlushBytes = 1 << 20;

const QString kProcedure =
    QStringLiteral("in Quillory2021/08/31.Main.SaveListviewProperlySpacedWithoutProgressBar ");

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

    QString m_fileName;
    std::optional<QSaveFile> m_saveFile;
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
    if (m_saveFile->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return;
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

} // namespace

std::vector<qsizetype> PaddedColumnWidths(const NumberListSnapshot &list, bool withTitles,
                                          const std::function<void()> &yield)
{
    std::vector<qsizetype> widths;
    const qsizetype count = list.count();
    for (int c = 0; c < list.columnCount(); ++c) {
        qsizetype w = withTitles ? CharacterCount(list.columnTitle(c)) : 0;
        for (qsizetype row = 0; row < count; ++row) {
            if (yield && row % kYieldStride == 0)
                yield();
            const qsizetype length = c == 0
                ? list.text(row).visit([](auto text) { return CharacterCount(text); })
                : CharacterCount(list.cellText(row, c));
            if (length > w)
                w = length;
        }
        widths.push_back(w);
    }
    return widths;
}

PaddedTextLines::PaddedTextLines(const NumberListSnapshot &list, std::vector<qsizetype> widths)
    : m_list(list), m_widths(std::move(widths))
{
}

namespace {

// Makes room for n more bytes at the end of out and returns where they start.
char *grow(QByteArray &out, qsizetype n)
{
    const qsizetype start = out.size();
    out.resize(start + n);
    return out.data() + start;
}

char *pad(char *p, qsizetype length, qsizetype width)
{
    if (width > length) {
        std::memset(p, ' ', std::size_t(width - length));
        p += width - length;
    }
    *p++ = '\t';
    return p;
}

} // namespace

void PaddedTextLines::appendCell(QByteArray &out, QStringView text, qsizetype width)
{
    Windows1252::encodeAppend(text, out);
    const qsizetype length = CharacterCount(text);
    pad(grow(out, std::max(width - length, qsizetype(0)) + 1), length, width);
}

void PaddedTextLines::appendCell(QByteArray &out, QLatin1StringView text, qsizetype width)
{
    // The common case of the lists: one growth of the buffer for the cell.
    char *p = grow(out, std::max(width, text.size()) + 1);
    Windows1252::encodeTo(text, p);
    pad(p + text.size(), text.size(), width);
}

void PaddedTextLines::appendHeaderLine(QByteArray &out) const
{
    for (int c = 0; c < m_list.columnCount(); ++c)
        appendCell(out, m_list.columnTitle(c), m_widths.at(std::size_t(c)));
    std::memcpy(grow(out, 2), "\r\n", 2);
}

void PaddedTextLines::appendEntryLine(QByteArray &out, qsizetype row) const
{
    if (!m_list.checked(row))
        return;
    for (int c = 0; c < m_list.columnCount(); ++c) {
        const qsizetype width = m_widths.at(std::size_t(c));
        if (c == 0)
            m_list.text(row).visit([&](auto text) { appendCell(out, text, width); });
        else
            appendCell(out, m_list.cellText(row, c), width);
    }
    std::memcpy(grow(out, 2), "\r\n", 2);
}

namespace {
// The longest line written with two 16-byte stores: a text of up to 16 bytes
// padded to the width, then TAB CR LF.
constexpr qsizetype kShortLine = 32;
} // namespace

bool PaddedTextLines::linesAreShort() const
{
    return m_list.columnCount() == 1 && m_widths.size() == 1 && m_widths[0] + 3 <= kShortLine;
}

void PaddedTextLines::appendEntryLines(QByteArray &out, qsizetype from, qsizetype to) const
{
#if defined(__SSE2__)
    if (linesAreShort() && from < to) {
        // A line is its text over a row of spaces that ends in TAB CR LF:
        // two 16-byte stores for an ASCII text of up to 16 bytes. Any other
        // text takes the general path.
        const qsizetype width = m_widths[0];
        const qsizetype lineBytes = width + 3;
        alignas(16) char blank[kShortLine];
        std::memset(blank, ' ', sizeof blank);
        std::memcpy(blank + width, "\t\r\n", 3);
        const __m128i blankHead = _mm_load_si128(reinterpret_cast<const __m128i *>(blank));
        const __m128i blankTail = _mm_load_si128(reinterpret_cast<const __m128i *>(blank + 16));
        const __m128i positions = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);

        qsizetype used = out.size();
        // Room for every line, and for the last one's full stores.
        out.resize(used + (to - from) * lineBytes + kShortLine);
        for (qsizetype row = from; row < to; ++row) {
            if (!m_list.checked(row))
                continue;
            const EntryText text = m_list.text(row);
            const qsizetype length = text.bytes;
            if (!text.wide && length <= 16 && length <= width) {
                static_assert(EntryText::kReadAhead >= 16);
                const __m128i bytes = length > 0
                    ? _mm_loadu_si128(reinterpret_cast<const __m128i *>(text.data))
                    : _mm_setzero_si128();
                const __m128i inText = _mm_cmplt_epi8(positions, _mm_set1_epi8(char(length)));
                const __m128i chars = _mm_and_si128(bytes, inText);
                // ASCII is the same in Windows-1252; other bytes may not be.
                if (_mm_movemask_epi8(chars) == 0) {
                    char *p = out.data() + used;
                    _mm_storeu_si128(reinterpret_cast<__m128i *>(p),
                                     _mm_or_si128(chars, _mm_andnot_si128(inText, blankHead)));
                    _mm_storeu_si128(reinterpret_cast<__m128i *>(p + 16), blankTail);
                    used += lineBytes;
                    continue;
                }
            }
            out.resize(used);
            appendEntryLine(out, row);
            used = out.size();
            out.resize(used + (to - row - 1) * lineBytes + kShortLine);
        }
        out.resize(used);
        return;
    }
#endif
    for (qsizetype row = from; row < to; ++row)
        appendEntryLine(out, row);
}

qint64 PaddedTextLines::byteSize() const
{
    // Every character is one byte in the file.
    const auto cellBytes = [](qsizetype length, qsizetype width) {
        return qint64(std::max(length, width)) + 1;
    };
    qint64 size = 2;
    for (int c = 0; c < m_list.columnCount(); ++c)
        size += cellBytes(CharacterCount(m_list.columnTitle(c)), m_widths.at(std::size_t(c)));
    for (qsizetype row = 0; row < m_list.count(); ++row) {
        if (!m_list.checked(row))
            continue;
        size += 2;
        for (int c = 0; c < m_list.columnCount(); ++c) {
            const qsizetype length = c == 0
                ? m_list.text(row).visit([](auto text) { return CharacterCount(text); })
                : CharacterCount(m_list.cellText(row, c));
            size += cellBytes(length, m_widths.at(std::size_t(c)));
        }
    }
    return size;
}

QByteArray PaddedTextBytes(const NumberListSnapshot &list)
{
    const PaddedTextLines lines(list, PaddedColumnWidths(list, true));
    QByteArray out;
    lines.appendHeaderLine(out);
    for (qsizetype row = 0; row < list.count(); ++row)
        lines.appendEntryLine(out, row);
    return out;
}

void SaveListviewProperlySpacedWithoutProgressBar(Form1 &form, const NumberListSnapshot &list,
                                                  const QString &fileName)
{
    Guarded proc(form.platform(), kProcedure);
    const auto yield = [&form] { form.DoEvents(); };

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
        const qsizetype stride = lines.linesAreShort() ? kYieldStride : 1;
        for (qsizetype row = 0; row < count; row += stride) {
            if (row % kYieldStride == 0)
                yield();
            lines.appendEntryLines(buffer, row, std::min(count, row + stride));
            if (buffer.size() >= kFlushBytes)
                file->write(buffer);
        }
    });
    if (!entriesWritten)
        return;

    proc(184, [&] {
        file->write(buffer);
        file->commit([&form] { form.yielder().yieldNow(); });
    });
}

void SaveListviewProperlySpacedWithoutProgressBar(Form1 &form, ListView &list, const QString &fileName)
{
    SaveListviewProperlySpacedWithoutProgressBar(form, list.listModel()->snapshot(), fileName);
}

namespace {

// The save command of both result lists.
void saveListAsText(Form1 &form, ListView &list, const QString &procedureText)
{
    Guarded proc(form.platform(), procedureText);
    QString fileName;
    proc(106, [&] { form.CommonDialog1.flags = kListDialogFlags; });
    proc(108, [&] { form.CommonDialog1.title = QStringLiteral("Save"); });
    proc(110, [&] { form.CommonDialog1.filter = ListDialogFilter(); });
    proc(112, [&] { form.CommonDialog1.fileName = form.platform().ShowSave(form.CommonDialog1); });
    proc(114, [&] { fileName = form.CommonDialog1.fileName; });
    if (fileName.isEmpty())
        return; // [116] cancelled: nothing is written
    proc(118, [&] { form.SetMousePointer(Pointer::Hourglass); });
    proc(120, [&] { SaveListviewProperlySpacedWithoutProgressBar(form, list, fileName); });
    proc(122, [&] { form.SetMousePointer(Pointer::Default); });
}

} // namespace

void Form1::PushButton4_Click()
{
    saveListAsText(*this, *ListView2, QStringLiteral("in Quillory2021/08/31.Form1.PushButton4_Click "));
}

void Form1::PushButton8_Click()
{
    saveListAsText(*this, *ListView3, QStringLiteral("in Quillory2021/08/31.Form1.PushButton8_Click "));
}
