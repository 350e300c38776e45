// The plan's file format and checks, without any network: the CSV reader and
// writer, reading a plan, and checking it against controllers as found.
#include <gtest/gtest.h>

#include "site/csv.h"
#include "site/plan_check.h"
#include "site/site_plan.h"

using namespace zelmar::site;

namespace {
// A fixed controller on 10.20.0.0/16, as a search reports it.
ControllerRecord controller(const std::string& serial, const std::string& ip) {
    ControllerRecord r;
    r.serialNo = serial;
    r.ethernetAddress = "00-1A-4C-00-00-" + serial.substr(serial.size() - 2);
    r.name = "Boiler " + serial;
    r.ipAddress = ip;
    r.subnetMask = "255.255.0.0";
    r.gateway = "10.20.0.1";
    r.dnsServer = "10.20.0.2";
    r.capabilities = 8;
    return r;
}

// "row N, Column: text" of every problem, for compact expectations.
std::vector<std::string> problemsOf(const std::vector<PlanProblem>& problems) {
    std::vector<std::string> out;
    for (const PlanProblem& p : problems)
        out.push_back(std::to_string(p.row) + "," + p.column);
    return out;
}

PlanCheck check(const std::string& csvText, const std::vector<ControllerRecord>& found, bool password = false) {
    return checkPlan(readPlan(csvText), found, password);
}
}  // namespace

TEST(Csv, ReadsWhatSpreadsheetsWrite) {
    // Byte-order mark, ";" separator, quoted separators, doubled quotes, a line
    // break inside a quoted field, CRLF, Swedish text, a blank line, no final line end.
    const std::string text =
        "\xEF\xBB\xBFSerialNo;Name;Description\r\n"
        "10-00001;\"Pannrum; hus 3\";\"Säg \"\"hej\"\"\"\r\n"
        "10-00002;Fläkt;\"två\r\nrader\"\r\n"
        "\r\n"
        "10-00003;;Kylmaskin, norr";
    const csv::Table t = csv::read(text);
    ASSERT_TRUE(t.error.empty()) << english(t.error);
    EXPECT_EQ(t.separator, ';');
    ASSERT_EQ(t.records.size(), 4u);
    EXPECT_EQ(t.records[0].fields[0], "SerialNo");  // the mark is not part of the first name
    EXPECT_EQ(t.records[1].fields, (std::vector<std::string>{"10-00001", "Pannrum; hus 3", "Säg \"hej\""}));
    EXPECT_EQ(t.records[2].fields[2], "två\r\nrader");
    EXPECT_EQ(t.records[3].row, 5);  // the blank line keeps its row number
    EXPECT_EQ(t.records[3].fields, (std::vector<std::string>{"10-00003", "", "Kylmaskin, norr"}));
}

TEST(Csv, WrittenFieldsReadBackAndFaultsNameTheirRow) {
    const std::vector<std::string> tricky = {"plain", "a,b", "say \"x\"", "two\nlines", "", "åäö;ÅÄÖ"};
    const std::string text = csv::line({"A", "B", "C", "D", "E", "F"}) + csv::line(tricky);
    EXPECT_EQ(csv::line(tricky), "plain,\"a,b\",\"say \"\"x\"\"\",\"two\nlines\",,åäö;ÅÄÖ\r\n");
    const csv::Table t = csv::read(text);
    ASSERT_TRUE(t.error.empty());
    EXPECT_EQ(t.separator, ',');
    ASSERT_EQ(t.records.size(), 2u);
    EXPECT_EQ(t.records[1].fields, tricky);

    const csv::Table open = csv::read("A,B\n1,2\n3,\"never closed\n4,5\n");
    EXPECT_EQ(english(open.error), "a quoted field is not closed");
    EXPECT_EQ(open.errorRow, 3);
    const csv::Table after = csv::read("A,B\n\"x\"y,2\n");
    EXPECT_FALSE(after.error.empty());
    EXPECT_EQ(after.errorRow, 2);
    EXPECT_EQ(after.errorField, 1);
    // A bare quote inside an unquoted field is refused, as a spreadsheet's reader refuses it.
    const csv::Table bare = csv::read("A,B\n10-00002,D\"2\n");
    EXPECT_EQ(english(bare.error), "a quote inside a field that is not enclosed in quotes");
    EXPECT_EQ(bare.errorRow, 2);
    EXPECT_EQ(bare.errorField, 2);
}

