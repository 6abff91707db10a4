#include "export/xlsxworkbook.h"

#include "platform/failure.h"

#include <QDir>
#include <QFile>

#include <xlsxwriter.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <mutex>
#include <system_error>
#include <type_traits>
#include <utility>
#include <vector>

namespace {

QString nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// The system's words for errno, when a file operation left one.
QString systemReason(int error)
{
    return error ? QString::fromLocal8Bit(std::strerror(error)) : QString();
}

bool isFileError(int error)
{
    switch (error) {
    case LXW_ERROR_CREATING_XLSX_FILE:
    case LXW_ERROR_CREATING_TMPFILE:
    case LXW_ERROR_READING_TMPFILE:
    case LXW_ERROR_ZIP_FILE_OPERATION:
    case LXW_ERROR_ZIP_FILE_ADD:
    case LXW_ERROR_ZIP_CLOSE:
        return true;
    default:
        return false;
    }
}

} // namespace

// libxlsxwriter packs every part at zlib's default level. The sheet of a long
// list is mostly repeated markup, which zlib's fastest level packs nearly as
// small (8.6 instead of 8.0 MiB for a million rows) in well under half the
// time. The library has no setting for it, so its call into minizip is
// answered here and passed on with that level; other callers of the function
// keep what they ask for.
extern "C" int zipOpenNewFileInZip4_64(void *file, const char *filename, const void *zipfi,
                                       const void *extrafieldLocal, unsigned sizeExtrafieldLocal,
                                       const void *extrafieldGlobal, unsigned sizeExtrafieldGlobal,
                                       const char *comment, int method, int level, int raw, int windowBits,
                                       int memLevel, int strategy, const char *password,
                                       unsigned long crcForCrypting, unsigned long versionMadeBy,
                                       unsigned long flagBase, int zip64)
{
    using Open = int (*)(void *, const char *, const void *, const void *, unsigned, const void *, unsigned,
                         const char *, int, int, int, int, int, int, const char *, unsigned long,
                         unsigned long, unsigned long, int);
    static const auto next = reinterpret_cast<Open>(dlsym(RTLD_NEXT, "zipOpenNewFileInZip4_64"));
    if (!next)
        return -102; // ZIP_PARAMERROR: no minizip below to pass the call to
    constexpr int deflated = 8, defaultLevel = -1, fastestLevel = 1; // zlib's values
    if (method == deflated && level == defaultLevel && !raw)
        level = fastestLevel;
    return next(file, filename, zipfi, extrafieldLocal, sizeExtrafieldLocal, extrafieldGlobal,
                sizeExtrafieldGlobal, comment, method, level, raw, windowBits, memLevel, strategy, password,
                crcForCrypting, versionMadeBy, flagBase, zip64);
}

// The temporary files libxlsxwriter makes for one workbook. The library loses
// track of one when it gives up half-way (workbook_close returns on a failed
// write without closing it), and such a file, unlinked, keeps its disk space
// for as long as it is open. So the files are made here, as streams whose
// closing is seen: what is still open once the library is done is closed by
// the owner. A failed write is kept, because the library does not check its
// own writes into these files.
class XlsxTempFiles final
{
public:
    explicit XlsxTempFiles(QByteArray folder) : m_folder(std::move(folder)) {}
    ~XlsxTempFiles() { closeLeftovers(); }
    XlsxTempFiles(const XlsxTempFiles &) = delete;
    XlsxTempFiles &operator=(const XlsxTempFiles &) = delete;

    // While it lives, the library's files opened on this thread belong to `files`.
    class Collecting
    {
    public:
        explicit Collecting(XlsxTempFiles *files) : m_previous(std::exchange(s_current, files)) {}
        ~Collecting() { s_current = m_previous; }
        Collecting(const Collecting &) = delete;
        Collecting &operator=(const Collecting &) = delete;

    private:
        XlsxTempFiles *m_previous;
    };
    static XlsxTempFiles *current() { return s_current; }

    FILE *create();
    // Closes what the library left open. Only once it is done with the files.
    void closeLeftovers();
    int writeError() const { return m_writeError.load(); } // errno of the first failed write

private:
    struct File
    {
        XlsxTempFiles *owner;
        int fd;
        FILE *stream;
    };
    static ssize_t read(void *cookie, char *buffer, size_t size);
    static ssize_t write(void *cookie, const char *buffer, size_t size);
    static int seek(void *cookie, off64_t *offset, int whence);
    static int close(void *cookie);

