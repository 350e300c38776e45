// Closing the site window while its work runs: the work finishes, and what it
// reports afterwards reaches no window. Under Wine the window system takes 2 s
// to hide a window; a search ending meanwhile asked for the site's password
// after the window had gone, and the program waited for that answer.
#include "tests/sitewindow/site_window_fixture.h"

using namespace zelmar;
using zelmar::testing::SiteWindowTest;

TEST_F(SiteWindowTest, AWindowClosedDuringASearchAsksNothingWhenTheSearchEnds) {
    auto fleet = sim::SimFleet::fromJson(R"({"controllers": [
        {"serialNo": "40-00001", "ethernetAddress": "00-1A-4C-66-00-01", "address": "127.81.0.1", "capabilities": 8,
         "requireEncryption": true, "encryptionPassword": "Plant-7-secret", "name": "Kylmaskin",
         "ipAddress": "10.20.1.1", "subnetMask": "255.255.0.0"}]})");
    fleet.start(0);
    sitewindow::SiteWindow w(zelmar::testing::quickSearchConfig(fleet));
    w.show();
    // The locked controller would have the window ask for the password: the
    // answer is ready, so that such a prompt shows in the log instead of failing
    // the strict seam inside the event loop.
    ui::ModalSeam::pushInput(QStringLiteral("Plant-7-secret"));
    action(w, "actionSearch")->trigger();
    ASSERT_TRUE(w.session().busy());
    w.close();
    ASSERT_TRUE(waitIdle(w));  // the search has ended and what it reported has been delivered
    QTest::qWait(50);
    EXPECT_TRUE(ui::ModalSeam::log().isEmpty()) << "asked after closing: " << ui::ModalSeam::log().front().text.toStdString();
    EXPECT_EQ(w.model().rowCount(), 0) << "the closed window still showed the search";
    ui::ModalSeam::clearAnswers();
}