TEST(SitePlan, ColumnsInAnyOrderUnknownOnesNamed) {
    const SitePlan plan = readPlan("Name,SerialNo,IpAddress\n Pump 1 ,10-00001, 10.20.1.1 \n,10-00002,\n");
    ASSERT_TRUE(plan.problems.empty());
    ASSERT_EQ(plan.rows.size(), 2u);
    EXPECT_EQ(plan.rows[0].serialNo, "10-00001");
    EXPECT_EQ(plan.rows[0].cells.at(Column::Name), " Pump 1 ");  // texts as typed
    EXPECT_EQ(plan.rows[0].cells.at(Column::IpAddress), "10.20.1.1");
    EXPECT_TRUE(plan.rows[1].cells.count(Column::IpAddress) == 0);  // empty: leave as it is

    const SitePlan unknown = readPlan("SerialNo,Colour,IP\n10-00001,red,1\n");
    ASSERT_EQ(unknown.problems.size(), 1u);
    EXPECT_EQ(unknown.problems[0].row, 1);
    EXPECT_EQ(unknown.problems[0].text(), "unknown columns: Colour, IP");

    EXPECT_EQ(problemsOf(readPlan("Name\nx\n").problems), (std::vector<std::string>{"1,"}));
    // Saved in an 8-bit code page: "Värmecentral" with a Latin-1 "ä".
    EXPECT_EQ(problemsOf(readPlan("SerialNo,Name\n10-00001,ok\n10-00002,V\xE4rmecentral\n").problems),
              (std::vector<std::string>{"3,"}));
    EXPECT_EQ(problemsOf(readPlan("SerialNo,Name\n10-00001,a\n,b\n10-00001,c\n10-00002,d,extra\n").problems),
              (std::vector<std::string>{"3,SerialNo", "4,SerialNo", "5,"}));
}

TEST(SitePlan, RowsThatCannotBeReadAreNamedWithTheirRowAndColumn) {
    const SitePlan bare = readPlan("SerialNo,Name\n10-00001,ok\n10-00002,D\"2\n");
    ASSERT_EQ(bare.problems.size(), 1u);
    EXPECT_EQ(bare.problems[0].row, 3);
    EXPECT_EQ(bare.problems[0].column, "Name");
    EXPECT_TRUE(bare.rows.empty()) << "a file with a fault gives no rows to set up";

    // Fewer cells than the header: refused; empty cells written out are fine.
    const SitePlan shortRow = readPlan("SerialNo,Name,IpAddress\n10-00001,,\n10-00002,Pump\n");
    EXPECT_EQ(problemsOf(shortRow.problems), (std::vector<std::string>{"3,"}));
    EXPECT_EQ(shortRow.problems[0].text(), "2 cells where the header has 3 columns");

    const SitePlan empty = readPlan("SerialNo,Name\r\n\r\n");
    ASSERT_EQ(empty.problems.size(), 1u);
    EXPECT_EQ(empty.problems[0].text(), "the plan has no rows: below its header there is no controller");

    const SitePlan longSerial = readPlan("SerialNo,Name\n" + std::string(40, '7') + ",x\n");
    EXPECT_EQ(problemsOf(longSerial.problems), (std::vector<std::string>{"2,SerialNo"}));
    EXPECT_EQ(longSerial.problems[0].text().rfind("the serial number ", 0), 0u) << longSerial.problems[0].text();
}