    const QByteArray m_folder;
    std::mutex m_mutex; // the library closes on whichever thread it runs
    std::vector<FILE *> m_open;
    std::atomic<int> m_writeError{0};

    static thread_local XlsxTempFiles *s_current;
};

thread_local XlsxTempFiles *XlsxTempFiles::s_current = nullptr;

FILE *XlsxTempFiles::create()
{
    std::string name = m_folder.toStdString() + "/.quillory-XXXXXX";
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    ::unlink(name.c_str()); // nothing stays behind, however the program ends
    auto *file = new (std::nothrow) File{this, fd, nullptr};
    FILE *stream = file ? ::fopencookie(file, "w+",
                                        {&XlsxTempFiles::read, &XlsxTempFiles::write, &XlsxTempFiles::seek,
                                         &XlsxTempFiles::close})
                        : nullptr;
    if (!stream) {
        const int error = errno;
        delete file;
        ::close(fd);
        errno = error;
        return nullptr;
    }
    file->stream = stream;
    const std::lock_guard lock(m_mutex);
    m_open.push_back(stream);
    return stream;
}

void XlsxTempFiles::closeLeftovers()
{
    std::vector<FILE *> left;
    {
        const std::lock_guard lock(m_mutex);
        left.swap(m_open);
    }
    for (FILE *stream : left)
        std::fclose(stream); // a failing write changes nothing now: the workbook is done, or dropped
}

ssize_t XlsxTempFiles::read(void *cookie, char *buffer, size_t size)
{
    const auto *file = static_cast<const File *>(cookie);
    ssize_t n;
    do
        n = ::read(file->fd, buffer, size);
    while (n < 0 && errno == EINTR);
    return n;
}

ssize_t XlsxTempFiles::write(void *cookie, const char *buffer, size_t size)
{
    auto *file = static_cast<File *>(cookie);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(file->fd, buffer + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            int none = 0;
            file->owner->m_writeError.compare_exchange_strong(none, n < 0 ? errno : ENOSPC);
            return ssize_t(done); // short: the stream reports the error
        }
        done += size_t(n);
    }
    return ssize_t(done);
}

int XlsxTempFiles::seek(void *cookie, off64_t *offset, int whence)
{
    const auto *file = static_cast<const File *>(cookie);
    const off64_t at = ::lseek64(file->fd, *offset, whence);
    if (at < 0)
        return -1;
    *offset = at;
    return 0;
}

int XlsxTempFiles::close(void *cookie)
{
    auto *file = static_cast<File *>(cookie);
    {
        XlsxTempFiles &owner = *file->owner;
        const std::lock_guard lock(owner.m_mutex);
        const auto it = std::find(owner.m_open.begin(), owner.m_open.end(), file->stream);
        if (it != owner.m_open.end())
            owner.m_open.erase(it);
    }
    const int result = ::close(file->fd);
    delete file;
    return result;
}

// Every temporary file of libxlsxwriter is asked for here. The files of a
// workbook of ours are made and tracked by it; any other caller gets the
// library's own.
extern "C" FILE *lxw_tmpfile(char *tmpdir)
{
    if (XlsxTempFiles *files = XlsxTempFiles::current())
        return files->create();
    using Make = FILE *(*)(char *);
    static const auto next = reinterpret_cast<Make>(dlsym(RTLD_NEXT, "lxw_tmpfile"));
    return next ? next(tmpdir) : nullptr;
}

namespace {

// Length of an "_xHHHH_" escape at `p`, or 0.
std::size_t escapeAt(const char *p)
{
    if (p[0] != '_' || p[1] != 'x')
        return 0;
    for (int k = 2; k < 6; ++k)
        if (!std::isxdigit(static_cast<unsigned char>(p[k])))
            return 0;
    return p[6] == '_' ? 7 : 0;
}

} // namespace

// libxlsxwriter refuses a cell text longer than a cell holds, but counts the
// characters of the escaped form, so a text of 5,000 control characters would
// count 35,000. The texts reaching it were already cut to what a cell holds
// (appendCellText), so its check counts here what the spreadsheet will read:
// an escape is the one character it stands for.
extern "C" size_t lxw_utf8_strlen(const char *str)
{
    std::size_t characters = 0;
    for (const char *p = str; *p;) {
        if (const std::size_t escape = escapeAt(p)) {
            p += escape;
        } else {
            do
                ++p;
            while ((static_cast<unsigned char>(*p) & 0xC0) == 0x80);
        }
        ++characters;
    }
    return characters;
}

