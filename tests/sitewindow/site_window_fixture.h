#pragma once
// The site window driven headless against a simulated fleet on loopback:
// every modal question, message, input and file dialog answered through the
// modal seam (strict: one the test did not expect fails it).
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "platform/ui/handler_guard.h"
#include "simulator/sim_fleet.h"
#include "sitewindow/site_window.h"
#include "tests/common/sim_site.h"
#include "tests/platform/ui/strict_seam_test.h"
#include "tests/sitewindow/site_window_wait.h"

// A failing comparison of texts shows the texts.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace zelmar::testing {

class SiteWindowTest : public StrictSeamTest {
protected:
    void SetUp() override {
        StrictSeamTest::SetUp();
        ui::setFatalErrorAction([](const QString& message) { ADD_FAILURE() << message.toStdString(); });
    }
    void TearDown() override {
        EXPECT_EQ(ui::ModalSeam::pendingAnswers(), 0) << "an answer the window never asked for";
        StrictSeamTest::TearDown();
    }

    static QAction* action(sitewindow::SiteWindow& w, const char* name) {
        QAction* a = w.findChild<QAction*>(QString::fromLatin1(name));
        EXPECT_NE(a, nullptr) << name;
        return a;
    }
    // Triggers a command and waits until the window's work (and what follows it) has ended.
    static bool run(sitewindow::SiteWindow& w, const char* actionName, int timeoutMs = 120000) {
        QAction* a = action(w, actionName);
        if (!a || !a->isEnabled())
            return false;
        a->trigger();
        return waitIdle(w, timeoutMs);
    }
    static bool waitIdle(sitewindow::SiteWindow& w, int timeoutMs = 120000) { return waitUntilIdle(w, timeoutMs); }
    static QString writeFile(const QTemporaryDir& dir, const char* name, const std::string& text) {
        const QString path = QDir(dir.path()).filePath(QString::fromLatin1(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.data(), qint64(text.size()));
        return path;
    }
    // The last message the window showed.
    static QString lastMessage() {
        const auto& log = ui::ModalSeam::log();
        for (auto it = log.rbegin(); it != log.rend(); ++it)
            if (it->kind == ui::ModalKind::Message)
                return it->text;
        return {};
    }
};

}  // namespace zelmar::testing
