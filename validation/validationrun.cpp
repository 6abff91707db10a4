#include "validation/validationrun.h"

#include "platform/workers.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

namespace {

using Validation::detail::kEntriesPerShare;

// What became of a share of entries. The appending thread waits on it only
// for a share the judging thread has taken.
enum ShareState : int {
    kNotJudged = 0, // not taken yet, or taken and still being judged
    kJudged = 1,    // its verdicts are written
    kGivenBack = 2, // the judging thread failed on it: the appending thread judges it
};

struct Shares
{
    const NumberListModel &input;
    unsigned options;
    qsizetype entries;
    qsizetype count; // shares; the last is the judging thread's from the start
    std::unique_ptr<std::uint8_t[]> verdicts;
    std::unique_ptr<std::atomic<int>[]> state;
    std::atomic<qsizetype> nextToTake{0};

    qsizetype first(qsizetype share) const { return share * kEntriesPerShare; }
    qsizetype end(qsizetype share) const { return std::min(entries, first(share) + kEntriesPerShare); }

    void judge(qsizetype share)
    {
        const qsizetype last = end(share);
        for (qsizetype i = first(share); i < last; ++i)
            verdicts[std::size_t(i)] = Phone::ValidatePhoneNumber(options, input.text(i));
    }
};

// The second thread: judges the last share, which is kept for it, so that it
// starts far from the appending thread and always has a part however late it
// starts; then takes the next share nobody has taken, until none is left.
void judgeShares(Shares &shares) noexcept
{
    const qsizetype kept = shares.count - 1;
    qsizetype share = kept;
    for (;;) {
        int done = kJudged;
        try {
            shares.judge(share);
        } catch (...) {
            done = kGivenBack;
        }
        shares.state[share].store(done, std::memory_order_release);
        shares.state[share].notify_one();
        if (done == kGivenBack)
            return;
        share = shares.nextToTake.fetch_add(1, std::memory_order_relaxed);
        if (share >= kept)
            return;
    }
}

} // namespace

bool Validation::detail::mayUseTwoThreads(const RunLists &lists, qsizetype n)
{
    // A list of one share is judged before a thread would have started; and
    // the second thread reads the input while this one appends, so the input
    // must not be a result list.
    return n > kEntriesPerShare && Workers::count() > 1 && &lists.input != &lists.valid
        && &lists.input != &lists.invalid;
}

Validation::detail::TwoThreadRun Validation::detail::judgeOnTwoThreads(const RunLists &lists,
                                                                       unsigned options, qsizetype n)
{
    const NumberListModel &input = lists.input;
    NumberListModel &validList = lists.valid;
    NumberListModel &invalidList = lists.invalid;
    Shares shares{input, options, n, (n + kEntriesPerShare - 1) / kEntriesPerShare, {}, {}};
    // Declared after the shares, so that it is joined before they go.
    std::optional<Workers::Helper> helper;
    try {
        // A byte a verdict; pages of shares this thread judges itself are
        // never touched.
        shares.verdicts.reset(new std::uint8_t[std::size_t(n)]);
        shares.state.reset(new std::atomic<int>[std::size_t(shares.count)]());
        helper.emplace([&shares] { judgeShares(shares); });
    } catch (...) {
        return {}; // one thread does it all
    }

    qsizetype i = 0; // the entry being appended, from 0
    try {
        for (qsizetype share = 0; share < shares.count;) {
            const qsizetype last = shares.end(share);
            // Nothing else runs while the entries are judged; should the input
            // have lost entries all the same, the one-thread loop reports it.
            if (input.count() < last) {
                shares.nextToTake.store(shares.count, std::memory_order_relaxed);
                return {shares.first(share) + 1, 0, {}};
            }
            const int state = shares.state[share].load(std::memory_order_acquire);
            if (state == kJudged) {
                const std::uint8_t *verdicts = shares.verdicts.get();
                for (i = shares.first(share); i < last; ++i)
                    (verdicts[i] ? validList : invalidList).appendFrom(input, i);
                ++share;
                continue;
            }
            if (state == kNotJudged) {
                const qsizetype taken = shares.nextToTake.fetch_add(1, std::memory_order_relaxed);
                if (taken >= shares.count - 1) {
                    // The other thread has this share: wait for its verdicts.
                    shares.state[share].wait(kNotJudged, std::memory_order_acquire);
                    continue;
                }
                if (taken != share) {
                    // The other thread is judging this share: judge one ahead.
                    shares.judge(taken);
                    shares.state[taken].store(kJudged, std::memory_order_relaxed);
                    continue;
                }
            }
            // Not taken by the other thread, or given back: judge and append in one pass.
            for (i = shares.first(share); i < last; ++i) {
                const bool valid = Phone::ValidatePhoneNumber(options, input.text(i));
                (valid ? validList : invalidList).appendFrom(input, i);
            }
            ++share;
        }
    } catch (...) {
        shares.nextToTake.store(shares.count, std::memory_order_relaxed);
        const bool valid = Phone::ValidatePhoneNumber(options, input.text(i));
        return {i + 1, valid ? 110 : 112, std::current_exception()};
    }
    return {n + 1, 0, {}};
}

void Validation::judgeEntries(Guarded &proc, const RunLists &lists, unsigned options)
{
    judgeEntries(proc, lists, options, NoStepHook{});
}
