// The controller list's table without a dialog: the model contract, rows in
// entry order and the rules of each column.
#include <QAbstractItemModelTester>
#include <QPixmap>
#include <gtest/gtest.h>

#include "dialogs/search/controller_list_model.h"
#include "dialogs/search/search_icons.h"
#include "support/support.h"
#include "support/vbool.h"

namespace zelmar::dialogs {
namespace {

using Model = ControllerListModel;

ControllerRow boiler() {
    return {"Boiler 1", "10-00001", "127.79.0.1", "00-1A-4C-00-00-01", false, "boiler1", "Boiler room, house 1"};
}
ControllerRow unnamedOnDhcp() { return {"", "10-00002", "127.79.0.2", "00-1A-4C-00-00-02", true, "ahu2.site", "Unit"}; }
ControllerRow factoryNew() { return {"Factory new", "10-00003", "0.0.0.0", "00-1A-4C-00-00-03", false, "", ""}; }

QStringList rowTexts(const Model& model, int row) {
    QStringList texts;
    for (int column = 0; column < model.columnCount(); ++column)
        texts << model.index(row, column).data().toString();
    return texts;
}

// Collects what the model tester complains about.
QStringList* g_warnings = nullptr;
void collectWarnings(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (g_warnings && type != QtDebugMsg && type != QtInfoMsg)
        *g_warnings << message;
}

TEST(ControllerListModel, KeepsTheItemModelContractThroughFillsAndClears) {
    QStringList warnings;
    g_warnings = &warnings;
    const QtMessageHandler previous = qInstallMessageHandler(collectWarnings);
    {
        Model model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
        model.setRowIcon(controllerRowIcon());
        model.loadHeaderTexts();
        model.appendRow(boiler());
        model.appendRow(unnamedOnDhcp());
        model.clear();
        model.appendRow(factoryNew());
        EXPECT_EQ(model.rowCount(), 1);
        EXPECT_EQ(model.rowCount(model.index(0, 0)), 0) << "a table: no row has children";
    }
    qInstallMessageHandler(previous);
    g_warnings = nullptr;
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join('\n').toStdString();
}

TEST(ControllerListModel, RowsFollowEntryOrderWithTheCellRulesOfEachColumn) {
    Model model;
    model.setRowIcon(controllerRowIcon());
    for (const ControllerRow& row : {boiler(), unnamedOnDhcp(), factoryNew()})
        model.appendRow(row);

    ASSERT_EQ(model.rowCount(), 3);
    ASSERT_EQ(model.columnCount(), 7);
    EXPECT_EQ(rowTexts(model, 0), (QStringList{"Boiler 1", "10-00001", "127.79.0.1", "00-1A-4C-00-00-01",
                                               support::GetCodeName(vbFalse), "boiler1", "Boiler room, house 1"}));
    // An empty name leaves the other columns as they are; DHCP reads as the catalogue's Yes/No.
    EXPECT_EQ(rowTexts(model, 1),
              (QStringList{"", "10-00002", "127.79.0.2", "00-1A-4C-00-00-02", "Yes", "ahu2.site", "Unit"}));
    // A factory-new unit reports 0.0.0.0: no address.
    EXPECT_EQ(rowTexts(model, 2), (QStringList{"Factory new", "10-00003", "", "00-1A-4C-00-00-03", "No", "", ""}));
    EXPECT_EQ(model.serialNoAt(2), QStringLiteral("10-00003"));
    EXPECT_EQ(model.serialNoAt(3), QString());

    for (int row = 0; row < 3; ++row) {
        EXPECT_FALSE(model.index(row, 0).data(Qt::DecorationRole).value<QIcon>().isNull())
            << "every row shows the controller icon";
        for (int column = 1; column < 7; ++column)
            EXPECT_FALSE(model.index(row, column).data(Qt::DecorationRole).isValid()) << column;
        EXPECT_FALSE(model.flags(model.index(row, 0)).testFlag(Qt::ItemIsEditable));
    }
}

TEST(ControllerListModel, HeadersComeFromTheCatalogueInColumnOrder) {
    Model model;
    model.loadHeaderTexts();
    const int numbers[] = {4543, 4545, 4546, 4547, 4548, 4550, 4549};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(model.headerData(i, Qt::Horizontal).toString(), support::GetText(numbers[i])) << i;
    EXPECT_EQ(model.headerData(5, Qt::Horizontal).toString(), QStringLiteral("DNS name"));
    EXPECT_EQ(model.headerData(6, Qt::Horizontal).toString(), QStringLiteral("Description"));
}

}  // namespace
}  // namespace zelmar::dialogs
