#include "editorstate.h"

#include "textfiles.h"

namespace korvane::texttools {

EditorState &editorState()
{
    static EditorState state;
    return state;
}

void resetEditorState()
{
    editorState() = EditorState();
}

bool toggleStyleCounter(qint16 &counter)
{
    if (counter % 2 != 0) {
        counter = 2;
        return false;
    }
    counter = 1;
    return true;
}

QString newDocumentPath(const QString &currentFilePath)
{
    return directoryPart(currentFilePath) + NewDocumentName;
}

bool isNewDocumentPath(const QString &currentFilePath)
{
    return currentFilePath.contains(NewDocumentName, Qt::CaseSensitive);
}

}  // namespace korvane::texttools
