#include "tests/acceptance/acceptance_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>
#include <QAbstractItemView>

#include "platform/ui/handler_guard.h"
#include "platform/ui/window_helpers.h"
#include "support/support.h"
#include "tests/platform/ui/modal_answerer.h"

namespace zelmar::acceptance {

namespace {
// Key by key as typed; QTest's ASCII key table has no å, ä, ö.
void typeKeys(QWidget* widget, const QString& text) {
    for (const QChar ch : text) {
        if (ch.unicode() < 0x80)
            QTest::keyClick(widget, char(ch.unicode()));
        else
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }
}
}  // namespace

void AcceptanceTest::resetToolState() {
    comm::CloseService();
    comm::state() = comm::SharedState{};
    ModalSeam::clearAnswers();
    ModalSeam::clearLog();
    ModalSeam::setStrict(true);
    ui::setFatalErrorAction([this](const QString& message) { fatal_ << message; });
}

void AcceptanceTest::SetUp() {
    resetToolState();
    fleet_ = std::make_unique<sim::SimFleet>(sim::SimFleet::fromFile(ZELMAR_DEMO_FLEET));
    fleet_->start();
    // After a port OS switch a controller is silent this long; short here.
    fleet_->setRestartMs(150);
    config_ = fleet_->clientConfig();
    // As run-demo.sh: the search reaches the local site; the north annex
    // (127.77.9.x) is behind a router and found by address.
    config_.searchTargets = {kLocalSiteTargets};
    // Shorter waits than on a real network, with room for a busy machine.
    config_.answerSpreadMs = 20;
    config_.lookupTimeoutMs = 1500;
    comm::setServiceConfigForTests(config_);
}

std::unique_ptr<FormTCPSettings> AcceptanceTest::startAndChoose(const QString& serialNo,
                                                                const QStringList& passwords) {
    ModalSeam::pushButton(ui::ButtonNo);
    for (const QString& password : passwords)
        ModalSeam::pushInput(password);
    driveSearchDialog([serialNo](FormSearchTCP& search) {
        clickRow(search, serialNo);
        press(search, "ButtonOk");
    });
    return startTool();
}

void AcceptanceTest::chooseAgain(FormTCPSettings& tool, const QString& serialNo) {
    driveSearchDialog([serialNo](FormSearchTCP& search) {
        clickRow(search, serialNo);
        press(search, "ButtonOk");
    });
    click(tool, "btnSearchTCP");
}

void AcceptanceTest::load(FormTCPSettings& tool) {
    ModalSeam::clearLog();
    ModalSeam::pushButton(ui::ButtonOk);
    click(tool, "btnSetup");
}

void AcceptanceTest::TearDown() {
    comm::CloseService();
    comm::clearServiceConfigForTests();
    fleet_.reset();
    EXPECT_TRUE(fatal_.isEmpty()) << fatal_.join(QStringLiteral("\n")).toStdString();
    EXPECT_EQ(ModalSeam::pendingAnswers(), 0) << "an expected question or message was not shown";
    ModalSeam::setStrict(false);
    ModalSeam::clearAnswers();
    ModalSeam::clearLog();
    ui::setFatalErrorAction({});
    ui::setMousePointer(ui::MousePointer::Normal);
}

std::unique_ptr<FormTCPSettings> AcceptanceTest::startTool() {
    auto tool = std::make_unique<FormTCPSettings>();
    tool->Form_Load();
    tool->show();
    QApplication::setActiveWindow(tool.get());
    EXPECT_TRUE(QTest::qWaitForWindowExposed(tool.get()));
    return tool;
}

void AcceptanceTest::driveSearchDialog(std::function<void(FormSearchTCP&)> steps, int rows) {
    testing::answerNextModal([this, steps, rows](QWidget* modal) {
        ++searchDialogsDriven_;
        auto* search = qobject_cast<FormSearchTCP*>(modal);
        if (!search) {
            ADD_FAILURE() << "expected the search dialog, got " << modal->objectName().toStdString();
            modal->close();
            return;
        }
        EXPECT_TRUE(QTest::qWaitFor([&] { return rowCount(*search) >= rows && !search->isBusy(); }, 10000))
            << "the first search listed " << rowCount(*search) << " rows";
        steps(*search);
        if (search->isVisible()) {
            ADD_FAILURE() << "the search dialog was left open";
            press(*search, "ButtonCancel");
        }
    });
}

void AcceptanceTest::driveSecurityDialog(bool requireEncryption, const QString& password) {
    testing::answerNextModal([this, requireEncryption, password](QWidget* modal) {
        ++securityDialogsDriven_;
        if (modal->objectName() != QStringLiteral("FormSecurity")) {
            ADD_FAILURE() << "expected the security dialog, got " << modal->objectName().toStdString();
            modal->close();
            return;
        }
        auto* require = modal->findChild<QCheckBox*>(QStringLiteral("CtrlEncryptedCom"));
        auto* pass = modal->findChild<QLineEdit*>(QStringLiteral("CtrlEncryptedPass"));
        if (!require || !pass) {
            ADD_FAILURE() << "security dialog controls missing";
            modal->close();
            return;
        }
        if (require->isChecked() != requireEncryption)
            QTest::mouseClick(require, Qt::LeftButton, {}, QPoint(8, require->height() / 2));
        EXPECT_EQ(require->isChecked(), requireEncryption);
        pass->setFocus(Qt::MouseFocusReason);
        pass->selectAll();
        QTest::keyClick(pass, Qt::Key_Delete);
        typeKeys(pass, password);
        press(*modal, "CmdOk");
        if (modal->isVisible()) {
            ADD_FAILURE() << "the security dialog was left open";
            modal->close();
        }
    });
}

int AcceptanceTest::rowCount(FormSearchTCP& search) {
    return search.findChild<QAbstractItemView*>(QStringLiteral("CtrlList"))->model()->rowCount();
}

namespace {
QModelIndex rowOf(const QAbstractItemView* list, const QString& serialNo) {
    const QAbstractItemModel* model = list->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        for (int column = 0; column < model->columnCount(); ++column)
            if (model->index(row, column).data().toString() == serialNo)
                return model->index(row, 0);
    }
    return {};
}
}  // namespace

