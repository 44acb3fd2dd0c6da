// The program's version (the VERSION file) and the commit it was built from ("unknown" outside a checkout,
// with "-dirty" when tracked files had changes), as the release names them.
#pragma once

extern const char PROGRAM_VERSION[];
extern const char PROGRAM_COMMIT[];
