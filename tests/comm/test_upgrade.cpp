// The port OS upgrade command: the file name, an unknown controller, the upgrade flag.
// (Files, the question and the transfer: test_upgrade_command.cpp.)
#include <stdexcept>

#include "tests/comm/slib_fixture.h"

using namespace zelmar;
using namespace zelmar::comm;
using zelmar::commtest::site;

namespace {

const QString kNotFound =
    "Could not upgrade controller.\r\nThis could happen because of the following reasons: \r\n"
    "- The selected controller could not be found on the network.\r\n- No controller was selected.";

using Upgrade = zelmar::commtest::SlibFolderTest;

TEST_F(Upgrade, TheFileIsNamedByThePortTypeInQORreal) {
    FindUpgradeFile(3);
    EXPECT_EQ(UpgradeFilePath(), slibFolder() + "QORreal/3.TcpIpPortOS");
    FindUpgradeFile(-12);
    EXPECT_EQ(UpgradeFilePath(), slibFolder() + "QORreal/-12.TcpIpPortOS");
    FindUpgradeFile(32767);
    EXPECT_EQ(UpgradeFilePath(), slibFolder() + "QORreal/32767.TcpIpPortOS");
}

TEST_F(Upgrade, AControllerThatIsNotFoundGetsMessageA) {
    startSite(site(2));
    RestartSearch();
    for (const QString& serial : {QStringLiteral(""), QStringLiteral("20-00077")}) {
        answer(ui::ButtonOk);
        UpgradePortOsCommand(serial);
        ASSERT_EQ(ui::ModalSeam::log().size(), 1);
        EXPECT_EQ(ui::ModalSeam::log().first().text, kNotFound);
        EXPECT_EQ(ui::ModalSeam::log().first().style, 0);
        ui::ModalSeam::clearLog();
    }
    EXPECT_EQ(ui::mousePointer(), ui::MousePointer::Normal);
}

TEST_F(Upgrade, TheUpgradeFlagNeverStaysSetAfterAFailure) {
    startSite(site(2));
    RestartSearch();
    SelectController("20-00002");
    // Strict seam and no answer queued: the command's message throws, as any failure inside it.
    EXPECT_THROW(UpgradeListedController("20-00077"), std::logic_error);
    EXPECT_EQ(state().UpgradeInProgress, vbFalse);
    EXPECT_EQ(ui::mousePointer(), ui::MousePointer::Normal);
    ui::ModalSeam::clearLog();
}

}  // namespace
