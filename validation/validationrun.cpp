#include "validation/validationrun.h"

void Validation::judgeEntries(Guarded &proc, const RunLists &lists, unsigned options)
{
    judgeEntries(proc, lists, options, NoStepHook{});
}