XlsxWorkbook::XlsxWorkbook(const QString &path, const QString &tempFolder)
    : m_path(path),
      m_nativePath(QFile::encodeName(path)),
      m_tempFolder(QFile::encodeName(tempFolder.isEmpty() ? QDir::tempPath() : tempFolder)),
      m_tempFiles(std::make_unique<XlsxTempFiles>(m_tempFolder))
{
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = m_tempFolder.data();
    const XlsxTempFiles::Collecting collecting(m_tempFiles.get());
    options.use_zip64 = LXW_FALSE;

    m_book = workbook_new_opt(m_nativePath.constData(), &options);
    if (!m_book) {
        discard();
        throw Failure(QStringLiteral("Cannot start the workbook %1: out of memory").arg(nativePath(path)));
    }

    errno = 0;
    m_sheet = workbook_add_worksheet(m_book, nullptr);
    if (!m_sheet) {
        const int error = errno;
        discard();
        QString text = QStringLiteral("Cannot create the temporary file of the workbook in %1")
                           .arg(nativePath(tempFolder.isEmpty() ? QDir::tempPath() : tempFolder));
        if (error)
            text += QStringLiteral(": ") + systemReason(error);
        throw Failure(text);
    }

    // The rows go through this file: a larger buffer saves most of the writes.
    if (m_sheet->optimize_tmpfile)
        std::setvbuf(m_sheet->optimize_tmpfile, nullptr, _IOFBF, 1 << 20);

    m_text = workbook_add_format(m_book);
    if (!m_text) {
        discard();
        throw Failure(QStringLiteral("Cannot start the workbook %1: out of memory").arg(nativePath(path)));
    }
    format_set_num_format(m_text, "@");
}

XlsxWorkbook::~XlsxWorkbook()
{
    discard();
}

void XlsxWorkbook::discard()
{
    if (m_book) {
        // Freeing an unfinished workbook leaves its row file open: closed below.
        lxw_workbook_free(std::exchange(m_book, nullptr));
        m_sheet = nullptr;
        m_text = nullptr;
    }
    if (m_tempFiles)
        m_tempFiles->closeLeftovers();
    if (!m_closed)
        QFile::remove(m_path);
}

void XlsxWorkbook::fail(int error, const QString &what) const
{
    QString text =
        what + QStringLiteral(": ") + QString::fromUtf8(lxw_strerror(static_cast<lxw_error>(error)));
    throw Failure(text);
}

// A row that did not reach the temporary file would be missing from the sheet.
void XlsxWorkbook::failOnTempFileError() const
{
    if (const int error = m_tempFiles->writeError())
        throw Failure(QStringLiteral("Cannot write the temporary file of the workbook in %1: %2")
                          .arg(nativePath(QFile::decodeName(m_tempFolder)), systemReason(error)));
}

void XlsxWorkbook::writeText(std::uint32_t row, int column, const std::string &utf8)
{
    failOnTempFileError();
    const lxw_error error = worksheet_write_string(m_sheet, row, lxw_col_t(column), utf8.c_str(), m_text);
    if (error != LXW_NO_ERROR) {
        char cell[LXW_MAX_CELL_NAME_LENGTH];
        lxw_rowcol_to_cell(cell, row, lxw_col_t(column));
        fail(error, QStringLiteral("Cannot write cell %1 of the workbook").arg(QString::fromLatin1(cell)));
    }
}

void XlsxWorkbook::setColumnWidth(int column, double width)
{
    const lxw_error error =
        worksheet_set_column(m_sheet, lxw_col_t(column), lxw_col_t(column), width, nullptr);
    if (error != LXW_NO_ERROR)
        fail(error, QStringLiteral("Cannot set the width of column %1 of the workbook").arg(column + 1));
}

