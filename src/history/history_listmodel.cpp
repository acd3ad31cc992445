#include "history_listmodel.h"

#include <algorithm>

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

void MailListModel::removeEntries(QList<int> rows)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.size() > 16) {
        // Many rows apart: the list is laid out once, not once per run.
        std::vector<MailListEntry> kept;
        kept.reserve(entries_.size());
        auto gone = rows.cbegin();
        for (int r = 0; r < int(entries_.size()); ++r) {
            if (gone != rows.cend() && *gone == r)
                ++gone;
            else
                kept.push_back(std::move(entries_[size_t(r)]));
        }
        setEntries(std::move(kept));
        return;
    }
    // From the end, a run of neighbouring rows at a time.
    for (qsizetype i = rows.size() - 1; i >= 0;) {
        const int last = rows[i];
        int first = last;
        while (i > 0 && rows[i - 1] == first - 1)
            first = rows[--i];
        --i;
        if (first < 0 || last >= int(entries_.size()))
            continue;
        beginRemoveRows(QModelIndex(), first, last);
        entries_.erase(entries_.begin() + first, entries_.begin() + last + 1);
        endRemoveRows();
    }
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
