#include "validation/phone.h"

// The rules live in the header: the validation run calls them once per entry,
// and inlined they cost a few compares.
