#include "platform/procedures.h"
#include "validation/phone.h"

#include "app/form1.h"

#include <new>

namespace {

Phone::RunStepProbe &runStepProbe()
{
    static Phone::RunStepProbe probe;
    return probe;
}

struct RunLists
{
    const NumberListModel &input;
    NumberListModel &valid;
    NumberListModel &invalid;
};

// Steps 106 to 114 for entries 1..n. The entries run inside one try block so
// that a guard per statement costs nothing per entry; `step` follows the
// statement being run, and after a failure the entry is finished step by step
// from the statement after the failed one, exactly as a guard per statement
// would.
template<bool Probed>
void judgeEntries(const Form1 &form, Guarded &proc, const RunLists &lists, qsizetype n,
                  const Phone::RunStepProbe &probe)
{
    const auto atStep = [&](int step, qsizetype i) {
        if constexpr (Probed)
            probe(step, i);
    };
    const auto read = [&](qsizetype i) {
        // The count was read once; an entry gone since is a failure, not a crash.
        if (i > lists.input.count())
            throw Failure(QStringLiteral("Index out of bounds"));
        return lists.input.text(i - 1);
    };

    qsizetype i = 1;
    int step = 106;
    while (i <= n) {
        try {
            // Nothing between two entries lets the user change an option, so
            // the boxes are read once here, and again after an error report.
            // A probe may change them at any step: then they are read per entry.
            const unsigned options = Probed ? 0u : Phone::OptionsOn(form);
            for (; i <= n; ++i) {
                step = 106;
                atStep(106, i);
                const EntryText text = read(i);
                step = 108;
                atStep(108, i);
                const bool valid =
                    Probed ? Phone::ValidatePhoneNumber(form, text) : (Phone::RuleSetOf(text) & options) != 0;
                step = valid ? 110 : 112;
                atStep(step, i);
                (valid ? lists.valid : lists.invalid).appendFrom(lists.input, i - 1);
                step = 114;
                atStep(114, i);
            }
            return;
        } catch (const CommandAborted &) {
            throw;
        } catch (const std::bad_alloc &) {
            // Every later entry would fail the same way: one report, not one
            // per remaining entry. The results so far stay.
            ErrorReport(form.platform(), CurrentFailureDescription(), proc.procedureText(), step);
            return;
        } catch (...) {
            ErrorReport(form.platform(), CurrentFailureDescription(), proc.procedureText(), step);
        }
        switch (step) {
        case 106:
            // Nothing was read, so there is nothing to judge or copy: inventing
            // an empty or stale text would put a false entry in a result list.
            break;
        case 108:
            // An unanswered question is not a valid number.
            proc(112, [&] {
                atStep(112, i);
                lists.invalid.appendFrom(lists.input, i - 1);
            });
            break;
        case 114:
            return; // the loop itself failed: leave it
        default:
            break;
        }
        if (!proc(114, [&] {
                atStep(114, i);
                ++i;
            }))
            return;
    }
}

} // namespace

void Phone::SetRunStepProbe(RunStepProbe probe)
{
    runStepProbe() = std::move(probe);
}

void Form1::PushButton17_Click()
{
    // An export that yields may still be reading a result list.
    if (IsBusy())
        return;
    Guarded proc(m_platform, Procedure::PushButton17_Click);
    proc(100, [&] { ListView2->ListItems.Clear(); });
    proc(101, [&] { ListView3->ListItems.Clear(); });
    proc(102, [&] { SetMousePointer(Pointer::Hourglass); });
    {
        const RunLists lists{*ListView1->listModel(), *ListView2->listModel(), *ListView3->listModel()};
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
        const Phone::RunStepProbe &probe = runStepProbe();
        if (probe)
            judgeEntries<true>(*this, proc, lists, n, probe);
        else
            judgeEntries<false>(*this, proc, lists, n, probe);
    }
    proc(116, [&] { SetMousePointer(Pointer::Default); });
}

void Form1::PushButton2_Click()
{
    if (IsBusy())
        return; // an export may be reading this list
    Guarded proc(m_platform, Procedure::PushButton2_Click);
    proc(100, [&] { ListView2->ListItems.Clear(); });
}

void Form1::PushButton9_Click()
{
    if (IsBusy())
        return; // an export may be reading this list
    Guarded proc(m_platform, Procedure::PushButton9_Click);
    proc(100, [&] { ListView3->ListItems.Clear(); });
}

void Form1::ListView2_KeyDown(int keyCode, int)
{
    if (keyCode == vbKeyDelete)
        removeSelectedEntry(ListView2);
}

void Form1::ListView2_DblClick()
{
    removeSelectedEntry(ListView2);
}

void Form1::ListView3_KeyDown(int keyCode, int)
{
    if (keyCode == vbKeyDelete)
        removeSelectedEntry(ListView3);
}

void Form1::ListView3_DblClick()
{
    removeSelectedEntry(ListView3);
}
