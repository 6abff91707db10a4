#include "input/textimport.h"
#include "app/form1.h"

// Not built yet.
void Form1::PushButton3_Click() {}
