#include "register.h"

#include "backform.h"
#include "writeform.h"

#include "common/windows.h"

namespace korvane::compose {

void registerWindows()
{
    Windows::registerFactory(QStringLiteral("WriteForm"), [] { return new WriteForm; });
    Windows::registerFactory(QStringLiteral("BackForm"), [] { return new BackForm; });
}

}  // namespace korvane::compose
