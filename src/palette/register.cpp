#include "register.h"

#include "kaoform.h"

#include "common/windows.h"

namespace korvane::palette {

void registerWindows()
{
    Windows::registerFactory(QStringLiteral("KaoForm"), [] { return new KaoForm; });
}

}  // namespace korvane::palette
