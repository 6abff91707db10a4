#include "input/textimport.h"

#include "app/list/listview.h"
#include "app/list/numberlistmodel.h"
#include "platform/failure.h"
#include "platform/platform.h"
#include "text/windows1252.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <new>
#include <string>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

QString describe(const QString &reason, const QString &path)
{
    return reason + QStringLiteral(": ") + QDir::toNativeSeparators(path);
}

#ifdef Q_OS_UNIX

QString notRegularFile(mode_t mode, const QString &path)
{
    if (S_ISDIR(mode))
        return describe(qt_error_string(EISDIR), path);
    return describe(QStringLiteral("Not a regular file"), path);
}

// A regular file open for reading; closed when it goes out of scope. Folders,
// devices and pipes are refused before they are opened, so that a pipe
// without a writer can never block and a device can never feed us forever.
class ReadOnlyFile
{
public:
    explicit ReadOnlyFile(const QString &path) : m_path(path)
    {
        const QByteArray name = QFile::encodeName(path);
        struct stat info;
        if (::stat(name.constData(), &info) != 0)
            throw Failure(describe(qt_error_string(errno), path));
        if (!S_ISREG(info.st_mode))
            throw Failure(notRegularFile(info.st_mode, path));
        // Non-blocking in case the path was swapped for a pipe since the check.
        do {
            m_fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        } while (m_fd < 0 && errno == EINTR);
        if (m_fd < 0)
            throw Failure(describe(qt_error_string(errno), path));
        if (::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            const QString reason = notRegularFile(info.st_mode, path);
            ::close(m_fd);
            throw Failure(reason);
        }
        m_size = qint64(info.st_size);
#ifdef POSIX_FADV_SEQUENTIAL
        ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    }
    ~ReadOnlyFile()
    {
        ::close(m_fd);
    }
    qint64 size() const
    {
        return m_size;
    }
    ReadOnlyFile(const ReadOnlyFile &) = delete;
    ReadOnlyFile &operator=(const ReadOnlyFile &) = delete;

    // Reads up to `size` bytes; 0 at the end of the file.
    qsizetype read(char *buffer, qsizetype size)
    {
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, std::size_t(size));
            if (n >= 0)
                return qsizetype(n);
            if (errno != EINTR)
                throw Failure(describe(qt_error_string(errno), m_path));
        }
    }

private:
    QString m_path;
    int m_fd = -1;
    qint64 m_size = 0;
};

#else

class ReadOnlyFile
{
public:
    explicit ReadOnlyFile(const QString &path) : m_file(path)
    {
        const QFileInfo info(path);
        if (info.isDir())
            throw Failure(describe(QStringLiteral("Is a directory"), path));
        if (!info.isFile())
            throw Failure(describe(QStringLiteral("Not a regular file"), path));
        if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            throw Failure(describe(m_file.errorString(), path));
    }

    qint64 size() const { return m_file.size(); }

    qsizetype read(char *buffer, qsizetype size)
    {
        const qint64 n = m_file.read(buffer, size);
        if (n < 0)
            throw Failure(describe(m_file.errorString(), m_file.fileName()));
        return qsizetype(n);
    }

private:
    QFile m_file;
};

#endif

// True when some byte is 0x80-0x9F, the only bytes whose character may differ
// from their Latin-1 reading. Written to vectorise: it runs over every byte.
bool hasHighControlBytes(const char *data, qsizetype size)
{
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    unsigned char any = 0;
    for (qsizetype i = 0; i < size; ++i)
        any |= static_cast<unsigned char>((p[i] & 0xE0) == 0x80);
    return any != 0;
}

// The first CR or LF at or after p, or `end`. Lines are short, so this looks
// at 16 bytes a step rather than paying for two memchr calls a line.
const char *findLineBreak(const char *p, const char *end)
{
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)));
        if (mask != 0)
            return p + __builtin_ctz(unsigned(mask));
        p += 16;
    }
#endif
    while (p < end && *p != '\r' && *p != '\n')
        ++p;
    return p;
}

// Appends entries given as Windows-1252 bytes.
class EntryWriter
{
public:
    explicit EntryWriter(NumberListModel &list) : m_list(list) {}

