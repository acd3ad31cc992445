#pragma once
// The receive journal: which mails of the POP3 account have already been
// stored in the received history although the server may not have removed
// them yet. POP3 deletions take effect only when the session ends with QUIT;
// if the program or the connection dies before that, the server still holds
// mails that are already in the history. The next check reads this journal,
// removes those mails from the server without storing or counting them again,
// and the journal is cleared once a session has ended cleanly.
//
// One atomic write per check keeps it cheap: before the first mail is
// fetched, the journal takes the number of records the received history holds
// (the base) and the unique IDs (UIDL) of the mails about to be stored, in the
// order they will be stored. Appends to the received history come only from
// the check, one per mail in that order, so after a crash the history's
// record count minus the base says how many of them reached the disk.
//
// File (UTF-8 text, one entry a line), written to a work file, flushed and
// renamed over the journal, so it is always whole:
//   korvane-receive-journal 1
//   stored <uidl>      a mail stored in an earlier session, deletion unconfirmed
//   base <n>           the received history's record count before this session
//   pending <uidl>     mails of this session to be stored, in store order
//   counter <n>        the pilgrimage counter before this session
//
// The check keeps the pilgrimage counter in memory and writes it once, at its
// end. A check that never got there left the counter as `counter` says; each
// of its mails that reached the history was counted, so the counter is
// raised by that many (recoverProgressCounter).
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

namespace korvane::mail {

struct ReceiveJournal {
    QStringList stored;
    int base = -1;  // -1: no session recorded
    QStringList pending;
    int counterBefore = -1;  // -1: not recorded

    bool isEmpty() const { return stored.isEmpty() && pending.isEmpty(); }

    // How many pending mails are in the history, given its record count now.
    int landed(int historyCount) const;

    // The UIDLs whose mails are in the history, given the history's record
    // count now: every `stored` entry, and the first (count - base) pending
    // ones. Empty UIDLs never count (a server without UIDL gets no
    // protection against a second copy, but never loses a mail).
    QSet<QString> storedUidls(int historyCount) const;

    QByteArray serialize() const;
    // A journal that cannot be read is treated as empty (false).
    static bool parse(const QByteArray &bytes, ReceiveJournal *out);
};

// The journal file in the data folder.
QString receiveJournalPath();

// Reads the journal; a missing or unreadable file gives an empty journal.
ReceiveJournal loadReceiveJournal();
// Replaces the journal atomically (work file, flush to disk, rename). An empty
// journal removes the file. False with the reason in *error when it failed.
bool saveReceiveJournal(const ReceiveJournal &journal, QString *error = nullptr);
bool clearReceiveJournal(QString *error = nullptr);

// The mails the user was told were too large to receive, by UIDL, so that
// each is told once, not at every check. A small file beside the journal
// (UTF-8 text: "korvane-too-large 1", then one UIDL a line), replaced
// atomically as the journal is; an empty set removes it.
QSet<QString> loadToldTooLarge();
bool saveToldTooLarge(const QSet<QString> &uidls, QString *error = nullptr);

// The mails received and kept on the server (the KeepOnServer option), by
// UIDL, with when they were received (seconds since 1970, UTC). A small file
// beside the journal (UTF-8 text: "korvane-kept 1", then "UIDL SECONDS" a
// line), replaced atomically as the journal is; read before the check's
// first DELE. An empty set removes it.
QHash<QString, qint64> loadKeptOnServer();
bool saveKeptOnServer(const QHash<QString, qint64> &kept, QString *error = nullptr);

// After a check that never ended (the program killed): raises the pilgrimage
// counter by the mails that check stored, when the counter is still the one
// it started from. Called at start-up and before each check.
void recoverProgressCounter();

}  // namespace korvane::mail
