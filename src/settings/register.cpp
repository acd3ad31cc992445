#include "register.h"

#include "common/windows.h"
#include "settingswindows.h"

namespace korvane::settings {

void registerWindows()
{
    Windows::registerFactory(QStringLiteral("OptionForm"), [] { return new OptionForm; });
    Windows::registerFactory(QStringLiteral("IdPassForm"), [] { return new IdPassForm; });
    Windows::registerFactory(QStringLiteral("ReceiveOptionsForm"), [] { return new ReceiveOptionsForm; });
    Windows::registerFactory(QStringLiteral("SetForm"), [] { return new SetForm; });
}

}  // namespace korvane::settings
