#include "export/xlsxworkbook.h"