void XlsxWorkbook::close(const std::function<void()> &whileWriting)
{
    lxw_workbook *book = std::exchange(m_book, nullptr);
    m_sheet = nullptr;
    m_text = nullptr;
    struct Outcome
    {
        lxw_error error;
        int reason; // errno of the worker thread
    };
    const auto write = [book, files = m_tempFiles.get()] {
        const XlsxTempFiles::Collecting collecting(files);
        errno = 0;
        const lxw_error error = workbook_close(book); // frees the workbook in every case
        return Outcome{error, errno};
    };
    std::future<Outcome> writing;
    try {
        writing = std::async(std::launch::async, write);
    } catch (const std::system_error &) {
        std::promise<Outcome> done; // no thread to be had: write it here
        done.set_value(write());
        writing = done.get_future();
    }
    try {
        while (writing.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
            if (whileWriting)
                whileWriting();
        }
    } catch (...) {
        writing.wait(); // the file is complete or failed only once the worker is done
        m_tempFiles->closeLeftovers();
        QFile::remove(m_path);
        throw;
    }

    const Outcome outcome = writing.get();
    // The library is done with its files: whatever it left open goes now.
    m_tempFiles->closeLeftovers();
    if (outcome.error != LXW_NO_ERROR) {
        QFile::remove(m_path);
        QString text = QStringLiteral("Cannot write the workbook %1: ").arg(nativePath(m_path))
            + QString::fromUtf8(lxw_strerror(outcome.error));
        if (isFileError(outcome.error) && outcome.reason)
            text += QStringLiteral(" (") + systemReason(outcome.reason) + QLatin1Char(')');
        throw Failure(text);
    }
    if (m_tempFiles->writeError()) {
        // The library packed a temporary file that was cut short.
        QFile::remove(m_path);
        failOnTempFileError();
    }
    m_closed = true;
}

namespace {

constexpr bool isHex(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

template<typename View>
char16_t unit(View text, qsizetype i)
{
    return char16_t(text[i].unicode());
}

// "_xHHHH_" at position i: the spreadsheet would read it as an escape.
template<typename View>
bool startsEscape(View text, qsizetype i)
{
    if (i + 7 > text.size() || unit(text, i + 1) != u'x' || unit(text, i + 6) != u'_')
        return false;
    for (qsizetype k = 2; k < 6; ++k)
        if (!isHex(unit(text, i + k)))
            return false;
    return true;
}

void appendUtf8(std::string &out, char32_t cp)
{
    if (cp < 0x80) {
        out.push_back(char(cp));
    } else if (cp < 0x800) {
        out.push_back(char(0xC0 | (cp >> 6)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(char(0xE0 | (cp >> 12)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (cp >> 18)));
        out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    }
}

void appendEscape(std::string &out, char32_t cp)
{
    char buffer[16]; // room for any value the compiler can imagine
    const int n = std::snprintf(buffer, sizeof buffer, "_x%04X_", unsigned(cp));
    out.append(buffer, std::size_t(n));
}

// Characters XML 1.0 cannot carry, which the sheet writes as "_xHHHH_". CR is
// among them because a reader would turn it into LF.
constexpr bool needsEscape(char32_t cp)
{
    return (cp < 0x20 && cp != u'\t' && cp != u'\n') || cp == 0xFFFE || cp == 0xFFFF;
}

template<typename View>
CellTextResult appendCellTextImpl(std::string &out, View text, bool removeEquals)
{
    CellTextResult result;
    qsizetype cellChars = 0; // as the spreadsheet counts them (UTF-16 units)
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        char32_t cp = unit(text, i);
        qsizetype units = 1;
        if constexpr (std::is_same_v<View, QStringView>) {
            if (QChar::isHighSurrogate(cp) && i + 1 < n && QChar::isLowSurrogate(unit(text, i + 1))) {
                cp = QChar::surrogateToUcs4(char16_t(cp), unit(text, i + 1));
                units = 2;
            } else if (QChar::isSurrogate(cp)) {
                cp = QChar::ReplacementCharacter;
            }
        }
        if (removeEquals && cp == u'=') {
            ++i;
            continue;
        }
        const bool escape = needsEscape(cp);
        const bool protect = cp == u'_' && startsEscape(text, i);
        const qsizetype cost = units; // an escape is still the one character to the spreadsheet
        if (cellChars + cost > XlsxWorkbook::MaxCellChars) {
            result.cut = true;
            break;
        }
        if (escape || protect)
            appendEscape(out, cp); // "_x005F_" for the "_" keeps what follows literal
        else
            appendUtf8(out, cp);
        cellChars += cost;
        ++result.shownChars; // the width counts characters, not UTF-16 units
        i += units;
    }
    return result;
}

} // namespace

CellTextResult appendCellText(std::string &out, QStringView text, bool removeEquals)
{
    return appendCellTextImpl(out, text, removeEquals);
}

CellTextResult appendCellText(std::string &out, QLatin1StringView text, bool removeEquals)
{
    return appendCellTextImpl(out, text, removeEquals);
}
