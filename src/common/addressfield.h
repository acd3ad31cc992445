#pragma once
// Mail addresses in the fixed-width fields of the program's files (the
// address book, the mail histories): a field too narrow for a mailbox text
// loses the display name first, never a character of the address itself.
#include <QString>

namespace korvane {

// How a mailbox text went into a field.
enum class AddressFit {
    Whole,          // the text as given (trimmed)
    NameShortened,  // the display name cut by whole characters, " <address>" kept
    BareAddress,    // only the address
    TooLong,        // not even the bare address fits: store nothing
};

struct FittedAddress {
    AddressFit fit = AddressFit::TooLong;
    QString text;  // what to store; empty for TooLong
};

// Fits a mailbox text ("Display Name <address>", "Name<address>" or a bare
// address; blanks around it are dropped) into a field of `widthBytes` bytes of
// code page 932. An address with a character code page 932 cannot hold never
// fits. A text that is not one mailbox (a list of addresses, say) is kept
// only whole.
FittedAddress fitAddressField(const QString &mailbox, qsizetype widthBytes);

// The message for a refused address: the address does not fit a field of
// `widthBytes` bytes.
QString addressTooLongMessage(const QString &mailbox, qsizetype widthBytes);

// The address a reply goes to, from the address field of a history record
// (the sender of a received mail, the recipient of a sent one): the mailbox
// as stored, its display name quoted when it holds characters that would
// split or break an address list. This is the one place that decides where
// a reply goes: the original message kept beside a received record is the
// better source once it exists, and belongs here.
QString replyAddress(const QString &recordAddress);

}  // namespace korvane
