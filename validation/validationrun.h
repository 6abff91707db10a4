#pragma once

#include "app/list/numberlistmodel.h"
#include "platform/errorreport.h"
#include "platform/failure.h"
#include "validation/phone.h"

#include <exception>
#include <new>
#include <type_traits>

namespace Validation {

// The lists of a run: it reads `input` and appends to `valid` and `invalid`.
struct RunLists
{
    const NumberListModel &input;
    NumberListModel &valid;
    NumberListModel &invalid;
};

// The step hook of the program's own run: it does nothing, and costs nothing.
struct NoStepHook
{
    void operator()(int, qsizetype) const {}
};

namespace detail {

// Entries are shared out between the threads in runs of this many.
inline constexpr qsizetype kEntriesPerShare = 4096;

// Where a two-thread run stopped: entries before `next` (from 1) are in the
// result lists; `failure`, when set, is what made appending entry `next` at
// `step` fail.
struct TwoThreadRun
{
    qsizetype next = 1;
    int step = 0;
    std::exception_ptr failure;
};

// Steps 106 to 114 for entries 1..n with no step hook, on two threads: the
// second judges shares of entries ahead while this one appends every entry in
// order, judging the shares the other has not taken. Returns with the second
// thread joined. Without the memory or the thread to start, it returns at
// entry 1 and leaves the run to one thread. Kept out of line, so that the
// flattened one-thread loop stays as it was.
[[gnu::noinline]] TwoThreadRun judgeOnTwoThreads(const RunLists &lists, unsigned options, qsizetype n);

// True when the program's run may use two threads for n entries.
bool mayUseTwoThreads(const RunLists &lists, qsizetype n);

} // namespace detail

// Steps 104 to 114 of "Start Validating": judges entries 1..n of the input
// list under `options` (Phone::OptionBit) and appends each, in order, to the
// valid or the invalid list, each list told of its new entries once. A failed
// step is reported through `proc` and the run goes on as a guard per
// statement would. `atStep(step, entry)` runs before each numbered step from
// 106 on (entries from 1); one that throws makes that step fail.
//
// Flattened: with forEachEntry left out of line, `step`, which it takes by
// reference, lives in memory and every entry pays for it (about a tenth of
// the run); inlined, it stays in a register.
template<typename StepHook>
[[gnu::flatten]] void judgeEntries(Guarded &proc, const RunLists &lists, unsigned options, StepHook &&atStep)
{
    NumberListModel::Batch validBatch(lists.valid);
    NumberListModel::Batch invalidBatch(lists.invalid);
    qsizetype n = 0;
    const bool reserved = proc(104, [&] {
        n = lists.input.count();
        // Results are shared records: reserving room for every entry in
        // both lists touches no memory until it is used.
        lists.valid.reserve(n);
        lists.invalid.reserve(n);
    });

    const NumberListModel &input = lists.input;
    NumberListModel &validList = lists.valid;
    NumberListModel &invalidList = lists.invalid;
    int step = 106;
    const auto entry = [&step, &input, &validList, &invalidList, options, &atStep](qsizetype i) {
        step = 106;
        atStep(106, i);
        // The count was read once; an entry gone since is a failure, not a crash.
        if (i > input.count())
            throw Failure(QStringLiteral("Index out of bounds"));
        const EntryText text = input.text(i - 1);
        step = 108;
        atStep(108, i);
        const bool valid = Phone::ValidatePhoneNumber(options, text);
        step = valid ? 110 : 112;
        atStep(step, i);
        (valid ? validList : invalidList).appendFrom(input, i - 1);
        step = 114;
        atStep(114, i);
    };
    // Finishes entry i from the statement after the failed one.
    const auto resume = [&](qsizetype i) {
        switch (step) {
        case 106:
            // Nothing was read, so there is nothing to judge or copy: inventing
            // an empty or stale text would put a false entry in a result list.
            break;
        case 108:
            // An unanswered question is not a valid number.
            proc(112, [&] {
                atStep(112, i);
                invalidList.appendFrom(input, i - 1);
            });
            break;
        case 114:
            return n + 1; // the loop itself failed: leave it
        default:
            break;
        }
        return proc(114, [&] { atStep(114, i); }) ? i + 1 : n + 1;
    };
    qsizetype first = 1;
    // Only the program's own run shares the work: a run with a hook keeps one
    // thread, so that every failure it injects is met where it is injected.
    if constexpr (std::is_same_v<std::remove_cvref_t<StepHook>, NoStepHook>) {
        if (reserved && detail::mayUseTwoThreads(lists, n)) {
            const detail::TwoThreadRun run = detail::judgeOnTwoThreads(lists, options, n);
            first = run.next;
            if (run.failure) {
                // Reported and resumed as the loop below would have done.
                step = run.step;
                bool outOfMemory = false;
                proc(step, [&] {
                    try {
                        std::rethrow_exception(run.failure);
                    } catch (const std::bad_alloc &) {
                        outOfMemory = true;
                        throw;
                    }
                });
                first = outOfMemory ? n + 1 : resume(first);
            }
        }
    }
    proc.forEachEntry(first, n, step, entry, resume);
}

// The program's run: judgeEntries with no step hook.
void judgeEntries(Guarded &proc, const RunLists &lists, unsigned options);

} // namespace Validation
