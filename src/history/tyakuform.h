#pragma once
// The history window `TyakuForm`: the received or sent history as a list, a
// viewer (subject, sender, date, body) and the mail buttons. The body box
// `rtfEd` doubles as a small text editor (texttools::EditorPane).
#include "mailhistory.h"

#include <QMainWindow>

#include <array>

class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QTextEdit;
class QTimer;
class QTreeView;

namespace korvane::texttools {
class EditorPane;
}

namespace korvane::mail {

class MailListModel;

class TyakuForm : public QMainWindow {
    Q_OBJECT
    // 1 received, 2 sent: which history the window shows (the reply window
    // reads it to know where the answered mail came from).
    Q_PROPERTY(int historyKind READ historyKindNumber)
public:
    explicit TyakuForm(QWidget *parent = nullptr);
    ~TyakuForm() override;

    HistoryKind historyKind() const { return kind_; }
    int historyKindNumber() const { return kind_ == HistoryKind::Received ? 1 : 2; }
    texttools::EditorPane *editorPane() const { return pane_; }
    QTreeView *mailList() const { return list_; }
    MailListModel *mailListModel() const { return model_; }

    // The window's part of opening it on a history: caption, kind, colours,
    // an empty list and body, then the list loaded.
    void openHistory(HistoryKind kind);
    // Fills the list from the history file; the viewer and the clipboard end
    // on the last record.
    void loadHistoryList();

    // The help texts of the mail buttons.
    static QString helpText(const QString &button);

public slots:
    // A click on list row `row` (from 0); -1 for a click on an empty list.
    void showSelectedMail(int row);
    void copyHeaderField();
    void quickSaveMail();
    void deleteSelectedMail();
    void addSenderToAddressBook();
    void replyToSelectedMail();
    void deleteAllMail();
    void openEnlargedView();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void buildControls();
    void loadEditorFile();
    void applyResizeRules();
    void fitListColumns();
    int listInnerWidth() const;
    int dateBoxWidthNeeded() const;
    void showViewer(const MailRecord &record);
    void viewerBoxChanged(QLineEdit *box);
    void showReceivedAfterMailCheck();
    void applyKindLook();
    void clearViewer();
    void putBodyOnClipboard();
    bool selectionMarked() const;
    void clearSelectionMarker();
    int selectedRow() const;
    QList<int> selectedRows() const;
    void showLastRecord();
    QString withOriginalsNote(const QString &question, const QList<int> &numbers) const;
    void showHelp(const QString &text);
    void hideHelp();
    void resetStatusControls();

    HistoryKind kind_ = HistoryKind::Received;
    QWidget *client_ = nullptr;
    texttools::EditorPane *pane_ = nullptr;
    QTextEdit *body_ = nullptr;
    QTreeView *list_ = nullptr;
    MailListModel *model_ = nullptr;
    QLineEdit *subject_ = nullptr;
    QLineEdit *sender_ = nullptr;
    QLineEdit *date_ = nullptr;
    QLineEdit *countBox_ = nullptr;
    // Not empty while a row picked by the user is shown (hidden).
    QLineEdit *selectionMarker_ = nullptr;
    QLineEdit *copyBox_ = nullptr;
    QPlainTextEdit *hintBox_ = nullptr;
    QListWidget *fileList_ = nullptr;  // hidden; the editor's file list
    QWidget *buttonBand_ = nullptr;    // the coloured band behind the mail buttons
    QStatusBar *statusBar_ = nullptr;
    QPushButton *copyButton_ = nullptr;
    QPushButton *quickSaveButton_ = nullptr;
    QList<QPushButton *> mailButtons_;
    int shownRow_ = -1;
    std::array<double, 3> columnShares_{};
    bool fittingColumns_ = false;
    bool fillingViewer_ = false;
    QTimer *receivedRefresh_ = nullptr;  // the list after the mail check wrote the viewer
};

}  // namespace korvane::mail
