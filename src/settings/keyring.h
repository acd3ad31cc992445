#pragma once
// Saved passwords in the desktop's keyring (the Secret Service: GNOME
// Keyring, KWallet), through QtKeychain. Every call waits a bounded time for
// the keyring; one that does not answer, or answers with an error other than
// "no such entry", counts as no keyring for the rest of the run, so later
// calls cost nothing.
#include <QString>

#include <optional>

namespace korvane::settings::keyring {

// How long one call waits for the keyring.
inline constexpr int TimeoutMs = 5000;

// The password saved for `account`; an empty string when the keyring holds
// none; nothing when no keyring answers.
std::optional<QString> readPassword(const QString &account);
// Saves the password; false when no keyring took it.
bool writePassword(const QString &account, const QString &password);
// Removes the account's password; false when no keyring answered.
bool deletePassword(const QString &account);

// Whether the user's session has a message bus to ask (its address is set,
// or the session's standard socket exists). Without one, nothing is asked:
// asking would start a bus of its own that outlives the program.
bool sessionBusKnown();

// Whether no keyring has failed so far in this run.
bool mayBeAvailable();
// Stops (false) or allows again (true) every use of the keyring.
void setEnabled(bool enabled);

}  // namespace korvane::settings::keyring
