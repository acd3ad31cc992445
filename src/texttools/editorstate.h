#pragma once
// The editor's state, one per process: the file "新規作成" and the silent save
// work on, whether the text changed, and the toggle counters of the three font
// buttons.
#include <QString>
#include <QtGlobal>

namespace korvane::texttools {

struct EditorState {
    QString currentFilePath;
    qint16 modified = 0;  // -1 once the text changed, 0 after a save or a new document
    qint16 boldCount = 0;
    qint16 italicCount = 0;
    qint16 underlineCount = 0;
};

EditorState &editorState();
// Back to the state of a fresh start (tests).
void resetEditorState();

// One press of a font button: an odd counter switches the style off and
// becomes 2, an even one switches it on and becomes 1. Returns whether the
// style is on afterwards.
bool toggleStyleCounter(qint16 &counter);

// The name "新規作成" creates, and the test that makes a second "新規作成" do nothing.
inline const QString NewDocumentName = QStringLiteral("新規作成.TXT");
QString newDocumentPath(const QString &currentFilePath);
bool isNewDocumentPath(const QString &currentFilePath);

}  // namespace korvane::texttools
