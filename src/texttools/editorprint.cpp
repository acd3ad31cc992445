#include "editorprint.h"

#include "common/desktopservices.h"

namespace korvane::texttools {

int printTextCopies(QPrinter &printer, const QString &text, const QFont &font, int copies)
{
    // The printer came from the desktop module, so the module is there.
    desktop::Services *services = desktop::services();
    return services ? services->printTextCopies(printer, text, font, copies) : 0;
}

}  // namespace korvane::texttools
