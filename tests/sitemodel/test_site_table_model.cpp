// The site table without a window: rows from a search of 200, sorting and
// filtering through the window's proxy, planned values judged per cell as
// typed, plans in and out, and the numbering of addresses.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QSignalSpy>
#include <QSortFilterProxyModel>

#include "site/csv.h"
#include "site/plan_check.h"
#include "platform/netservice/wire/ipv4.h"
#include "sitemodel/address_numbering.h"
#include "sitemodel/plan_table.h"
#include "sitemodel/site_report.h"
#include "sitemodel/site_table_model.h"
#include "sitemodel/site_texts.h"

using namespace zelmar;
using sitemodel::PlanField;
using sitemodel::SiteTableModel;

namespace {
// Controller i of a site of 200 at 10.40.<i / 100>.<i % 100 + 1>, the first ones on DHCP.
std::vector<site::ControllerRecord> siteOf(int count) {
    std::vector<site::ControllerRecord> out;
    for (int i = 0; i < count; ++i) {
        site::ControllerRecord r;
        char serial[16];
        std::snprintf(serial, sizeof serial, "10-%05d", i + 1);
        r.serialNo = serial;
        r.ethernetAddress = "00-1A-4C-00-" + std::to_string(10 + i / 100) + "-" + std::to_string(10 + i % 90);
        r.name = "Unit " + std::to_string(i + 1);
        r.useDhcp = i < 3;
        r.ipAddress = "10.40." + std::to_string(i / 100) + "." + std::to_string(i % 100 + 1);
        r.subnetMask = "255.255.0.0";
        r.gateway = "10.40.0.254";
        r.dnsServer = "0.0.0.0";
        r.dnsName = "unit" + std::to_string(i + 1) + ".plant.example";
        r.portOsType = std::int16_t(3 + i % 3);
        r.portOsRevision = "3.1.0";
        out.push_back(r);
    }
    return out;
}

QString cell(const QAbstractItemModel& m, int row, int column, int role = Qt::DisplayRole) {
    return m.data(m.index(row, column), role).toString();
}
}  // namespace

TEST(SiteTableModel, ASearchOf200FillsItSortsByAddressValueAndFilters) {
    SiteTableModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSortFilterProxyModel proxy;
    QAbstractItemModelTester proxyTester(&proxy, QAbstractItemModelTester::FailureReportingMode::Fatal);
    proxy.setSourceModel(&model);
    proxy.setSortRole(SiteTableModel::SortRole);
    proxy.setFilterKeyColumn(-1);
    proxy.setFilterCaseSensitivity(Qt::CaseInsensitive);
    model.loadHeaderTexts();

    model.setControllers(siteOf(200));
    ASSERT_EQ(model.rowCount(), 200);
    EXPECT_EQ(model.columnCount(), int(SiteTableModel::columns().size()));
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), QString("Serial number"));
    EXPECT_EQ(cell(model, 0, 0), QString("10-00001"));
    const auto present = [](PlanField f) { return SiteTableModel::plannedColumn(f) - 1; };
    EXPECT_EQ(cell(model, 0, present(PlanField::UseDhcp)), QString("Yes"));  // DHCP as the catalogue's Yes/No
    EXPECT_EQ(cell(model, 5, present(PlanField::DnsServer)), QString());  // 0.0.0.0 shows empty, as in the search list
    EXPECT_EQ(cell(model, 5, present(PlanField::HostName)), QString("unit6"));  // host name and domain from the DNS name
    EXPECT_EQ(cell(model, 5, present(PlanField::Domain)), QString("plant.example"));

    // By IP address: by the address's value, so 10.40.0.9 comes before 10.40.0.10.
    const int ipColumn = present(PlanField::IpAddress);
    proxy.sort(ipColumn, Qt::AscendingOrder);
    EXPECT_EQ(cell(proxy, 8, ipColumn), QString("10.40.0.9"));
    EXPECT_EQ(cell(proxy, 9, ipColumn), QString("10.40.0.10"));
    proxy.sort(ipColumn, Qt::DescendingOrder);
    EXPECT_EQ(cell(proxy, 0, ipColumn), QString("10.40.1.100"));

    proxy.setFilterFixedString("UNIT 117");  // any column, any case
    EXPECT_EQ(proxy.rowCount(), 1);
    proxy.setFilterFixedString("10.40.1.");
    EXPECT_EQ(proxy.rowCount(), 100);
    proxy.setFilterFixedString({});

    // A search again keeps what was planned for each controller, whatever its place.
    QString problem;
    ASSERT_TRUE(model.setPlanned(10, PlanField::Name, "Boiler 11", problem));
    auto again = siteOf(200);
    std::reverse(again.begin(), again.end());
    model.setControllers(again);
    EXPECT_EQ(model.rows()[std::size_t(model.rowOfSerial("10-00011"))].plannedOf(PlanField::Name), QString("Boiler 11"));
}

