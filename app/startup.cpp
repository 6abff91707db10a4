#include "app/form1.h"
#include "app/appinfo.h"

// Not built yet.
void Form1::Form_Load() {}
void Form1::SetAppTitle() {}
void Form1::OpenHomePageByChance() {}
QString Form1::ShortAppTitle(const QString &productName) { return productName; } // {}
int Form1::HomePageDraw(double) { return 0; } // {}
QString AppInfo::supportEmail() { return QStringLiteral(QUILLORY_SUPPORT_EMAIL); } // {}
QString AppInfo::homePage() { return {}; } // {}
