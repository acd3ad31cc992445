#include "register.h"

namespace korvane::compose {

void registerWindows()
{
}

}  // namespace korvane::compose
