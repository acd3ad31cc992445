#include "register.h"

namespace korvane::pilgrimage {

void registerWindows()
{
}

}  // namespace korvane::pilgrimage
