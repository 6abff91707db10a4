#pragma once

// The references bench_window sets beside the program: grep and a hand-written
// one-thread matcher, each sorting the input's lines into those of the
// fourteen shapes and the rest. Both take a line with its CR (the input's
// lines end in CR LF, and for grep the CR is part of the line), so a line
// without one matches neither.

#include "benchinput.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <emmintrin.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

// ---- grep ------------------------------------------------------------------

// One way of asking grep for the shapes: the arguments before the file, and
// whether it runs in the C locale.
struct GrepWay
{
    const char *name;
    QStringList args; // without -v and without the file
    bool cLocale;
};

// The fourteen shapes as fourteen alternatives of an extended expression.
inline QString grepShapesListed()
{
    std::string re = "(";
    for (const char *shape : kValidShapes) {
        if (re.size() > 1)
            re += '|';
        for (const char *p = shape; *p; ++p) {
            if (*p == '#')
                re += "[0-9]";
            else if (*p == '(' || *p == ')' || *p == '.')
                (re += '\\') += *p;
            else
                re += *p;
        }
    }
    return QString::fromLatin1(re + ")\r");
}

// The shapes folded by what they share: every one ends in four digits, the
// seven- and ten-digit shapes share their groups, and the leading 1 takes the
// separator of the groups after it.
inline const char *const kFoldedShapes[] = {
    "(1 )?[0-9]{3} [0-9]{3} ", "(1\\.)?[0-9]{3}\\.[0-9]{3}\\.", "1?[0-9]{6}",
    "(1-)?[0-9]{3}-[0-9]{3}-", "\\([0-9]{3}\\) ?[0-9]{3}-",     "[0-9]{3}[ .-]?",
};

inline QString grepShapesFolded()
{
    QString re = QStringLiteral("(");
    for (const char *part : kFoldedShapes) {
        if (re.size() > 1)
            re += QLatin1Char('|');
        re += QLatin1String(part);
    }
    return re + QStringLiteral(")[0-9]{4}\r");
}

// The same in basic syntax (GNU's \? \| \{ \}).
inline QString grepShapesFoldedBasic()
{
    return QStringLiteral(
        "\\(\\(1 \\)\\?[0-9]\\{3\\} [0-9]\\{3\\} \\|\\(1\\.\\)\\?[0-9]\\{3\\}\\.[0-9]\\{3\\}\\.\\|"
        "1\\?[0-9]\\{6\\}\\|\\(1-\\)\\?[0-9]\\{3\\}-[0-9]\\{3\\}-\\|([0-9]\\{3\\}) \\?"
        "[0-9]\\{3\\}-\\|[0-9]\\{3\\}[ .-]\\?\\)[0-9]\\{4\\}\r");
}

// The ways timed by `bench_window --tune-peers`; the first is the one the
// bench uses. Each sorts the lines as the hand matcher does, also a file of
// long lines, lines without CR, Latin-1 bytes and no final LF; all but the
// second, whose UTF-8 locale takes bytes that are not UTF-8 for a binary file.
inline std::vector<GrepWay> grepWays()
{
    const QString folded = grepShapesFolded();
    QStringList several{QStringLiteral("-E"), QStringLiteral("-x")};
    for (const char *part : kFoldedShapes)
        several << QStringLiteral("-e") << QLatin1String(part) + QStringLiteral("[0-9]{4}\r");
    return {
        {"-E -x, folded, C locale",
         {QStringLiteral("-E"), QStringLiteral("-x"), QStringLiteral("-e"), folded},
         true},
        {"-E -x, fourteen listed",
         {QStringLiteral("-E"), QStringLiteral("-x"), QStringLiteral("-e"), grepShapesListed()},
         false},
        {"-E -x, fourteen listed, C locale",
         {QStringLiteral("-E"), QStringLiteral("-x"), QStringLiteral("-e"), grepShapesListed()},
         true},
        {"-E ^...$, folded, C locale",
         {QStringLiteral("-E"), QStringLiteral("-e"), QLatin1Char('^') + folded + QLatin1Char('$')},
         true},
        {"-E -x, folded, one -e each, C locale", several, true},
        {"-G -x, folded, C locale",
         {QStringLiteral("-G"), QStringLiteral("-x"), QStringLiteral("-e"), grepShapesFoldedBasic()},
         true},
        {"-P -x, folded, C locale",
         {QStringLiteral("-P"), QStringLiteral("-x"), QStringLiteral("-e"), folded},
         true},
    };
}

// ---- the hand matcher ------------------------------------------------------

