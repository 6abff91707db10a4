#include "app/form1.h"

// Not built yet.
void Form1::PushButton17_Click() {}
void Form1::PushButton2_Click() {}
void Form1::PushButton9_Click() {}
void Form1::ListView2_KeyDown(int, int) {}
void Form1::ListView2_DblClick() {}
void Form1::ListView3_KeyDown(int, int) {}
void Form1::ListView3_DblClick() {}
