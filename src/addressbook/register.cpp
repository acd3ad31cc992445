#include "register.h"

#include "common/windows.h"
#include "friendform.h"

namespace korvane::addressbook {

void registerWindows()
{
    Windows::registerFactory(QStringLiteral("FriendForm"), [] { return new FriendForm; });
}

}  // namespace korvane::addressbook