void AcceptanceTest::clickRow(FormSearchTCP& search, const QString& serialNo) {
    auto* list = search.findChild<QAbstractItemView*>(QStringLiteral("CtrlList"));
    const QModelIndex row = rowOf(list, serialNo);
    ASSERT_TRUE(row.isValid()) << "no row for " << serialNo.toStdString();
    list->scrollTo(row);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(row).center());
    EXPECT_EQ(selectedSerial(search), serialNo);
}

namespace {
// The serial number of a row: the cell that reads "PP-NNNNN".
QString serialOf(const QAbstractItemModel* model, int row) {
    static const QRegularExpression serial(QStringLiteral("^\\d\\d-\\d{5}$"));
    for (int column = 0; column < model->columnCount(); ++column) {
        const QString cell = model->index(row, column).data().toString();
        if (serial.match(cell).hasMatch())
            return cell;
    }
    return {};
}
}  // namespace

QString AcceptanceTest::selectedSerial(FormSearchTCP& search) {
    auto* list = search.findChild<QAbstractItemView*>(QStringLiteral("CtrlList"));
    const QModelIndexList rows = list->selectionModel()->selectedRows();
    return rows.size() == 1 ? serialOf(list->model(), rows.first().row()) : QString();
}

QStringList AcceptanceTest::listedSerials(FormSearchTCP& search) {
    auto* list = search.findChild<QAbstractItemView*>(QStringLiteral("CtrlList"));
    QStringList serials;
    for (int row = 0; row < list->model()->rowCount(); ++row)
        serials << serialOf(list->model(), row);
    return serials;
}

void AcceptanceTest::press(QWidget& dialog, const char* buttonName) {
    auto* button = dialog.findChild<QPushButton*>(QString::fromLatin1(buttonName));
    ASSERT_NE(button, nullptr) << buttonName;
    ASSERT_TRUE(button->isEnabled()) << buttonName << " is disabled";
    QTest::mouseClick(button, Qt::LeftButton);
}

