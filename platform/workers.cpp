#include "platform/workers.h"

#include <QByteArray>
#include <QtGlobal>

#include <atomic>

namespace {

int machineChoice()
{
    bool ok = false;
    const int asked = qEnvironmentVariableIntValue("QUILLORY_THREADS", &ok);
    if (ok && (asked == 1 || asked == 2))
        return asked;
    return std::thread::hardware_concurrency() >= 2 ? 2 : 1;
}

std::atomic<int> g_count{0}; // 0: not chosen yet

} // namespace

int Workers::count()
{
    int n = g_count.load(std::memory_order_relaxed);
    if (n == 0) {
        n = machineChoice();
        g_count.store(n, std::memory_order_relaxed);
    }
    return n;
}

void Workers::setCount(int threads)
{
    g_count.store(threads == 1 || threads == 2 ? threads : machineChoice(), std::memory_order_relaxed);
}
