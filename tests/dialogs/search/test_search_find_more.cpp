// "Find more...": searching a typed address (or network) and selecting the
// row of the controller asked for. Which entry matches what was typed is the
// communication module's (tests/comm).
#include "search_fixture.h"

namespace zelmar::testing {
namespace {

using support::GetText;

class SearchFindMoreTest : public SearchDialogTest {
protected:
    // Types `typed` into the input box and confirms `messages` messages that follow.
    void findMore(const QString& typed, int messages = 0) {
        ModalSeam::pushInput(typed);
        for (int i = 0; i < messages; ++i)
            ModalSeam::pushButton(ui::ButtonOk);
        button("ButtonFindMore")->click();
    }
    // After every find-more: searching look gone, OK and Upgrade disabled.
    void expectIdleWithButtonsDisabled() {
        EXPECT_EQ(statusLine(), QString());
        EXPECT_FALSE(button("ButtonOk")->isEnabled());
        EXPECT_FALSE(button("btnUpgrade")->isEnabled());
        EXPECT_EQ(ui::mousePointer(), ui::MousePointer::Normal);
        EXPECT_FALSE(dialog_->isBusy());
        EXPECT_TRUE(dialog_->isVisible());
    }
    static QString notFound(const QString& typed) { return GetText(4562) + QLatin1Char(' ') + typed; }
};

TEST_F(SearchFindMoreTest, AnAddressAddsItsControllerAfterTheOthersAndSelectsItsRow) {
    startFleet(standardSite());
    openDialog();
    const QStringList before = columnTexts(1);
    clickRow(QStringLiteral("10-00001"));
    ASSERT_TRUE(button("ButtonOk")->isEnabled());

    findMore(QStringLiteral("127.79.9.4"));

    ASSERT_EQ(ModalSeam::log().size(), 1) << modalLog().join('\n').toStdString();
    const ui::ModalRequest box = ModalSeam::log().first();
    EXPECT_EQ(box.kind, ModalKind::InputBox);
    EXPECT_EQ(box.title, GetText(4538));
    EXPECT_EQ(box.text, GetText(4539) + QStringLiteral("\r\n\r\n") + GetText(4540));

    EXPECT_EQ(columnTexts(1), before + QStringList{QStringLiteral("10-00004")}) << "earlier entries stay, in order";
    EXPECT_EQ(columnTexts(1), entrySerials());
    EXPECT_EQ(selectedSerial(), QStringLiteral("10-00004"));
    expectIdleWithButtonsDisabled();
    EXPECT_FALSE(marked("10-00004")) << "selecting the row marks nothing";

    // Enter takes the selected row.
    pressEnterInList();
    EXPECT_EQ(dialog_->SearchOkFlg, vbTrue);
    EXPECT_EQ(comm::state().CurrentController.SerialNo, QStringLiteral("10-00004"));
}

TEST_F(SearchFindMoreTest, ADnsNameSelectsTheEntryOfThatName) {
    auto site = standardSite();
    auto local = simController("10-00005", "127.0.0.1", "Desk unit");
    local.dnsName = "localhost";
    local.ipAddress = "127.0.0.1";
    local.subnetMask = "255.0.0.0";
    site.push_back(local);
    startFleet(site);
    openDialog();
    ASSERT_EQ(rowOf(QStringLiteral("10-00005")), -1);

    findMore(QStringLiteral("localhost"));
    ASSERT_EQ(ModalSeam::log().size(), 1) << modalLog().join('\n').toStdString();
    EXPECT_EQ(selectedSerial(), QStringLiteral("10-00005"));
    expectIdleWithButtonsDisabled();

    // A name the service does not accept is reported, yet the entry that
    // carries that DNS name is still selected and no not-found message follows.
    findMore(QStringLiteral("ahu2.site"), 1);
    ASSERT_EQ(ModalSeam::log().size(), 3) << modalLog().join('\n').toStdString();
    EXPECT_EQ(ModalSeam::log().at(2).kind, ModalKind::Message);
    EXPECT_EQ(ModalSeam::log().at(2).style, 0);
    EXPECT_EQ(ModalSeam::log().at(2).text, QStringLiteral("ahu2.site is not a valid IP address!"));
    EXPECT_EQ(selectedSerial(), QStringLiteral("10-00002"));
    expectIdleWithButtonsDisabled();
}

TEST_F(SearchFindMoreTest, CancelAnEmptyInputOrALeadingSlashSearchNothing) {
    startFleet(standardSite());
    openDialog();
    const QStringList before = columnTexts(1);

    int boxes = 0;
    for (const QString& typed : {QString(), QStringLiteral("/255.255.255.0"), QStringLiteral("/")}) {
        SCOPED_TRACE(typed.toStdString());
        clickRow(before.first());
        ASSERT_TRUE(button("ButtonOk")->isEnabled());
        findMore(typed);
        ++boxes;
        EXPECT_EQ(columnTexts(1), before) << "rows unchanged";
        EXPECT_EQ(ModalSeam::log().size(), boxes) << "no message";
        expectIdleWithButtonsDisabled();
    }
    for (const auto& c : fleet_->controllers())
        EXPECT_EQ(c.searchesAnswered, c.serialNo == "10-00004" ? 0 : 1) << c.serialNo << ": no search was made";
}

TEST_F(SearchFindMoreTest, AnInvalidAddressIsReportedAndThenNotFound) {
    startFleet(standardSite());
    openDialog();
    QStringList sortedBefore = columnTexts(1);
    sortedBefore.sort();
    findMore(QStringLiteral("300.1.2.3/255.255.255.128"), 2);

    ASSERT_EQ(ModalSeam::log().size(), 3) << modalLog().join('\n').toStdString();
    EXPECT_EQ(ModalSeam::log().at(1).style, 0);
    EXPECT_EQ(ModalSeam::log().at(1).text, QStringLiteral("300.1.2.3 is not a valid IP address!"));
    EXPECT_EQ(ModalSeam::log().at(2).style, 2) << "an information message";
    EXPECT_EQ(ModalSeam::log().at(2).text, notFound(QStringLiteral("300.1.2.3/255.255.255.128")));
    QStringList sortedNow = columnTexts(1);
    sortedNow.sort();
    EXPECT_EQ(sortedNow, sortedBefore);
    expectIdleWithButtonsDisabled();
}

TEST_F(SearchFindMoreTest, NoControllerAtTheAddressRepeatsTheInputAsTyped) {
    startFleet(standardSite());
    openDialog();
    for (const QString& typed : {QStringLiteral("127.79.8.1/255.255.255.252"), QStringLiteral("127.79.9.77")}) {
        SCOPED_TRACE(typed.toStdString());
        ModalSeam::clearLog();
        findMore(typed, 1);
        ASSERT_EQ(ModalSeam::log().size(), 2) << modalLog().join('\n').toStdString();
        EXPECT_EQ(ModalSeam::log().at(1).style, 2);
        EXPECT_EQ(ModalSeam::log().at(1).text, notFound(typed));
        EXPECT_EQ(rowCount(), 3);
        expectIdleWithButtonsDisabled();
    }
    EXPECT_EQ(QStringLiteral("No controller found at 127.79.9.77"), notFound(QStringLiteral("127.79.9.77")));
}

}  // namespace
}  // namespace zelmar::testing
