#include "comm/network_password.h"

#include <functional>

#include "comm/com_sub.h"
#include "comm/encryption_choice.h"
#include "comm/shared_state.h"
#include "platform/netservice/net_service.h"
#include "platform/qorglib/user_dialogs.h"

namespace zelmar::comm {

namespace {

const QString kAccessPrompt =
    QStringLiteral("You need a password to access this controller.\r\nPlease enter a password.");
const QString kSetupPrompt =
    QStringLiteral("This controller needs a password to allow setup.\r\nPlease enter a password.");

bool locked(std::int16_t index) {
    return Service().Item(index)->RequireEncryption() && !Service().Item(index)->PasswordOk();
}

// While `stillLocked(index)`, asks for the network password with `prompt` and
// looks `serialNo` up again with every answer; `index` follows the lookups.
Access askWhileLocked(const QString& serialNo, const QString& prompt, std::int16_t& index,
                      const std::function<bool()>& stillLocked) {
    while (stillLocked()) {
        // Masked: a password in clear on screen is unsafe.
        const QString answer = qorg::userDialogs().input(prompt, QString(), true);
        if (answer.isEmpty())
            return Access::Cancelled;
        state().NetworkPassword = answer;
        index = FindControllerBySerialNo(serialNo, true);
        if (index == -1)
            return Access::NotFound;
    }
    return Access::Open;
}

}  // namespace

void CopyPasswordOk(std::int16_t index) {
    state().CurrentController.PasswordOk = toVBool(Service().Item(index)->PasswordOk());
}

Access OpenCurrentController() {
    CurrentControllerRecord& current = state().CurrentController;
    // A copy: the record is written while the lookups run.
    const QString serialNo = current.SerialNo;
    std::int16_t index = -1;
    return askWhileLocked(serialNo, kAccessPrompt, index, [&current, &index] {
        if (index != -1)
            CopyPasswordOk(index);
        return isTrue(current.RequireEncryption) && !isTrue(current.PasswordOk);
    });
}

Access OpenControllerForSetup(const QString& serialNo) {
    std::int16_t index = FindControllerBySerialNo(serialNo, false);
    if (index == -1)
        return Access::NotFound;
    const Access access = askWhileLocked(serialNo, kSetupPrompt, index, [&index] { return locked(index); });
    if (access == Access::Open && !Service().Item(index)->Name().empty())
        Service().Item(index)->setApply(true);
    return access;
}

bool ConnectedControllerNeedsPassword() {
    SharedState& shared = state();
    const std::int16_t index = FindControllerBySerialNo(shared.Settings.SerialNo, false);
    if (index == -1)
        return false;
    CurrentControllerRecord& current = shared.CurrentController;
    if (locked(index)) {
        // Shown as its settings, the blanks would be written back by a setup
        // (name, description and main computer wiped).
        current.SerialNo = shared.Settings.SerialNo;
        current.RequireEncryption = vbTrue;
        current.PasswordOk = vbFalse;
        return true;
    }
    // The security dialog starts from these two: they must describe the controller shown.
    current.RequireEncryption = toVBool(Service().Item(index)->RequireEncryption());
    CopyPasswordOk(index);
    TakeEncryptionOfShownController(index);
    return false;
}

}  // namespace zelmar::comm
