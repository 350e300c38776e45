#pragma once
// Waiting for the site window's work to end, for its tests, pictures and
// benchmark: one piece of work may start the next (a check before an apply),
// so the window counts as idle once it has stayed so for a few turns of the
// event loop.
#include <QTest>

#include "sitewindow/site_window.h"

namespace zelmar::testing {

inline bool waitUntilIdle(sitewindow::SiteWindow& w, int timeoutMs = 120000) {
    int idleFor = 0;
    return QTest::qWaitFor(
        [&] {
            idleFor = w.session().busy() ? 0 : idleFor + 1;
            return idleFor >= 5;
        },
        timeoutMs);
}

}  // namespace zelmar::testing