// A line (without its LF) of up to 16 bytes is judged from one 16-byte load:
// each shape of its length, CR included, is a row of literal bytes and a row
// of digit positions, and the line matches when every byte of it is the
// literal or a digit where the shape has one. Every length has four rows
// (unused ones can never match), so no branch depends on the characters.
class ShapeTable
{
public:
    ShapeTable()
    {
        for (Row *rows : m_rows) {
            for (int i = 0; i < 4; ++i)
                rows[i] = Row{_mm_setzero_si128(), _mm_setzero_si128(), 1u << 16};
        }
        int used[17] = {};
        for (const char *shape : kValidShapes) {
            const std::string withCr = std::string(shape) + '\r';
            alignas(16) char literal[16] = {};
            alignas(16) char digit[16] = {};
            for (std::size_t i = 0; i < withCr.size(); ++i) {
                if (withCr[i] == '#')
                    digit[i] = char(0xff);
                else
                    literal[i] = withCr[i];
            }
            const std::size_t n = withCr.size();
            m_rows[n][used[n]++] =
                Row{_mm_load_si128(reinterpret_cast<const __m128i *>(literal)),
                    _mm_load_si128(reinterpret_cast<const __m128i *>(digit)), (1u << n) - 1};
        }
    }

    // `line` may be read 16 bytes far whatever its length.
    bool matches(const char *line, std::size_t length) const
    {
        const Row *rows = m_rows[std::min<std::size_t>(length, 16)];
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(line));
        const __m128i digits = _mm_and_si128(_mm_cmpgt_epi8(c, _mm_set1_epi8('0' - 1)),
                                             _mm_cmplt_epi8(c, _mm_set1_epi8('9' + 1)));
        bool match = false;
        for (int i = 0; i < 4; ++i) {
            const __m128i ok =
                _mm_or_si128(_mm_andnot_si128(rows[i].digit, _mm_cmpeq_epi8(c, rows[i].literal)),
                             _mm_and_si128(rows[i].digit, digits));
            const unsigned bits = unsigned(_mm_movemask_epi8(ok));
            match |= (bits & rows[i].need) == rows[i].need;
        }
        return match;
    }

private:
    struct Row
    {
        __m128i literal;
        __m128i digit;
        unsigned need; // the bits of the line's bytes; 1 << 16 can never be met
    };
    // By line length without the LF; 16 stands for 16 and longer (none match).
    Row m_rows[17][4];
};

// A block of bytes that is not cleared when made (the hand matcher writes
// before it reads) and keeps its bytes when it grows.
class Bytes
{
public:
    explicit Bytes(std::size_t size) : m_data(std::make_unique_for_overwrite<char[]>(size)), m_size(size) {}
    char *data() { return m_data.get(); }
    std::size_t size() const { return m_size; }
    void grow(std::size_t size, std::size_t keep)
    {
        if (size <= m_size)
            return;
        auto bigger = std::make_unique_for_overwrite<char[]>(size);
        std::memcpy(bigger.get(), m_data.get(), keep);
        m_data = std::move(bigger);
        m_size = size;
    }

private:
    std::unique_ptr<char[]> m_data;
    std::size_t m_size;
};

// How the hand matcher reads its input.
struct HandWay
{
    const char *name;
    std::size_t block; // bytes per read and per write
    bool map;          // map the file instead of reading it
};

inline const HandWay kHandWays[] = {
    {"1 MiB reads", std::size_t(1) << 20, false},         {"256 KiB reads", std::size_t(256) << 10, false},
    {"512 KiB reads", std::size_t(512) << 10, false},     {"2 MiB reads", std::size_t(2) << 20, false},
    {"4 MiB reads", std::size_t(4) << 20, false},         {"16 MiB reads", std::size_t(16) << 20, false},
    {"mapped, 1 MiB writes", std::size_t(1) << 20, true},
};

