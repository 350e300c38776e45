#include "comm/encryption_choice.h"

#include "comm/com_sub.h"
#include "comm/shared_state.h"
#include "platform/netservice/net_service.h"

namespace zelmar::comm {

EncryptionShown StartEncryptionChoice() {
    SharedState& shared = state();
    const CurrentControllerRecord& current = shared.CurrentController;
    if (shared.EncryptionChoice.Held)
        return {isTrue(shared.EncryptionChoice.RequireEncryption), shared.EncryptionChoice.EncryptionPassword};
    if (isTrue(current.RequireEncryption) && isTrue(current.PasswordOk))
        return {true, shared.NetworkPassword};
    // A controller without encryption has no password to show: the network
    // password typed for another one must not become its encryption password.
    if (!isTrue(current.PasswordOk))
        shared.NetworkPassword.clear();
    return {};
}

void ChooseEncryption(bool requireEncryption, const QString& password) {
    SettingsRecord& settings = state().Settings;
    settings.RequireEncryption = toVBool(requireEncryption);
    settings.EncryptionPassword = password;
}

void HoldEncryptionChoice(const QString& shownSerialNo) {
    SharedState& shared = state();
    shared.EncryptionChoice = {true, shownSerialNo, shared.Settings.RequireEncryption,
                               shared.Settings.EncryptionPassword};
}

void TakeEncryptionOfShownController(std::int16_t index) {
    SharedState& shared = state();
    HeldEncryptionChoice& held = shared.EncryptionChoice;
    const auto entry = Service().Item(index);
    // Both serial numbers come from the service's entries: the same controller has the same text.
    const QString serialNo = QString::fromStdString(entry->SerialNo());
    if (held.Held && (held.SerialNo.isEmpty() || held.SerialNo == serialNo)) {
        held.SerialNo = serialNo;
        shared.Settings.RequireEncryption = held.RequireEncryption;
        shared.Settings.EncryptionPassword = held.EncryptionPassword;
        return;
    }
    held = {};
    const bool encrypted = entry->RequireEncryption();
    shared.Settings.RequireEncryption = toVBool(encrypted);
    shared.Settings.EncryptionPassword = encrypted && entry->PasswordOk() ? shared.NetworkPassword : QString();
}

void EncryptionChoiceWritten() { state().EncryptionChoice = {}; }

}  // namespace zelmar::comm
