#pragma once
// Printing the editor's text.
#include <QString>

class QFont;
class QPrinter;

namespace korvane::texttools {

// Prints `text` in the font's family, size, bold and italic, `copies` times,
// each copy as a document of its own. Returns the number of documents printed.
int printTextCopies(QPrinter &printer, const QString &text, const QFont &font, int copies);

}  // namespace korvane::texttools
