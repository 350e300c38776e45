#include "comm/shared_state.h"

namespace zelmar::comm {

SharedState& state() {
    static SharedState instance;
    return instance;
}

void ResetSettings() {
    SettingsRecord fresh;
    fresh.UseDhcp = vbTrue;
    state().Settings = fresh;
}

}  // namespace zelmar::comm
