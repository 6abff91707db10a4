#include "export/paddedtext.h"

#include "app/form1.h"
#include "input/windows1252.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <optional>
#include <thread>

#ifdef Q_OS_UNIX
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

void openForWriting(QSaveFile &file, const QString &fileName)
{
    // Replacing a device, pipe or folder with a regular file would be wrong
    // whatever the user meant; refuse before anything is created.
    const QFileInfo info(fileName);
    if (info.exists() && !info.isFile())
        throw Failure(
            QStringLiteral("Cannot create \"%1\": it is not a regular file").arg(nativeName(fileName)));
    // A folder the user may not write into still holds files the user may
    // write: those are written in place, as there is no room for a temporary
    // file beside them. Everywhere else the file is replaced only when complete.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw Failure(
            QStringLiteral("Cannot create \"%1\": %2").arg(nativeName(fileName), file.errorString()));
}

void writeOut(QSaveFile &file, QByteArray &buffer)
{
    if (buffer.isEmpty())
        return;
    // A short write is followed by another attempt, which fails with the reason.
    qsizetype done = 0;
    while (done < buffer.size()) {
        const qint64 n = file.write(buffer.constData() + done, buffer.size() - done);
        if (n <= 0)
            throw Failure(QStringLiteral("Cannot write \"%1\": %2")
                              .arg(nativeName(file.fileName()), file.errorString()));
        done += qsizetype(n);
    }
    buffer.resize(0); // keeps the capacity for the next block
}

// Brings the file's data to the disk on a worker thread while the window
// keeps answering; the commit that follows then finds nothing left to sync
// and only renames the temporary file. A failed sync is reported, except
// where the file system cannot sync at all.
template<typename Yield>
void syncToDiskWhileYielding(QSaveFile &file, const Yield &yield)
{
#ifdef Q_OS_UNIX
    const int fd = file.handle();
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
        throw Failure(QStringLiteral("Cannot save \"%1\": %2")
                          .arg(nativeName(file.fileName()), qt_error_string(error)));
#else
    Q_UNUSED(file);
    Q_UNUSED(yield);
#endif
}

} // namespace

qsizetype CharacterCount(QStringView text)
{
    qsizetype count = text.size();
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i].isHighSurrogate() && text[i + 1].isLowSurrogate()) {
            --count;
            ++i;
        }
    }
    return count;
}

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

    // The text goes to a temporary file that replaces the target only when it
    // is complete, so a failure or a closed window never leaves a cut-off file.
    std::optional<QSaveFile> file;
    proc(134, [&] { file.emplace(fileName); });
    if (!file || !proc(136, [&] { openForWriting(*file, fileName); }))
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
                writeOut(*file, buffer);
        }
    });
    if (!entriesWritten)
        return;

    proc(184, [&] {
        writeOut(*file, buffer);
        syncToDiskWhileYielding(*file, [&form] { form.yielder().yieldNow(); });
        if (!file->commit())
            throw Failure(
                QStringLiteral("Cannot save \"%1\": %2").arg(nativeName(fileName), file->errorString()));
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
