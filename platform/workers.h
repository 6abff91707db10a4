#pragma once

#include <thread>
#include <utility>

// How many threads a long command may use: two where the machine has two or
// more cores, one otherwise. QUILLORY_THREADS=1 (or 2) in the environment
// overrides it, for measurements; tests and benchmarks may set it too.
namespace Workers {

int count();
void setCount(int threads); // 1 or 2; anything else goes back to the machine's choice

// Runs `work` on a second thread while the caller goes on; joined when it goes
// out of scope, however the scope is left, so no worker outlives its command.
class Helper
{
public:
    template<typename Work>
    explicit Helper(Work &&work) : m_thread(std::forward<Work>(work))
    {
    }

private:
    std::jthread m_thread;
};

} // namespace Workers
