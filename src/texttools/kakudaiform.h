#pragma once
// The enlarged view `KakudaiForm`: the mail shown in the history window in
// large, adjustable type. A viewer only.
#include <QWidget>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

namespace korvane::texttools {

class KakudaiForm : public QWidget {
    Q_OBJECT
public:
    static constexpr int MinimumSize = 8;
    static constexpr int MaximumSize = 200;
    static constexpr int InitialSize = 12;

    explicit KakudaiForm(QWidget *parent = nullptr);

    // The four texts; the body without leading and trailing blanks.
    void showMail(const QString &body, const QString &subject, const QString &sender, const QString &date);

    // The current font size, the number in `Text22`.
    int fontSize() const;

public slots:
    // The spinner's arrows.
    void sizeUp();
    void sizeDown();
    // "全て選択": the whole body selected.
    void selectWholeBody();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void applyFontSize(int size);
    void placeRows();
    void layoutToSize();

    QLabel *titleLabel_;
    QLabel *noteLabel_;
    QWidget *titleBand_;
    QWidget *sizeBand_;
    QWidget *dateBand_;
    QLineEdit *subject_;
    QLineEdit *sender_;
    QLineEdit *date_;
    QPlainTextEdit *body_;
    QLineEdit *sizeBox_;
    QWidget *sizeSpinner_;
    QToolButton *sizeUpArrow_;
    QToolButton *sizeDownArrow_;
    QPushButton *selectAllButton_;
    QLabel *subjectLabel_;
    QLabel *senderLabel_;
    QLabel *dateLabel_;
    QLabel *bodyLabel_;
};

// "拡大して見る": puts the editor's whole text on the clipboard, fills the
// enlarged view (loading it at size 12 when it is not open, keeping its size
// when it is) and shows it.
KakudaiForm *openEnlargedView(const QString &editorText, const QString &subject, const QString &sender,
                              const QString &date);

}  // namespace korvane::texttools