    // `mayDiffer` false promises that the bytes read the same as Latin-1.
    void add(const char *data, qsizetype size, bool mayDiffer)
    {
        if (!mayDiffer || Windows1252::isLatin1Compatible(QByteArrayView(data, size))) {
            m_list.append(QLatin1StringView(data, size));
            return;
        }
        m_decoded.clear();
        Windows1252::decodeAppend(QByteArrayView(data, size), m_decoded);
        m_list.append(QStringView(m_decoded));
    }

private:
    NumberListModel &m_list;
    QString m_decoded;
};

} // namespace

namespace Main {

void ReadTextEntries(const std::function<qsizetype(char *, qsizetype)> &read, NumberListModel &list,
                     qsizetype bufferSize)
{
    const std::unique_ptr<char[]> buffer(new char[std::size_t(bufferSize)]);
    EntryWriter writer(list);
    std::string pending;   // the start of an entry that began in an earlier read
    bool lineOpen = false; // bytes of a line were read since the last line end
    bool skipLF = false;   // the last read ended with a CR: a leading LF belongs to it

    for (;;) {
        const qsizetype n = read(buffer.get(), bufferSize);
        if (n == 0)
            break;
        const char *p = buffer.get();
        const char *const end = p + n;
        if (skipLF) {
            skipLF = false;
            if (*p == '\n')
                ++p;
        }
        const bool mayDiffer = hasHighControlBytes(p, end - p);
        while (p < end) {
            const char *stop = findLineBreak(p, end);
            if (stop == end) {
                pending.append(p, std::size_t(end - p));
                lineOpen = true;
                break;
            }
            if (pending.empty()) {
                writer.add(p, stop - p, mayDiffer);
            } else {
                pending.append(p, std::size_t(stop - p));
                writer.add(pending.data(), qsizetype(pending.size()), true);
                pending.clear();
            }
            p = stop + 1;
            if (*stop == '\n') {
                lineOpen = true; // an LF inside a line ends an entry, not the line
            } else {
                lineOpen = false;
                if (p == end)
                    skipLF = true;
                else if (*p == '\n')
                    ++p;
            }
        }
    }
    if (lineOpen)
        writer.add(pending.data(), qsizetype(pending.size()), true);
}

QString NormalizePath(const QString &path, QChar separator)
{
    const QString pair(2, separator);
    const QString single(1, separator);
    if (path.isEmpty() || path.front() != separator)
        return QString(path).replace(pair, single);
    qsizetype rest = 1;
    while (rest < path.size() && path.at(rest) == separator)
        ++rest;
    // Two leading backslashes mark a network path. With "/" there is no such
    // prefix: "//tmp" would only be an odd spelling of the root "/tmp".
    const QString prefix = separator == QLatin1Char('\\') ? pair : single;
    return prefix + path.mid(rest).replace(pair, single);
}

void LoadTextFileIntoList(Platform &platform, NumberListModel &list, const QString &path,
                          qsizetype bufferSize)
{
    if (!FileExists(path)) {
        platform.MsgBox(QStringLiteral("File not found"), MsgBoxStyle::OkOnly, QString());
        return;
    }
    ReadOnlyFile file(path);
    // The views hear of the new entries once, also when reading fails part-way
    // (the read buffers are freed by then, which matters when memory ran out).
    NumberListModel::Batch batch(list);
    ReadTextEntries([&file](char *buffer, qsizetype size) { return file.read(buffer, size); }, list,
                    std::max<qsizetype>(bufferSize, 1));
}

void LoadTextFileIntoList(Platform &platform, ListView *list, const QString &path)
{
    LoadTextFileIntoList(platform, *list->listModel(), path);
}

void AppendLines(NumberListModel &list, QStringView text)
{
    NumberListModel::Batch batch(list);
    const char16_t *p = text.utf16();
    const char16_t *const end = p + text.size();
    while (p < end) {
        const char16_t *stop = p;
        while (stop < end && *stop != u'\r' && *stop != u'\n')
            ++stop;
        list.append(QStringView(p, stop - p));
        if (stop == end)
            break;
        p = stop + 1;
        if (*stop == u'\r' && p < end && *p == u'\n')
            ++p;
    }
}

QList<QStringView> SplitAtCommas(QStringView text)
{
    return text.split(u',');
}

QStringView TrimSpaces(QStringView text)
{
    // Only U+0020 is trimmed: a tab or other white space belongs to the entry.
    while (!text.isEmpty() && text.front() == u' ')
        text = text.sliced(1);
    while (!text.isEmpty() && text.back() == u' ')
        text.chop(1);
    return text;
}

} // namespace Main
