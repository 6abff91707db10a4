// Memory and time of the number list at ten million entries: fill one list
// in a single batch, then copy every entry into a second list of the same
// arena (as the validation run does). Prints seconds and peak RSS.
//
//     bench_list [entries]

#include "app/list/listview.h"
#include "benchsupport.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>

namespace {

void report(const char *stage, double seconds, const TextArena &arena)
{
    std::printf("%-28s %8.2f s   peak RSS %8.1f MiB   text chunks %8.1f MiB\n", stage, seconds, peakRssMiB(),
                double(arena.bytesAllocated()) / (1024.0 * 1024.0));
}

} // namespace

int main(int argc, char **argv)
{
    preferOffscreen();
    QApplication app(argc, argv);
    const qsizetype entries = countArgument(argc, argv, 1, 10'000'000);

    auto arena = std::make_shared<TextArena>();
    ListView input(arena);
    ListView results(arena);
    input.ColumnHeaders.Add(QStringLiteral("Phone Numbers"));
    results.ColumnHeaders.Add(QStringLiteral(" Valid Numbers"));
    input.resize(520, 137);
    results.resize(520, 109);
    std::printf("entries: %lld\n", static_cast<long long>(entries));
    report("start", 0, *arena);

    // Texts of 13 characters, such as "1-800-0001234".
    char16_t text[13] = {u'1', u'-', u'8', u'0', u'0', u'-'};
    QElapsedTimer timer;
    timer.start();
    NumberListModel *in = input.listModel();
    in->beginBatch();
    for (qsizetype i = 0; i < entries; ++i) {
        qsizetype n = i;
        for (int d = 12; d >= 6; --d, n /= 10)
            text[d] = char16_t(u'0' + n % 10);
        in->append(QStringView(text, 13));
    }
    in->endBatch();
    report("append (one batch)", double(timer.nsecsElapsed()) / 1e9, *arena);

    timer.restart();
    NumberListModel *out = results.listModel();
    out->beginBatch();
    for (qsizetype i = 0; i < entries; ++i)
        out->appendFrom(*in, i);
    out->endBatch();
    report("copy to second list", double(timer.nsecsElapsed()) / 1e9, *arena);

    timer.restart();
    results.scrollTo(out->index(out->rowCount() - 1, 0));
    const QPixmap shot = results.grab();
    report("scroll to end and paint", double(timer.nsecsElapsed()) / 1e9, *arena);

    timer.restart();
    input.ListItems.Clear();
    results.ListItems.Clear();
    report("clear both", double(timer.nsecsElapsed()) / 1e9, *arena);
    return shot.isNull() || results.ListItems.Count() != 0 ? 1 : 0;
}
