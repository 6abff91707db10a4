#include "app/form1.h"


// Not built yet.
void Form1::Form_Load() {}
void Form1::SetAppTitle() {}
void Form1::OpenHomePageByChance() {}
QString Form1::ShortAppTitle(const QString &productName) { return productName; } // {}
int Form1::HomePageDraw(double) { return 0; } // {}
