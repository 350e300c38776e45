// The tool's dialogs inside the namespace site of netns_site.sh, as the
// acceptance suite drives them: No at the start-up question, choose a site
// controller in the search dialog, change its name, "Load TCP/IP Settings".
// No configuration variable: the installed configuration (its data folder is
// ZELMAR_DATA_DIR) and its "adapters" target are what find the controllers.
// The script names the controller, the new name and how many it must list.
#include "tests/acceptance/acceptance_fixture.h"

#include "platform/ui/handler_guard.h"
#include "platform/ui/window_helpers.h"

namespace zelmar::acceptance {
namespace {

constexpr int kTextAskReadConnected = 4552;
constexpr int kTextSetupDone = 4558;

class SiteGui : public AcceptanceTest {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("ZELMAR_NETNS_SITE"))
            GTEST_SKIP() << "runs only inside the namespace site that netns_site.sh builds";
        ASSERT_TRUE(qEnvironmentVariableIsEmpty("ZELMAR_NETSERVICE_CONFIG"));
        resetToolState();
    }
};

TEST_F(SiteGui, ChooseAControllerFoundThroughTheAdaptersAndLoadItsSettings) {
    const QString serial = qEnvironmentVariable("ZELMAR_NETNS_CHOOSE");
    const QString newName = qEnvironmentVariable("ZELMAR_NETNS_NEW_NAME");
    const int controllers = qEnvironmentVariableIntValue("ZELMAR_NETNS_CONTROLLERS");
    ASSERT_FALSE(serial.isEmpty());
    ASSERT_GT(controllers, 0);

    QStringList listed;
    ModalSeam::pushButton(ui::ButtonNo);
    driveSearchDialog(
        [&](FormSearchTCP& search) {
            listed = listedSerials(search);
            clickRow(search, serial);
            press(search, "ButtonOk");
        },
        controllers);
    auto tool = startTool();

    EXPECT_EQ(shown(ModalKind::Question), QStringList{text(kTextAskReadConnected)});
    EXPECT_EQ(listed.size(), controllers) << listed.join(u' ').toStdString();
    EXPECT_EQ(listed.removeDuplicates(), 0) << "a controller listed twice";
    ASSERT_EQ(field(*tool, "CtrlCurrentSerialNo")->text(), serial);

    type(*tool, "CtrlCurrentName", newName);
    load(*tool);
    ASSERT_EQ(ModalSeam::log().size(), 1) << modalLog();
    EXPECT_EQ(ModalSeam::log().first().text, text(kTextSetupDone) + u' ' + newName);
}

}  // namespace
}  // namespace zelmar::acceptance
