#pragma once
// The rows of the history window's list: one per record, in file order, with
// the columns "Subject", "From" and "Date". Holds only the 280 header bytes'
// worth of text per record, never a body, so a history of tens of thousands
// of mails lists at once.
#include "mailhistory.h"

#include <QAbstractTableModel>

#include <vector>

namespace korvane::mail {

class MailListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { SubjectColumn, FromColumn, DateColumn, ColumnCount };

    explicit MailListModel(QObject *parent = nullptr);

    void setEntries(std::vector<MailListEntry> entries);
    void clear();
    // Removes the rows `rows` (from 0, any order).
    void removeEntries(QList<int> rows);
    const MailListEntry &entry(int row) const { return entries_[size_t(row)]; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::vector<MailListEntry> entries_;
};

}  // namespace korvane::mail