// Sorts the lines of `path` into `matching` and `rest` (each line with its
// LF, one added to a last line without one). Answers the number of matching
// lines, -1 when a file cannot be read or written.
inline qsizetype handMatcher(const QString &path, const QString &matching, const QString &rest,
                             const HandWay &way = kHandWays[0])
{
    static const ShapeTable table;
    const int in = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    const int out[2] = {
        ::open(QFile::encodeName(matching).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644),
        ::open(QFile::encodeName(rest).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)};
    const auto closeAll = [&] {
        bool ok = true;
        for (int fd : {in, out[0], out[1]})
            ok = (fd < 0 || ::close(fd) == 0) && ok;
        return ok;
    };
    if (in < 0 || out[0] < 0 || out[1] < 0) {
        closeAll();
        return -1;
    }
    constexpr std::size_t kSlack = 64; // room for the 16- and 32-byte loads and stores past the end
    const std::size_t block = way.block;
    // Each output is written once it holds a block; a line is stored to both
    // with two 16-byte stores and only the chosen one's end moves on.
    Bytes output[2] = {Bytes(block + 64 + kSlack), Bytes(block + 64 + kSlack)};
    std::size_t used[2] = {0, 0};
    bool ok = true;
    qsizetype matched = 0;
    const auto flush = [&](int which) {
        const char *p = output[which].data();
        std::size_t left = used[which];
        while (ok && left > 0) {
            const ssize_t n = ::write(out[which], p, left);
            ok = n > 0;
            p += n > 0 ? n : 0;
            left -= n > 0 ? std::size_t(n) : 0;
        }
        used[which] = 0;
    };
    const auto put = [&](const char *line, std::size_t length) { // length with the LF
        const bool match = table.matches(line, length - 1);
        matched += match;
        if (length <= 32) {
            for (char *o : {output[0].data() + used[0], output[1].data() + used[1]}) {
                _mm_storeu_si128(reinterpret_cast<__m128i *>(o),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i *>(line)));
                _mm_storeu_si128(reinterpret_cast<__m128i *>(o + 16),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i *>(line + 16)));
            }
            used[0] += match ? length : 0;
            used[1] += match ? 0 : length;
        } else {
            const int which = match ? 0 : 1;
            if (used[which] + length > block)
                flush(which);
            output[which].grow(length + kSlack, used[which]);
            std::memcpy(output[which].data() + used[which], line, length);
            used[which] += length;
        }
        if (used[0] >= block)
            flush(0);
        if (used[1] >= block)
            flush(1);
    };
    // Finds the LFs 16 bytes at a time; answers where the unfinished last
    // line begins. `data` has kSlack readable bytes past `size`.
    const auto sort = [&](const char *data, std::size_t size) {
        const __m128i lf = _mm_set1_epi8('\n');
        const char *line = data;
        for (std::size_t at = 0; at < size; at += 16) {
            unsigned bits = unsigned(_mm_movemask_epi8(
                _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(data + at)), lf)));
            if (size - at < 16)
                bits &= (1u << (size - at)) - 1;
            while (bits) {
                const char *end = data + at + unsigned(__builtin_ctz(bits));
                bits &= bits - 1;
                put(line, std::size_t(end - line) + 1);
                line = end + 1;
            }
        }
        return line;
    };
    // A last line without a LF is given one, as grep does.
    const auto finish = [&](const char *line, std::size_t length) {
        if (length > 0) {
            std::vector<char> last(line, line + length);
            last.push_back('\n');
            last.resize(last.size() + kSlack);
            put(last.data(), length + 1);
        }
    };

    if (way.map) {
        struct stat st
        {
        };
        ok = ::fstat(in, &st) == 0;
        const std::size_t size = ok ? std::size_t(st.st_size) : 0;
        if (ok && size > 0) {
            // One page more than the file: the loads past its end read zeros.
            const std::size_t pages = (size + kSlack + 4095) / 4096 * 4096;
            void *anon = ::mmap(nullptr, pages, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            void *mapped = anon == MAP_FAILED
                ? MAP_FAILED
                : ::mmap(anon, size, PROT_READ, MAP_PRIVATE | MAP_FIXED | MAP_POPULATE, in, 0);
            if (mapped == MAP_FAILED) {
                ok = false;
            } else {
                ::madvise(mapped, size, MADV_SEQUENTIAL);
                const char *data = static_cast<const char *>(mapped);
                const char *last = sort(data, size);
                finish(last, std::size_t(data + size - last));
            }
            if (anon != MAP_FAILED)
                ::munmap(anon, pages);
        }
    } else {
        // Reads append to what is left of the last line, moved to the front.
        Bytes buffer(block + kSlack);
        std::size_t carried = 0;
        for (;;) {
            buffer.grow(carried + block + kSlack, carried);
            const ssize_t n = ::read(in, buffer.data() + carried, block);
            if (n < 0)
                ok = false;
            if (n <= 0)
                break;
            const std::size_t size = carried + std::size_t(n);
            const char *last = sort(buffer.data(), size);
            carried = std::size_t(buffer.data() + size - last);
            std::memmove(buffer.data(), last, carried);
        }
        finish(buffer.data(), carried);
    }
    flush(0);
    flush(1);
    ok = closeAll() && ok;
    return ok ? matched : -1;
}

// Whether two files hold the same bytes.
inline bool sameBytes(const QString &a, const QString &b)
{
    QFile fa(a), fb(b);
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly) || fa.size() != fb.size())
        return false;
    const qint64 chunk = qint64(1) << 22;
    while (!fa.atEnd()) {
        if (fa.read(chunk) != fb.read(chunk))
            return false;
    }
    return true;
}
