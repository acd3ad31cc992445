#include "history_listmodel.h"

namespace korvane::mail {

MailListModel::MailListModel(QObject *parent) : QAbstractTableModel(parent)
{
}

void MailListModel::setEntries(std::vector<MailListEntry> entries)
{
    beginResetModel();
    entries_ = std::move(entries);
    endResetModel();
}

void MailListModel::clear()
{
    setEntries({});
}

int MailListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(entries_.size());
}

int MailListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant MailListModel::data(const QModelIndex &index, int role) const
{
    // A cell too narrow for its text ends in "…"; the tooltip shows it whole.
    if ((role != Qt::DisplayRole && role != Qt::ToolTipRole) || !index.isValid() ||
        index.row() >= int(entries_.size()))
        return QVariant();
    const MailListEntry &e = entries_[size_t(index.row())];
    switch (index.column()) {
    case SubjectColumn: return e.subject;
    case FromColumn: return e.address;  // the recipients in the sent history
    case DateColumn: return e.date;
    }
    return QVariant();
}

QVariant MailListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case SubjectColumn: return QStringLiteral("Subject");
    case FromColumn: return QStringLiteral("From");
    case DateColumn: return QStringLiteral("Date");
    }
    return QVariant();
}

}  // namespace korvane::mail
