#pragma once
// Search dialog tests: real widgets, headless, against simulated controllers
// over real UDP on loopback. Modal windows are answered through the modal seam
// in strict mode, so an unexpected message fails the test instead of hanging.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <gtest/gtest.h>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "comm/com_sub.h"
#include "comm/shared_state.h"
#include "dialogs/search/controller_list_model.h"
#include "dialogs/search/form_search_tcp.h"
#include "platform/netservice/net_service.h"
#include "platform/ui/handler_guard.h"
#include "platform/ui/modal_seam.h"
#include "platform/ui/window_helpers.h"
#include "simulator/sim_fleet.h"
#include "support/support.h"
#include "tests/common/sim_site.h"

namespace zelmar::testing {

using dialogs::FormSearchTCP;
using ui::ModalKind;
using ui::ModalSeam;

// Where the test controllers live. The full search covers 127.79.0.1 to
// 127.79.0.9 only; controllers elsewhere are found by address alone.
inline constexpr const char* kFullSearchRange = "127.79.0.1-127.79.0.9";

inline sim::SimControllerState simController(const std::string& serialNo, const std::string& address,
                                             const std::string& name) {
    sim::SimControllerState c;
    c.serialNo = serialNo;
    static int macCounter = 0;
    const int n = ++macCounter;
    char mac[32];
    std::snprintf(mac, sizeof mac, "00-1A-4C-00-%02X-%02X", (n >> 8) & 0xFF, n & 0xFF);
    c.ethernetAddress = mac;
    c.address = address;
    c.name = name;
    c.description = "Unit at " + address;
    c.dnsName = "";
    c.mainComputerAddress = "127.79.0.200";
    c.useDhcp = false;
    c.ipAddress = address;
    c.subnetMask = "255.255.0.0";
    c.gateway = "127.79.0.254";
    c.dnsServer = "127.79.0.253";
    c.capabilities = 8;
    c.portOsType = 3;
    c.attachedNetwork = "127.79.0.0/16";
    return c;
}

// The site most tests use: three controllers found by the full search (one
// with an empty name, one factory-new with 0.0.0.0 settings) and one more that
// only a search by address finds.
inline std::vector<sim::SimControllerState> standardSite() {
    auto boiler = simController("10-00001", "127.79.0.1", "Boiler 1");
    boiler.dnsName = "boiler1";
    boiler.description = "Boiler room, house 1";

    auto unnamed = simController("10-00002", "127.79.0.2", "");
    unnamed.useDhcp = true;
    unnamed.subnetMask = "255.255.255.0";
    unnamed.dnsName = "ahu2.site";

    auto factoryNew = simController("10-00003", "127.79.0.3", "Factory new");
    factoryNew.ipAddress = factoryNew.subnetMask = factoryNew.gateway = factoryNew.dnsServer = "0.0.0.0";
    factoryNew.description = "";

    auto remote = simController("10-00004", "127.79.9.4", "Remote 4");
    remote.subnetMask = "255.255.255.0";
    remote.gateway = "127.79.9.1";
    remote.dnsName = "remote4";
    remote.attachedNetwork = "127.79.9.0/24";
    return {boiler, unnamed, factoryNew, remote};
}

class SearchDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        comm::state() = comm::SharedState{};
        ModalSeam::clearAnswers();
        ModalSeam::clearLog();
        ModalSeam::setStrict(true);
        ui::setFatalErrorAction([this](const QString& message) { fatal_ << message; });
    }

    void TearDown() override {
        dialog_.reset();  // unloads: the marked controller is unmarked
        comm::CloseService();
        comm::clearServiceConfigForTests();
        fleet_.reset();
        EXPECT_EQ(ModalSeam::pendingAnswers(), 0) << "answers queued but never asked for";
        ModalSeam::clearAnswers();
        ModalSeam::setStrict(false);
        ui::setFatalErrorAction({});
        ui::setMousePointer(ui::MousePointer::Normal);
        EXPECT_TRUE(fatal_.isEmpty()) << fatal_.join(QStringLiteral("\n")).toStdString();
    }

    // Starts the fleet; the full search covers kFullSearchRange.
    void startFleet(std::vector<sim::SimControllerState> controllers, int failEntryReadsAfter = -1) {
        fleet_ = std::make_unique<sim::SimFleet>(zelmar::testing::startFleet(std::move(controllers)));
        config_ = quickSearchConfig(*fleet_);
        config_.searchTargets = {kFullSearchRange};
        config_.failEntryReadsAfter = failEntryReadsAfter;
        comm::setServiceConfigForTests(config_);
    }

    void setFaultAfterReads(int reads) {
        config_.failEntryReadsAfter = reads;
        comm::setServiceConfigForTests(config_);
    }

    // Creates the dialog as the opener does (loading it), without showing it.
    FormSearchTCP& createDialog() {
        dialog_ = std::make_unique<FormSearchTCP>();
        return *dialog_;
    }

    // Shows it as the opener would; the first activation runs a refresh,
    // which this waits for.
    FormSearchTCP& showDialog() {
        QSignalSpy finished(dialog_.get(), &FormSearchTCP::searchFinished);
        dialog_->show();
        dialog_->activateWindow();
        EXPECT_TRUE(finished.count() > 0 || finished.wait(10000)) << "no search on first display";
        settle();
        return *dialog_;
    }

    FormSearchTCP& openDialog() {
        createDialog();
        return showDialog();
    }

    // Runs `action` once, from the event loop, when the list has `rows` rows
    // while it fills (the fill lets events run after each row).
    void duringFillAtRow(int rows, std::function<void()> action) {
        auto done = std::make_shared<bool>(false);
        QObject::connect(list()->model(), &QAbstractItemModel::rowsInserted, dialog_.get(),
                         [this, rows, action, done] {
                             if (*done || rowCount() != rows)
                                 return;
                             *done = true;
                             QTimer::singleShot(0, qApp, action);
                         });
    }

    // Lets queued work (a queued refresh among it) run.
    static void settle() {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    }

    template <typename T>
    T* child(const char* name) const {
        T* widget = dialog_->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QTreeView* list() const { return child<QTreeView>("CtrlList"); }
    dialogs::ControllerListModel* rows() const {
        auto* model = qobject_cast<dialogs::ControllerListModel*>(list()->model());
        EXPECT_NE(model, nullptr) << "the list shows the controller model";
        return model;
    }
    int rowCount() const { return list()->model()->rowCount(); }
    QString cell(int row, int column) const { return list()->model()->index(row, column).data().toString(); }
    QPushButton* button(const char* name) const { return child<QPushButton>(name); }
    QString statusLine() const { return child<QLabel>("CtrlStatusLine")->text(); }

    QStringList columnTexts(int column) const {
        QStringList texts;
        for (int row = 0; row < rowCount(); ++row)
            texts << cell(row, column);
        return texts;
    }
    // Serial numbers of the service's entries, in entry order.
    static QStringList entrySerials() {
        QStringList serials;
        net::NetService& service = comm::Service();
        for (std::int32_t i = 0; i < service.ControllerCount(); ++i)
            serials << QString::fromStdString(service.Item(static_cast<std::int16_t>(i))->SerialNo());
        return serials;
    }
    int rowOf(const QString& serialNo) const { return columnTexts(1).indexOf(serialNo); }
    QString selectedSerial() const {
        const QModelIndexList rows = list()->selectionModel()->selectedRows(1);
        return rows.size() == 1 ? rows.first().data().toString() : QString();
    }

    void clickRow(const QString& serialNo) {
        const QModelIndex row = list()->model()->index(rowOf(serialNo), 0);
        ASSERT_TRUE(row.isValid()) << serialNo.toStdString();
        list()->scrollTo(row);
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, list()->visualRect(row).center());
    }
    void pressEnterInList() {
        list()->setFocus();
        QTest::keyClick(list(), Qt::Key_Return);
    }

    sim::SimControllerState simState(const std::string& serialNo) const {
        auto state = fleet_->controller(serialNo);
        EXPECT_TRUE(state.has_value()) << serialNo;
        return state.value_or(sim::SimControllerState{});
    }
    bool marked(const std::string& serialNo) const { return simState(serialNo).marked; }

    // Messages shown so far, as "kind style: text".
    static QStringList modalLog() {
        QStringList lines;
        for (const ui::ModalRequest& r : ModalSeam::log())
            lines << QStringLiteral("%1 %2: %3").arg(int(r.kind)).arg(r.style).arg(r.text);
        return lines;
    }

    std::unique_ptr<sim::SimFleet> fleet_;
    net::ServiceConfig config_;
    std::unique_ptr<FormSearchTCP> dialog_;
    QStringList fatal_;
};

}  // namespace zelmar::testing
