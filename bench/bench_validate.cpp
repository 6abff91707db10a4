// Speed and memory of "Start Validating" on the real main window: fills the
// input list with a deterministic mix of numbers (about 60 % valid, spread
// over all fourteen shapes, the rest near misses), turns all three options
// on and times PushButton17_Click. Prints seconds, million entries per second
// and the peak resident memory of the process (VmHWM).
//
//     QT_QPA_PLATFORM=offscreen bench_validate [entries...]
//
// Without arguments it runs 1,000,000 and then 10,000,000 entries.

#include "app/form1.h"
#include "benchinput.h"
#include "benchsupport.h"
#include "platform/fakeplatform.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Small deterministic generator, so every run judges the same input.
class Lcg
{
public:
    explicit Lcg(std::uint64_t seed) : m_state(seed) {}
    std::uint32_t next()
    {
        m_state = m_state * 6364136223846793005ull + 1442695040888963407ull;
        return std::uint32_t(m_state >> 33);
    }
    std::uint32_t below(std::uint32_t n) { return next() % n; }

private:
    std::uint64_t m_state;
};

constexpr int kShapeCount = int(sizeof kValidShapes / sizeof kValidShapes[0]);

// Writes one entry into `out` (room for 32 characters) and returns its length.
int makeEntry(Lcg &rng, char *out)
{
    const char *shape = kValidShapes[rng.below(kShapeCount)];
    int n = 0;
    for (const char *p = shape; *p; ++p)
        out[n++] = *p == '#' ? char('0' + rng.below(10)) : *p;
    if (rng.below(100) < 60)
        return n; // valid as it stands
    // Near misses: the slips a typist makes.
    const int at = int(rng.below(std::uint32_t(n)));
    switch (rng.below(7)) {
    case 0: // a letter for a digit or separator
        out[at] = char('A' + rng.below(26));
        break;
    case 1: // another separator
    {
        char c = "-. /"[rng.below(4)];
        if (c == out[at])
            c = ',';
        out[at] = c;
        break;
    }
    case 2: // one digit dropped
        std::memmove(out + at, out + at + 1, std::size_t(n - at - 1));
        --n;
        break;
    case 3: // one digit doubled
        std::memmove(out + at + 1, out + at, std::size_t(n - at));
        ++n;
        break;
    case 4: // a space before or after
        if (rng.below(2)) {
            std::memmove(out + 1, out, std::size_t(n));
            out[0] = ' ';
        } else {
            out[n] = ' ';
        }
        ++n;
        break;
    case 5: // an extension
        std::memcpy(out + n, " x12", 4);
        n += 4;
        break;
    default: // a leading plus
        std::memmove(out + 1, out, std::size_t(n));
        out[0] = '+';
        ++n;
        break;
    }
    return n;
}

void fillInput(Form1 &w, qsizetype entries)
{
    NumberListModel &input = *w.ListView1->listModel();
    Lcg rng(20210831);
    char buffer[32];
    input.reserve(entries);
    input.beginBatch();
    for (qsizetype i = 0; i < entries; ++i) {
        const int n = makeEntry(rng, buffer);
        w.ListView1->ListItems.Add(QLatin1StringView(buffer, n));
    }
    input.endBatch();
}

void runOnce(QApplication &app, Form1 &w, qsizetype entries)
{
    w.PushButton1_Click(); // Clear List
    w.PushButton2_Click();
    w.PushButton9_Click();
    app.processEvents();

    QElapsedTimer timer;
    timer.start();
    fillInput(w, entries);
    const double fillSeconds = double(timer.nsecsElapsed()) / 1e9;
    app.processEvents();

    std::printf("entries %lld (filled in %.2f s, RSS %.0f MiB)\n", static_cast<long long>(entries),
                fillSeconds, statusMiB("VmRSS"));
    for (int round = 1; round <= 2; ++round) {
        timer.restart();
        const double cpuStart = threadCpuSeconds();
        w.PushButton17_Click();
        const double cpu = threadCpuSeconds() - cpuStart;
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        timer.restart();
        app.processEvents(); // the repaint that follows
        const double repaint = double(timer.nsecsElapsed()) / 1e9;
        std::printf(
            "  run %d: %.3f s wall, %.3f s CPU  %.1f million entries/s (CPU)  valid %lld  invalid %lld  "
            "repaint %.3f s  RSS %.0f MiB  peak RSS %.0f MiB\n",
            round, seconds, cpu, double(entries) / cpu / 1e6,
            static_cast<long long>(w.ListView2->ListItems.Count()),
            static_cast<long long>(w.ListView3->ListItems.Count()), repaint, statusMiB("VmRSS"),
            statusMiB("VmHWM"));
    }
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    preferOffscreen();
    QApplication app(argc, argv);
    FakePlatform platform;
    Form1 w(platform);
    w.Form_Load();
    w.show();
    Form1::SetCheckValue(w.Check1, 1);
    Form1::SetCheckValue(w.Check2, 1);
    Form1::SetCheckValue(w.Check3, 1);
    app.processEvents();

    std::vector<qsizetype> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(qsizetype(std::atoll(argv[i])));
    if (sizes.empty())
        sizes = {1'000'000, 10'000'000};
    std::printf("start: RSS %.0f MiB\n", statusMiB("VmRSS"));
    for (qsizetype entries : sizes)
        runOnce(app, w, entries);
    if (!platform.messages.isEmpty())
        std::printf("unexpected messages: %lld\n", static_cast<long long>(platform.messages.size()));
    return 0;
}
