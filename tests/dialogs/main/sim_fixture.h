#pragma once
// Main dialog tests against simulated controllers over real UDP on loopback:
// an in-process fleet, the communication module pointed at it, and a way in
// to the dialog's private procedures.
#include "main_fixture.h"

#include <QAbstractItemView>
#include <string>
#include <vector>

#include "comm/com_sub.h"
#include "simulator/sim_fleet.h"
#include "tests/common/sim_site.h"
#include "tests/platform/ui/modal_answerer.h"

namespace zelmar::testing {

struct MainDialogAccess {
    static void ShowCurrentController(FormTCPSettings& d, VBool show) { d.ShowCurrentController(show); }
};

class MainDialogSimTest : public MainDialogTest {
protected:
    void TearDown() override {
        comm::CloseService();
        comm::clearServiceConfigForTests();
        fleet_.reset();
        MainDialogTest::TearDown();
    }

    void startFleet(std::vector<sim::SimControllerState> controllers) {
        fleet_ = std::make_unique<sim::SimFleet>(zelmar::testing::startFleet(std::move(controllers)));
        comm::setServiceConfigForTests(quickSearchConfig(*fleet_));
    }

    sim::SimControllerState simState(const std::string& serialNo) const {
        auto state = fleet_->controller(serialNo);
        EXPECT_TRUE(state.has_value()) << serialNo;
        return state.value_or(sim::SimControllerState{});
    }

    // Answers the search dialog that is about to open: waits until its list
    // shows `serialNo`, clicks that row and presses OK. An empty serial number
    // presses Cancel instead, once the search has run.
    void chooseInSearchDialog(const QString& serialNo, int expectedRows) {
        answerNextModal([serialNo, expectedRows, this](QWidget* modal) {
            searchDialogSeen_ << modal->objectName();
            auto* list = modal->findChild<QAbstractItemView*>(QStringLiteral("CtrlList"));
            ASSERT_NE(list, nullptr);
            EXPECT_TRUE(QTest::qWaitFor([&] { return list->model()->rowCount() >= expectedRows; }, 5000))
                << "the search list did not reach " << expectedRows << " rows";
            if (serialNo.isEmpty()) {
                modal->findChild<QPushButton*>(QStringLiteral("ButtonCancel"))->click();
                return;
            }
            for (int row = 0; row < list->model()->rowCount(); ++row) {
                for (int column = 0; column < list->model()->columnCount(); ++column) {
                    const QModelIndex cell = list->model()->index(row, column);
                    if (cell.data().toString() == serialNo) {
                        list->setCurrentIndex(cell);
                        const QRect rect = list->visualRect(cell);
                        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
                        modal->findChild<QPushButton*>(QStringLiteral("ButtonOk"))->click();
                        return;
                    }
                }
            }
            ADD_FAILURE() << "no row for " << serialNo.toStdString();
            modal->findChild<QPushButton*>(QStringLiteral("ButtonCancel"))->click();
        });
    }

    // The controller fields in the order the dialog shows them.
    static QStringList controllerFields(const FormTCPSettings& d) {
        QStringList texts;
        for (const char* name : {"CtrlCurrentName", "CtrlCurrentSerialNo", "CtrlCurrentEthernet",
                                 "CtrlCurrentDescription", "tbIP", "tbSub", "tbGateway", "tbDNS", "tbHostName",
                                 "tbDomain", "tbDNSName"})
            texts << edit(d, name)->text();
        return texts;
    }

    std::unique_ptr<sim::SimFleet> fleet_;
    QStringList searchDialogSeen_;
};

}  // namespace zelmar::testing
