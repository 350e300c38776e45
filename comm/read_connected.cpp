// Reading the controller cabled directly to the workstation into the settings record.
#include <optional>

#include "comm/com_sub.h"
#include "comm/controller_records.h"
#include "comm/shared_state.h"
#include "platform/netservice/net_service.h"
#include "platform/qorglib/user_dialogs.h"
#include "support/support.h"

namespace zelmar::comm {

namespace {

constexpr std::int32_t kTextAskReadConnected = 4552;
constexpr std::int32_t kTextNoConnectedController = 4557;
constexpr std::int32_t kTextSeveralConnectedControllers = 4560;

}  // namespace

// The one routine that catches failures: whatever goes wrong, the caller gets
// False without a message and the pointer is back where it was.
bool ReadConnectedController(bool& declined) {
    declined = false;
    qorg::UserDialogs& dialogs = qorg::userDialogs();
    std::optional<bool> rememberedBusy;
    try {
        OpenService();
        if (!support::AskYesNo(support::GetText(kTextAskReadConnected))) {
            Service().setConnectedMode(false);
            declined = true;
            return false;
        }

        rememberedBusy = dialogs.busy();
        dialogs.setBusy(true);
        // A fresh object: no entries of earlier searches, and a reset settings record.
        CloseService();
        OpenService();
        declined = false;

        net::NetService& service = Service();
        service.Clear();
        service.setConnectedMode(true);
        service.setPassword(state().NetworkPassword.toStdString());
        service.Search();
        const std::int32_t count = service.ControllerCount();

        bool result = false;
        if (count == 1) {
            CopyControllerEntry(0, EntryCopy::Settings, state().Settings);
            service.Item(0)->setApply(true);
            result = true;
        } else if (count == 0) {
            support::ShowErrorMessage(support::GetText(kTextNoConnectedController));
        } else {
            service.setConnectedMode(false);
            support::ShowErrorMessage(support::GetText(kTextSeveralConnectedControllers));
        }
        dialogs.setBusy(*rememberedBusy);
        return result;
    } catch (...) {
        try {
            if (HasService())
                Service().setConnectedMode(false);
        } catch (...) {
            // The service is already failing; the result is False either way.
        }
        dialogs.setBusy(rememberedBusy.value_or(false));
        return false;
    }
}

}  // namespace zelmar::comm
