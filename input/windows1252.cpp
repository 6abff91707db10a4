#include "input/windows1252.h"
