#include "register.h"

namespace korvane::settings {

void registerWindows()
{
}

}  // namespace korvane::settings