TEST(SiteTableModel, PlannedValuesAreJudgedCellByCellAsTyped) {
    SiteTableModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.setControllers(siteOf(3));
    QSignalSpy refused(&model, &SiteTableModel::editRefused);
    const auto plannedCell = [&](int row, PlanField f) { return model.index(row, SiteTableModel::plannedColumn(f)); };

    struct Case {
        PlanField field;
        QString typed;
        bool taken;
    } cases[] = {
        {PlanField::Name, QString(65, 'x'), false},          // longer than 64 bytes
        {PlanField::Name, "Pump\x07", false},                // a control character
        {PlanField::IpAddress, "10.40.0.300", false},
        {PlanField::SubnetMask, "255.0.255.0", false},
        {PlanField::UseDhcp, "maybe", false},
        {PlanField::HostName, "no_such_host!", false},
        {PlanField::MainComputer, "10.40.0.200", true},
        {PlanField::UseDhcp, "nej", true},                    // kept as false
        {PlanField::IpAddress, " 10.40.7.7 ", true},          // blanks around an address dropped
        {PlanField::Name, " Pannrum 1 ", true},               // a text kept as typed
    };
    int refusals = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        EXPECT_EQ(model.setData(plannedCell(1, c.field), c.typed), c.taken);
        refusals += c.taken ? 0 : 1;
        EXPECT_EQ(refused.count(), refusals);
    }
    const sitemodel::SiteRow& row = model.rows()[1];
    EXPECT_EQ(row.plannedOf(PlanField::UseDhcp), QString("false"));
    EXPECT_EQ(row.plannedOf(PlanField::IpAddress), QString("10.40.7.7"));
    EXPECT_EQ(row.plannedOf(PlanField::Name), QString(" Pannrum 1 "));
    EXPECT_EQ(cell(model, 1, SiteTableModel::plannedColumn(PlanField::UseDhcp)), QString("No"));
    // A planned value that differs is marked; one as it is, is not.
    EXPECT_TRUE(model.data(plannedCell(1, PlanField::IpAddress), Qt::BackgroundRole).isValid());
    ASSERT_TRUE(model.setData(plannedCell(2, PlanField::Gateway), "10.40.0.254"));
    EXPECT_FALSE(model.data(plannedCell(2, PlanField::Gateway), Qt::BackgroundRole).isValid());
    // An empty value clears the cell.
    ASSERT_TRUE(model.setData(plannedCell(1, PlanField::Name), ""));
    EXPECT_TRUE(model.rows()[1].plannedOf(PlanField::Name).isEmpty());
    // Present values are not editable.
    EXPECT_FALSE(model.flags(model.index(1, SiteTableModel::plannedColumn(PlanField::Name) - 1)) & Qt::ItemIsEditable);
}

TEST(SiteTableModel, PlansInAndOutAndProblemsAtTheirCells) {
    SiteTableModel model;
    model.setControllers(siteOf(4));
    const std::string file = site::csv::line({"SerialNo", "Name", "IpAddress", "DnsName", "UseDhcp"}) +
                             site::csv::line({"1000002", "Fläkt 2", "10.40.0.22", "fan2.plant.example", "FALSKT"}) +
                             site::csv::line({"10-00099", "Elsewhere", "", "", ""});
    model.loadPlan(site::readPlan(file));
    ASSERT_EQ(model.rowCount(), 5) << "a serial number not found gets a row of its own";
    const sitemodel::SiteRow& two = model.rows()[1];  // "1000002" is 10-00002
    EXPECT_EQ(two.plannedOf(PlanField::Name), QString("Fläkt 2"));
    EXPECT_EQ(two.plannedOf(PlanField::HostName), QString("fan2"));
    EXPECT_EQ(two.plannedOf(PlanField::Domain), QString("plant.example"));
    EXPECT_EQ(two.plannedOf(PlanField::UseDhcp), QString("false"));
    EXPECT_FALSE(model.rows()[4].found);

    // The plan the table makes reads back as the same planned values.
    std::map<int, std::string> serialOfRow;
    const site::SitePlan plan = sitemodel::planOf(model.rows(), &serialOfRow);
    ASSERT_EQ(plan.rows.size(), 2u);
    EXPECT_EQ(serialOfRow[2], "10-00002");
    const site::SitePlan back = site::readPlan(sitemodel::planFileText(model.rows()));
    ASSERT_TRUE(back.problems.empty());
    EXPECT_EQ(back.rows[0].cells.at(site::Column::EthernetAddress), two.now.ethernetAddress);
    EXPECT_EQ(sitemodel::plannedValuesOf(back.rows[0]), two.planned);

    model.showProblems({{2, "IpAddress", site::phrase(site::Say::PlannedTwice, {"10.40.0.22", "2, 3"})},
                        {3, "SerialNo", site::phrase(site::Say::NotFound, {"10-00099"})}},
                       serialOfRow);
    EXPECT_EQ(model.data(model.index(1, SiteTableModel::plannedColumn(PlanField::IpAddress)), Qt::ToolTipRole).toString(),
              QString("10.40.0.22 is planned for 10-00002, 10-00099"));  // rows named by their controllers
    EXPECT_EQ(model.rows()[4].rowProblem, QString("no controller 10-00099 was found"));
    EXPECT_EQ(model.rows()[4].state, sitemodel::RowState::Problem);
    // Editing the cell takes its problem away.
    QString problem;
    ASSERT_TRUE(model.setPlanned(1, PlanField::IpAddress, "10.40.0.23", problem));
    EXPECT_TRUE(model.rows()[1].problemOf(PlanField::IpAddress).isEmpty());
}

