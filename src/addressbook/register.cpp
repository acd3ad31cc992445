#include "register.h"

namespace korvane::addressbook {

void registerWindows()
{
}

}  // namespace korvane::addressbook
