// The text-file reader: any bytes, handed out by reads of any size, give the
// entries of a plain reference splitter over the whole file.

#include "fuzz/fuzzsupport.h"

#include "app/list/numberlistmodel.h"
#include "input/textimport.h"

#include <QList>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// The file's lines: a line ends at CR LF or CR; a line end at the very end
// makes no further line. Each line is then cut at every LF, the piece after
// the last LF kept even when empty.
QList<QString> referenceEntries(const QByteArray &file)
{
    std::vector<QByteArray> lines;
    QByteArray line;
    bool open = false;
    for (qsizetype i = 0; i < file.size(); ++i) {
        if (file[i] == '\r') {
            lines.push_back(line);
            line.clear();
            open = false;
            if (i + 1 < file.size() && file[i + 1] == '\n')
                ++i;
        } else {
            line.append(file[i]);
            open = true;
        }
    }
    if (open)
        lines.push_back(line);

    QList<QString> entries;
    for (const QByteArray &l : lines) {
        for (const QByteArray &piece : l.split('\n'))
            entries.append(fuzz::codePage().decode(piece));
    }
    return entries;
}

std::string show(const QList<QString> &entries)
{
    std::string out = std::to_string(entries.size()) + " entries:";
    for (const QString &e : entries)
        out += " [" + fuzz::show(e) + "]";
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size)
{
    FuzzedDataProvider data(bytes, size);
    // The file buffer's size, then how much each read returns: a read may
    // return less than asked, as a read from a pipe or a slow disk does.
    const auto bufferSize = data.ConsumeIntegralInRange<qsizetype>(1, 64);
    std::vector<qsizetype> readSizes;
    const auto reads = data.ConsumeIntegralInRange<std::size_t>(0, 16);
    for (std::size_t i = 0; i < reads; ++i)
        readSizes.push_back(data.ConsumeIntegralInRange<qsizetype>(1, bufferSize));
    const std::string rest = data.ConsumeRemainingBytesAsString();
    const QByteArray file(rest.data(), qsizetype(rest.size()));

    NumberListModel list;
    {
        NumberListModel::Batch batch(list);
        qsizetype at = 0;
        std::size_t call = 0;
        Main::ReadTextEntries(
            [&](char *buffer, qsizetype room) {
                FUZZ_CHECK(room == bufferSize, "read asked for " + std::to_string(room) + " bytes");
                qsizetype n = readSizes.empty() ? room : readSizes[call++ % readSizes.size()];
                n = std::min({n, room, file.size() - at});
                if (n > 0)
                    std::memcpy(buffer, file.constData() + at, std::size_t(n));
                at += n;
                return n;
            },
            list, bufferSize);
        FUZZ_CHECK(at == file.size(), "the reader stopped before the end of the file");
    }

    QList<QString> actual;
    for (qsizetype row = 0; row < list.count(); ++row)
        actual.append(list.textString(row));
    const QList<QString> expected = referenceEntries(file);
    if (actual != expected)
        fuzz::fail("entries differ from the reference", __FILE__, __LINE__,
                   "actual:   " + show(actual) + "\nexpected: " + show(expected));
    return 0;
}
