#pragma once
// Scope guards for the two process-wide things a long operation sets and must
// put back however it ends: the busy pointer and the upgrade flag.
#include "comm/shared_state.h"
#include "platform/qorglib/user_dialogs.h"

namespace zelmar::comm {

// Remembers the pointer on construction and puts it back on destruction, also
// when an error leaves the scope.
class PointerRestorer {
public:
    PointerRestorer() : remembered_(qorg::userDialogs().busy()) {}
    ~PointerRestorer() { restore(); }
    PointerRestorer(const PointerRestorer&) = delete;
    PointerRestorer& operator=(const PointerRestorer&) = delete;

    void restore() const { qorg::userDialogs().setBusy(remembered_); }

private:
    bool remembered_;
};

// Sets UpgradeInProgress for the lifetime of the guard; the search dialog's
// upgrade command holds one around UpgradePortOsCommand so that the flag never
// stays set after a failure.
class UpgradeInProgressScope {
public:
    UpgradeInProgressScope() { state().UpgradeInProgress = vbTrue; }
    ~UpgradeInProgressScope() { state().UpgradeInProgress = vbFalse; }
    UpgradeInProgressScope(const UpgradeInProgressScope&) = delete;
    UpgradeInProgressScope& operator=(const UpgradeInProgressScope&) = delete;
};

}  // namespace zelmar::comm
