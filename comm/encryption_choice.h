#pragma once
// Which encryption choices a setup writes (RequireEncryption and
// EncryptionPassword of the settings record). They follow the controller
// shown, so that a routine setup keeps its encryption as it is, except when
// the technician has made them in the security dialog: those hold until a
// setup has written them or another controller is shown.
#include <QString>
#include <cstdint>

namespace zelmar::comm {

// What the security dialog starts from.
struct EncryptionShown {
    bool requireEncryption = false;
    QString password;
};
// The choices held (made there before and not yet written); else, when the
// network password opens the current controller and it requires encryption,
// that and the network password; else nothing. A network password that does
// not open the current controller is forgotten: the following searches use
// none until one is entered again.
EncryptionShown StartEncryptionChoice();

// The security dialog's Close: its choices go into the settings record as shown.
void ChooseEncryption(bool requireEncryption, const QString& password);

// The security dialog's Close has left its choices in the settings record
// while `shownSerialNo` was shown (empty: no controller was shown; they then
// belong to the first controller shown).
void HoldEncryptionChoice(const QString& shownSerialNo);

// Entry `index` is now the controller shown: the settings record takes the
// choices held for it, else that controller's own encryption (its password
// only when the network password opens it).
void TakeEncryptionOfShownController(std::int16_t index);

// A setup has written the settings record's choices into a controller: from
// now on they follow the controller shown again.
void EncryptionChoiceWritten();

}  // namespace zelmar::comm
