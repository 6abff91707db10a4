#include "input/textimport.h"

#include "app/list/listview.h"
#include "app/list/numberlistmodel.h"
#include "platform/failure.h"
#include "platform/platform.h"
#include "platform/workers.h"
#include "text/windows1252.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <system_error>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Cuts the bytes of consecutive reads into entries and appends them: a line
// may begin in one read and end in a later one, and a CR at the end of one
// read may have its LF at the start of the next.
class LineSplitter
{
public:
    explicit LineSplitter(NumberListModel &list) : m_writer(list) {}

    // `mayDiffer` false promises that no byte is 0x80-0x9F.
    void feed(const char *p, qsizetype n, bool mayDiffer)
    {
        const char *const end = p + n;
        if (m_skipLF && p < end) {
            m_skipLF = false;
            if (*p == '\n')
                ++p;
        }
        while (p < end) {
            const char *stop = findLineBreak(p, end);
            if (stop == end) {
                m_pending.append(p, std::size_t(end - p));
                m_lineOpen = true;
                break;
            }
            if (m_pending.empty()) {
                m_writer.add(p, stop - p, mayDiffer);
            } else {
                m_pending.append(p, std::size_t(stop - p));
                m_writer.add(m_pending.data(), qsizetype(m_pending.size()), true);
                m_pending.clear();
            }
            p = stop + 1;
            if (*stop == '\n') {
                m_lineOpen = true; // an LF inside a line ends an entry, not the line
            } else {
                m_lineOpen = false;
                if (p == end)
                    m_skipLF = true;
                else if (*p == '\n')
                    ++p;
            }
        }
    }

    // After the last read: a line without a line end is an entry too.
    void finish()
    {
        if (m_lineOpen)
            m_writer.add(m_pending.data(), qsizetype(m_pending.size()), true);
    }

private:
    EntryWriter m_writer;
    std::string m_pending;   // the start of an entry that began in an earlier read
    bool m_lineOpen = false; // bytes of a line were read since the last line end
    bool m_skipLF = false;   // the last read ended with a CR: a leading LF belongs to it
};

using ReadFunction = std::function<qsizetype(char *, qsizetype)>;

// Reads on a second thread, a few buffers ahead of the caller, and looks for
// the bytes that need decoding while it is there: the caller only splits and
// appends, and the read's copy out of the page cache happens meanwhile. The
// read failure of the worker reaches the caller after the buffers read
// before it. The worker stops and is joined when this goes.
class ReadAhead
{
public:
    struct Block
    {
        std::unique_ptr<char[]> data;
        qsizetype size = 0;
        bool mayDiffer = false;
    };

    ReadAhead(const ReadFunction &read, qsizetype bufferSize)
        : m_read(read),
          m_bufferSize(bufferSize),
          m_blocks(makeBlocks(bufferSize)),
          m_worker([this] { run(); })
    {
    }
    ~ReadAhead()
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_space.notify_one();
        // m_worker, the last member, is joined first.
    }
    ReadAhead(const ReadAhead &) = delete;
    ReadAhead &operator=(const ReadAhead &) = delete;

    // The next buffer read, size 0 at the end of the input; throws what the
    // read threw once the buffers before it are taken.
    const Block &next()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_filled.wait(lock, [this] { return m_produced != m_consumed || m_error; });
        if (m_produced == m_consumed)
            std::rethrow_exception(m_error);
        return m_blocks[m_consumed % kBlocks];
    }
    // Gives the buffer next() returned back to the worker.
    void release()
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            ++m_consumed;
        }
        m_space.notify_one();
    }

private:
    // One buffer being split, one being read, one waiting between them.
    static constexpr std::size_t kBlocks = 3;

    static std::array<Block, kBlocks> makeBlocks(qsizetype bufferSize)
    {
        std::array<Block, kBlocks> blocks;
        for (Block &block : blocks)
            block.data.reset(new char[std::size_t(bufferSize)]);
        return blocks;
    }

    void run()
    {
        try {
            for (;;) {
                std::size_t slot;
                {
                    std::unique_lock<std::mutex> lock(m_mutex);
                    m_space.wait(lock, [this] { return m_stop || m_produced - m_consumed < kBlocks; });
                    if (m_stop)
                        return;
                    slot = m_produced % kBlocks;
                }
                Block &block = m_blocks[slot];
                block.size = m_read(block.data.get(), m_bufferSize);
                block.mayDiffer = hasHighControlBytes(block.data.get(), block.size);
                {
                    const std::lock_guard<std::mutex> lock(m_mutex);
                    ++m_produced;
                }
                m_filled.notify_one();
                if (block.size == 0)
                    return;
                // The texts of the block just handed over will need fresh
                // memory: have the system clear it here, after the hand-over,
                // rather than on the thread that appends, which must not wait.
                TextArena::prepareChunks(std::size_t(block.size) * 2);
            }
        } catch (...) {
            {
                const std::lock_guard<std::mutex> lock(m_mutex);
                m_error = std::current_exception();
            }
            m_filled.notify_one();
        }
    }

    const ReadFunction &m_read;
    const qsizetype m_bufferSize;
    std::array<Block, kBlocks> m_blocks;
    std::mutex m_mutex;
    std::condition_variable m_filled; // the worker read a buffer or failed
    std::condition_variable m_space;  // the caller gave a buffer back or stops
    std::size_t m_produced = 0;       // buffers read, counted from the start
    std::size_t m_consumed = 0;       // buffers given back
    std::exception_ptr m_error;
    bool m_stop = false;
    Workers::Helper m_worker; // last: it starts once the rest is ready
};

} // namespace

namespace Main {

void ReadTextEntries(const std::function<qsizetype(char *, qsizetype)> &read, NumberListModel &list,
                     qsizetype bufferSize)
{
    LineSplitter splitter(list);
    if (Workers::count() >= 2) {
        std::unique_ptr<ReadAhead> ahead;
        try {
            ahead = std::make_unique<ReadAhead>(read, bufferSize);
        } catch (const std::system_error &) {
            // No thread to be had: read on this one.
        }
        if (ahead) {
            for (;;) {
                const ReadAhead::Block &block = ahead->next();
                if (block.size == 0)
                    break;
                splitter.feed(block.data.get(), block.size, block.mayDiffer);
                ahead->release();
            }
            splitter.finish();
            return;
        }
    }

    const std::unique_ptr<char[]> buffer(new char[std::size_t(bufferSize)]);
    for (;;) {
        const qsizetype n = read(buffer.get(), bufferSize);
        if (n == 0)
            break;
        splitter.feed(buffer.get(), n, hasHighControlBytes(buffer.get(), n));
    }
    splitter.finish();
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
