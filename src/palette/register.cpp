#include "register.h"

namespace korvane::palette {

void registerWindows()
{
}

}  // namespace korvane::palette