void AcceptanceTest::waitIdle(FormSearchTCP& search) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return !search.isBusy(); }, 10000));
}

QLineEdit* AcceptanceTest::field(FormTCPSettings& tool, const char* name) {
    return tool.control<QLineEdit>(QString::fromLatin1(name));
}

void AcceptanceTest::type(FormTCPSettings& tool, const char* name, const QString& text) {
    QLineEdit* edit = field(tool, name);
    ASSERT_TRUE(edit->isEnabled()) << name << " is disabled";
    edit->setFocus(Qt::MouseFocusReason);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    typeKeys(edit, text);
    ASSERT_EQ(edit->text(), text) << name;
}

void AcceptanceTest::click(FormTCPSettings& tool, const char* name) {
    auto* button = tool.control<QAbstractButton>(QString::fromLatin1(name));
    ASSERT_TRUE(button->isEnabled()) << name << " is disabled";
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
}

QStringList AcceptanceTest::shownController(FormTCPSettings& tool) {
    QStringList shown;
    for (const char* name : {"CtrlCurrentName", "CtrlCurrentSerialNo", "CtrlCurrentEthernet", "CtrlCurrentDescription",
                             "tbIP", "tbSub", "tbGateway", "tbDNS", "tbHostName", "tbDomain", "tbDNSName",
                             "tbMainCompIP"})
        shown << QString::fromLatin1(name) + QLatin1Char('=') + field(tool, name)->text();
    return shown;
}

FieldMap AcceptanceTest::fleetFields() const {
    // The simulator's own fleet file of its present state: every persisted
    // field, so that a field added later is compared too.
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(fleet_->toJson()));
    FieldMap fields;
    for (const QJsonValue& value : doc.object().value(QStringLiteral("controllers")).toArray()) {
        const QJsonObject c = value.toObject();
        const std::string serial = c.value(QStringLiteral("serialNo")).toString().toStdString();
        for (auto it = c.begin(); it != c.end(); ++it) {
            if (it.key().startsWith(QStringLiteral("lastUpgrade")))
                continue;  // the controller's note of its last switch: bookkeeping, not a setting
            const QJsonValue v = it.value();
            std::string text;
            if (v.isString())
                text = v.toString().toStdString();
            else if (v.isBool())
                text = v.toBool() ? "true" : "false";
            else
                text = QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact).toStdString();
            fields[serial + "." + it.key().toStdString()] = text;
        }
    }
    return fields;
}

FieldMap AcceptanceTest::changes(const FieldMap& before, const FieldMap& after) {
    FieldMap changed;
    for (const auto& [key, value] : after) {
        const auto old = before.find(key);
        if (old == before.end() || old->second != value)
            changed[key] = value;
    }
    for (const auto& [key, value] : before)
        if (!after.count(key))
            changed[key] = "<gone>";
    return changed;
}

sim::SimControllerState AcceptanceTest::controller(const std::string& serialNo) const {
    auto state = fleet_->controller(serialNo);
    EXPECT_TRUE(state.has_value()) << serialNo;
    return state.value_or(sim::SimControllerState{});
}

int AcceptanceTest::setupsAppliedInFleet() const {
    int applied = 0;
    for (const sim::SimControllerState& c : fleet_->controllers())
        applied += c.setupsApplied;
    return applied;
}

QStringList AcceptanceTest::shown(ModalKind kind) {
    QStringList texts;
    for (const ui::ModalRequest& r : ModalSeam::log())
        if (r.kind == kind)
            texts << r.text;
    return texts;
}

QString AcceptanceTest::text(int number) { return support::GetText(number); }

std::string AcceptanceTest::modalLog() {
    static const char* const kinds[] = {"message", "question", "input box"};
    std::string lines;
    for (const ui::ModalRequest& r : ModalSeam::log())
        lines += std::string(kinds[int(r.kind)]) + " " + std::to_string(r.style) + ": " + r.text.toStdString() + "\n";
    return lines;
}

}  // namespace zelmar::acceptance
