#include "register.h"

namespace korvane::mail {

void registerWindows()
{
}

}  // namespace korvane::mail
