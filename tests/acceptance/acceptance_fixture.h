#pragma once
// Common ground of the acceptance suite: the demo fleet (demo/fleet.json)
// served in-process over real UDP on loopback, the communication module
// pointed at its local site as run-demo.sh points the tool, the tool started
// as app/main.cpp starts it, and the means to drive the real modal dialogs.
//
// Questions, messages and input boxes are answered through the modal seam in
// strict mode (an unexpected one fails the test instead of hanging). The
// search and security dialogs are real modal windows: a zero-time timer finds
// them as the active modal widget and works their controls as a technician.
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <ostream>
#include <string>

#include "comm/com_sub.h"
#include "comm/shared_state.h"
#include "dialogs/main/form_tcp_settings.h"
#include "dialogs/search/form_search_tcp.h"
#include "platform/netservice/config/service_config.h"
#include "platform/ui/modal_seam.h"
#include "simulator/sim_fleet.h"

inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace zelmar::acceptance {

using dialogs::FormSearchTCP;
using dialogs::FormTCPSettings;
using ui::ModalKind;
using ui::ModalSeam;

// The demo fleet's local site: what the workstation's search reaches.
inline constexpr int kLocalSiteControllers = 22;
inline constexpr const char* kLocalSiteTargets = "127.77.0.1-127.77.0.254";

// Every persisted field of every controller, "serialNo.field" -> value.
using FieldMap = std::map<std::string, std::string>;

class AcceptanceTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // No service, fresh shared state, the strict seam with nothing queued, fatal errors recorded.
    void resetToolState();

    // Creates the main dialog, runs its load handler and shows it, as the
    // tool's start does. Queue the start-up answers and drivers before.
    std::unique_ptr<FormTCPSettings> startTool();

    // Drives the next search dialog that opens: waits until its first search
    // has listed `rows` rows, then runs `steps`, which must close it (OK or
    // Cancel). A dialog left open is cancelled and fails the test.
    void driveSearchDialog(std::function<void(FormSearchTCP&)> steps, int rows = kLocalSiteControllers);
    // Starts the tool with No, chooses `serialNo` in the search dialog and
    // types `passwords` into the password prompts that follow.
    std::unique_ptr<FormTCPSettings> startAndChoose(const QString& serialNo, const QStringList& passwords = {});
    // Chooses `serialNo` through "Search..." in the running tool.
    void chooseAgain(FormTCPSettings& tool, const QString& serialNo);
    // "Load TCP/IP Settings" with a fresh log and Ok queued for the result message.
    static void load(FormTCPSettings& tool);
    // Drives the next security dialog: sets the check box and the password
    // by typing, then presses Close.
    void driveSecurityDialog(bool requireEncryption, const QString& password);

    // Inside a driven search dialog.
    static void clickRow(FormSearchTCP& search, const QString& serialNo);
    static QString selectedSerial(FormSearchTCP& search);
    static QStringList listedSerials(FormSearchTCP& search);  // in list order
    static int rowCount(FormSearchTCP& search);
    static void press(QWidget& dialog, const char* buttonName);
    static void waitIdle(FormSearchTCP& search);

    // In the main dialog.
    static QLineEdit* field(FormTCPSettings& tool, const char* name);
    static void type(FormTCPSettings& tool, const char* name, const QString& text);  // replaces the text by typing
    static void click(FormTCPSettings& tool, const char* name);                       // a button or check box
    // The controller fields as shown, "name=value" in screen order.
    static QStringList shownController(FormTCPSettings& tool);

    // The state of the simulated controllers.
    FieldMap fleetFields() const;
    static FieldMap changes(const FieldMap& before, const FieldMap& after);
    sim::SimControllerState controller(const std::string& serialNo) const;
    int setupsAppliedInFleet() const;

    // What the modal seam showed, by kind.
    static QStringList shown(ModalKind kind);
    static QString text(int number);
    // Everything the modal seam was asked, one line each, for failure output.
    static std::string modalLog();

    std::unique_ptr<sim::SimFleet> fleet_;
    net::ServiceConfig config_;
    QStringList fatal_;
    int searchDialogsDriven_ = 0;
    int securityDialogsDriven_ = 0;
};

}  // namespace zelmar::acceptance
