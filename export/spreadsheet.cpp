#include "app/form1.h"

// Not built yet.
void Form1::PushButton13_Click() {}
void Form1::PushButton7_Click() {}
bool Form1::SaveResultsAsExcelFileIsExcelInstalled() { return false; } // {}
