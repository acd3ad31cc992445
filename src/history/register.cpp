#include "register.h"

#include "tyakuform.h"

#include "common/windows.h"

namespace korvane::mail {

void registerWindows()
{
    Windows::registerFactory(QStringLiteral("TyakuForm"), [] { return new TyakuForm; });
}

}  // namespace korvane::mail
