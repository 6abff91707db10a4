#pragma once

#include "app/list/numberlistmodel.h"
#include "platform/errorreport.h"
#include "platform/failure.h"
#include "validation/phone.h"

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
    proc(104, [&] {
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
    proc.forEachEntry(1, n, step, entry, resume);
}

// The program's run: judgeEntries with no step hook.
void judgeEntries(Guarded &proc, const RunLists &lists, unsigned options);

} // namespace Validation
