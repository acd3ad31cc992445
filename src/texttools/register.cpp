#include "register.h"

namespace korvane::texttools {

void registerWindows()
{
}

}  // namespace korvane::texttools