TEST(AddressNumbering, TheNextFreeAddressesAfterTheFirst) {
    const auto taken = std::set<std::uint32_t>{*net::ipv4::parse("10.40.0.12"), *net::ipv4::parse("10.40.0.13")};
    EXPECT_EQ(sitemodel::nextFreeAddresses("10.40.0.10", "255.255.255.0", 4, taken),
              (QStringList{"10.40.0.11", "10.40.0.14", "10.40.0.15", "10.40.0.16"}));
    // Not past the network's broadcast address.
    EXPECT_EQ(sitemodel::nextFreeAddresses("10.40.0.253", "/24", 5, {}), QStringList{"10.40.0.254"});
    EXPECT_FALSE(sitemodel::nextFreeAddresses("10.40.0.x", "/24", 2, {}));
}

TEST(SiteTexts, EveryTextOfTheWindowIsInBothCatalogues) {
    std::vector<int> numbers;
    for (const auto& [first, last] : std::vector<std::pair<int, int>>{
             {4600, 4604}, {4610, 4629}, {4631, 4650}, {4660, 4679}, {4680, 4685}, {4687, 4703}, {4706, 4723}})
        for (int n = first; n <= last; ++n)
            numbers.push_back(n);
    const QByteArray language = qgetenv("ZELMAR_LANG");
    std::map<int, QString> english;
    for (const char* lang : {"en", "sv"}) {
        qputenv("ZELMAR_LANG", lang);
        for (int n : numbers) {
            const QString t = sitemodel::text(sitemodel::Text(n));
            EXPECT_FALSE(t.isEmpty()) << lang << " " << n;
            if (std::string(lang) == "en")
                english[n] = t;
        }
    }
    qputenv("ZELMAR_LANG", language);
    EXPECT_EQ(english[4600], QString("Zelmar TCP/IP Site Commissioning"));
}

TEST(SiteReport, ThePdfHasAPageForAbout40ControllersAndTheCsvEveryRow) {
    std::vector<sitemodel::SiteRow> rows;
    for (const auto& r : siteOf(120)) {
        sitemodel::SiteRow row;
        row.now = r;
        row.found = true;
        row.before = r;
        row.now.name += " (new)";
        row.state = sitemodel::RowState::Applied;
        rows.push_back(row);
    }
    QTemporaryDir dir;
    QString error;
    const QString pdf = QDir(dir.path()).filePath("report.pdf");
    sitemodel::ReportInfo info;
    info.title = "Site report";
    ASSERT_TRUE(sitemodel::writeReportPdf(pdf, rows, info, error)) << error.toStdString();
    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF-"));
    const int pages = int(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") + bytes.count("/Type /Page ") +
                          bytes.count("/Type /Page/"));
    EXPECT_GE(pages, 2) << "120 controllers on one page";
    EXPECT_LE(pages, 4) << "fewer than 30 controllers a page";

    const QString csv = QDir(dir.path()).filePath("report.csv");
    ASSERT_TRUE(sitemodel::writeReportCsv(csv, rows, error));
    QFile back(csv);
    ASSERT_TRUE(back.open(QIODevice::ReadOnly));
    const QByteArray text = back.readAll();
    const site::csv::Table table = site::csv::read(std::string_view(text.constData(), std::size_t(text.size())));
    ASSERT_EQ(table.records.size(), 121u);
    const int nameBefore = int(sitemodel::reportHeader().indexOf("Name before"));
    EXPECT_EQ(table.records[1].fields[std::size_t(nameBefore)], "Unit 1");
    EXPECT_EQ(table.records[1].fields[std::size_t(nameBefore) + 1], "Unit 1 (new)");
}
