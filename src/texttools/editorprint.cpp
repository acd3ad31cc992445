#include "editorprint.h"

#include <QFont>
#include <QPrinter>
#include <QTextDocument>

namespace korvane::texttools {

int printTextCopies(QPrinter &printer, const QString &text, const QFont &font, int copies)
{
    QFont printFont(font.family());
    if (font.pointSizeF() > 0)
        printFont.setPointSizeF(font.pointSizeF());
    printFont.setBold(font.bold());
    printFont.setItalic(font.italic());

    QTextDocument document;
    document.setDefaultFont(printFont);
    document.setPlainText(text);

    // The dialog's copy count is done here, one document per copy; the
    // printer must not multiply each of them again.
    printer.setCopyCount(1);
    int printed = 0;
    for (int i = 0; i < copies; ++i) {
        document.print(&printer);
        if (printer.printerState() == QPrinter::Error || printer.printerState() == QPrinter::Aborted)
            break;
        ++printed;
    }
    return printed;
}

}  // namespace korvane::texttools
