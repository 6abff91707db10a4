#include "validation/phone.h"