TEST(SitePlan, AWrittenPlanReadsBackAsTheSameRows) {
    PlanRow a{0, "10-00001", {{Column::Name, "Pannrum; \"hus\" 3"}, {Column::IpAddress, "10.20.1.1"}}};
    PlanRow b{0, "10-00002", {{Column::UseDhcp, "true"}, {Column::Description, "två\nrader"}}};
    const std::string text = writePlan({a, b}, {Column::Name, Column::Description, Column::UseDhcp, Column::IpAddress});
    EXPECT_EQ(text.substr(0, text.find("\r\n")), "SerialNo,Name,Description,UseDhcp,IpAddress");
    SitePlan back = readPlan(text);
    ASSERT_TRUE(back.problems.empty()) << back.problems.front().text();
    for (PlanRow& r : back.rows)
        r.cells.erase(Column::SerialNo);  // the key, kept among the cells as read
    ASSERT_EQ(back.rows.size(), 2u);
    EXPECT_EQ(back.rows[0].cells, a.cells);
    EXPECT_EQ(back.rows[1].serialNo, "10-00002");
    EXPECT_EQ(back.rows[1].cells, b.cells);
    // One cell judged alone, as the window judges an edit.
    EXPECT_EQ(english(cellProblem(Column::SubnetMask, "255.0.255.0")), "\"255.0.255.0\" is not a subnet mask");
    EXPECT_EQ(english(cellProblem(Column::Name, std::string(65, 'x'))), "is longer than 64 bytes");
    EXPECT_TRUE(cellProblem(Column::IpAddress, "10.20.1.1").empty());
}

TEST(PlanCheck, ValuesWrongInThemselvesAreFoundWithoutAnyController) {
    const std::string nul("Pump\0 7", 7);
    const SitePlan plan = readPlan(
        "SerialNo,Name,IpAddress,SubnetMask,Gateway,UseDhcp,RequireEncryption,EthernetAddress\n"
        "10-00001," + std::string(10 << 20, 'n') + ",,,,,,\n"        // a 10 MB name
        "10-00002," + nul + ",10.20.1.2,255.255.0.0,,,,\n"           // a NUL byte
        "10-00003,,10.20.1.300,/33,,perhaps,,00-1A\n"                // address, mask, Boolean, Ethernet
        "10-00004,,10.20.1.4,255.255.255.0,10.30.0.1,false,,\n"      // a gateway outside the network
        "10-00005,,10.20.1.2,,,,true,\n"                             // row 3's address; encryption, no password
        "10-00006,,10.20.9.9,,,true,,\n");                            // by DHCP: its cells are not fixed ones
    ASSERT_TRUE(plan.problems.empty());
    const std::vector<PlanProblem> problems = checkPlanValues(plan, false);
    EXPECT_EQ(problemsOf(problems),
              (std::vector<std::string>{"2,Name", "3,Name", "3,IpAddress", "4,EthernetAddress", "4,UseDhcp",
                                        "4,IpAddress", "4,SubnetMask", "5,Gateway", "6,RequireEncryption",
                                        "6,IpAddress"}));
    EXPECT_EQ(problems[0].text(), "is longer than 64 bytes");
    EXPECT_EQ(problems[2].text(), "10.20.1.2 is planned for rows 3, 6");
    // The password given, row 6 loses its encryption problem only.
    EXPECT_EQ(checkPlanValues(plan, true).size(), problems.size() - 1);
}

TEST(PlanCheck, ValuesByTheControllersRules) {
    const std::vector<ControllerRecord> found = {controller("10-00001", "10.20.1.1"), controller("10-00002", "10.20.1.2"),
                                                 controller("10-00003", "10.20.1.3")};
    const PlanCheck c = check(
        "SerialNo,IpAddress,SubnetMask,Gateway,UseDhcp,DnsName,Name\n"
        "10-00001,10.20.1.255,255.255.255.0,10.20.1.1,,,\n"   // the broadcast address of its /24
        "10-00002,10.20.1.2,255.0.255.0,,,,\n"                // not a contiguous mask
        "10-00003,10.30.1.3,,,maybe,no_such_host!," + std::string(65, 'x') + "\n",  // gateway left outside; not a
        found);                                                                     // Boolean; not a host name; too long
    EXPECT_EQ(problemsOf(c.problems),
              (std::vector<std::string>{"2,IpAddress", "3,SubnetMask", "4,UseDhcp", "4,Gateway", "4,Name", "4,DnsName"}));
    EXPECT_EQ(c.problems[4].text(), "is longer than 64 bytes");
    for (const PlannedSetup& s : c.setups)
        EXPECT_TRUE(s.fields.empty()) << "row " << s.row << ": a row at fault is not set up";
}

