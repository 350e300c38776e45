#pragma once
// Scope guards for the two process-wide things a long operation sets and must
// put back however it ends: the mouse pointer and the upgrade flag.
#include "comm/shared_state.h"
#include "platform/ui/window_helpers.h"

namespace zelmar::comm {

// Remembers the pointer on construction and puts it back on destruction, also
// when an error leaves the scope.
class PointerRestorer {
public:
    PointerRestorer() : remembered_(ui::mousePointer()) {}
    ~PointerRestorer() { ui::setMousePointer(remembered_); }
    PointerRestorer(const PointerRestorer&) = delete;
    PointerRestorer& operator=(const PointerRestorer&) = delete;

    ui::MousePointer remembered() const { return remembered_; }
    void restore() const { ui::setMousePointer(remembered_); }

private:
    ui::MousePointer remembered_;
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
