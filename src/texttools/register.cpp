#include "register.h"

#include "kakudaiform.h"

#include "common/windows.h"

namespace korvane::texttools {

void registerWindows()
{
    Windows::registerFactory(QStringLiteral("KakudaiForm"), [] { return new KakudaiForm; });
}

}  // namespace korvane::texttools