TEST(PlanCheck, AddressesTakenTwiceOrByAnotherController) {
    const std::vector<ControllerRecord> found = {controller("10-00001", "10.20.1.1"), controller("10-00002", "10.20.1.2"),
                                                 controller("10-00003", "10.20.1.3"), controller("10-00004", "10.20.1.4")};
    // Row 2 takes the address row 3 keeps; row 4 takes the one of 10-00004, which is not in the plan.
    const PlanCheck c = check("SerialNo,IpAddress\n10-00001,10.20.1.2\n10-00002,\n10-00003,10.20.1.4\n", found);
    EXPECT_EQ(problemsOf(c.problems), (std::vector<std::string>{"2,IpAddress", "3,IpAddress", "4,IpAddress"}));
    EXPECT_EQ(c.problems.back().text(), "10.20.1.4 is in use by the controller 10-00004, which is not in the plan");

    // Swapping two addresses within the plan is fine.
    EXPECT_TRUE(check("SerialNo,IpAddress\n10-00001,10.20.1.2\n10-00002,10.20.1.1\n", found).problems.empty());
}

TEST(PlanCheck, SerialsDhcpAndEncryption) {
    ControllerRecord dhcp = controller("10-00001", "10.20.0.101");
    dhcp.useDhcp = true;
    ControllerRecord locked = controller("10-00002", "10.20.1.2");
    locked.requireEncryption = true;
    ControllerRecord plain = controller("10-00003", "10.20.1.3");
    plain.capabilities = 0;
    const std::vector<ControllerRecord> found = {dhcp, locked, plain};

    const PlanCheck c = check(
        "SerialNo,UseDhcp,IpAddress,RequireEncryption,Name\n"
        "10-00001,false,,,\n"          // leaving DHCP without a fixed address
        "10-00002,,,,New\n"            // requires encryption: the password is needed
        "10-00003,,,TRUE,\n"           // cannot encrypt
        "10-09999,,,,\n",              // not found
        found);
    EXPECT_EQ(problemsOf(c.problems),
              (std::vector<std::string>{"2,IpAddress", "2,SubnetMask", "3,", "4,RequireEncryption", "5,SerialNo"}));

    // With the password; the lease may stay in the cells of a DHCP controller.
    const PlanCheck ok = check(
        "SerialNo,UseDhcp,IpAddress,RequireEncryption,Name\n"
        "10-00001,true,10.20.0.101,,\n"
        "10-00002,,,,New\n",
        found, true);
    ASSERT_TRUE(ok.problems.empty());
    EXPECT_TRUE(ok.setups[0].fields.empty());
    EXPECT_EQ(ok.setups[1].fields.name, "New");
}

TEST(PlanCheck, OnlyWhatDiffersIsSetAndVerified) {
    ControllerRecord factoryNew = controller("10-00006", "0.0.0.0");
    factoryNew.subnetMask = factoryNew.gateway = factoryNew.dnsServer = "0.0.0.0";
    ControllerRecord dhcp = controller("10-00007", "10.20.0.107");
    dhcp.useDhcp = true;
    const std::vector<ControllerRecord> found = {controller("10-00001", "10.20.1.1"), factoryNew, dhcp};
    const PlanCheck c = check(
        "SerialNo,Name,IpAddress,SubnetMask,Gateway,UseDhcp\n"
        "10-00001,Boiler 10-00001,10.20.1.1,/16,10.20.0.1,false\n"  // as it is: nothing to send
        "10-00006,,,,,\n"                                          // factory-new, left alone: its 0.0.0.0 is no fault
        "10-00007,,10.20.7.7,255.255.0.0,,no\n",                   // leaves DHCP: all four fixed settings are sent
        found);
    ASSERT_TRUE(c.problems.empty()) << c.problems.front().text();
    EXPECT_TRUE(c.setups[0].fields.empty());
    EXPECT_TRUE(c.setups[1].fields.empty());
    const auto& f = c.setups[2].fields;
    EXPECT_EQ(f.useDhcp, false);
    EXPECT_EQ(f.configIpAddress, "10.20.7.7");
    EXPECT_EQ(f.configGateway, "10.20.0.1");  // the lease's, as the cell is empty
    EXPECT_EQ(f.configDnsServer, "10.20.0.2");

    ControllerRecord after = dhcp;
    after.useDhcp = false;
    after.ipAddress = "10.20.7.7";
    EXPECT_TRUE(differences(c.setups[2], after).empty());
    after.ipAddress = "10.20.7.8";
    EXPECT_EQ(differences(c.setups[2], after), (std::vector<std::string>{"IpAddress"}));
}

