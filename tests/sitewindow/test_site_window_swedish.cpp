// The site window in Swedish, against simulated controllers over UDP on
// loopback: the check's problems, a refused cell's message and an outcome's
// detail are Swedish, with no text of the English catalogue among them.
#include <QFile>
#include <QListWidget>
#include <QTableView>

#include "site/csv.h"
#include "tests/sitewindow/site_window_fixture.h"

using namespace zelmar;
using sitemodel::PlanField;
using sitemodel::SiteTableModel;
using zelmar::testing::SiteWindowTest;

namespace {
// The English catalogue's site window texts, each cut at its first argument: none may show in Swedish.
QStringList englishTexts() {
    QFile f(QStringLiteral(ZELMAR_TEST_DATA_DIR) + "/Prod/Texts/Zelmar TCP IP Settings Tool.en.txt");
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    QStringList texts;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const int tab = line.indexOf('\t');
        const int number = line.left(tab).toInt();
        if (tab < 0 || number < 4600)
            continue;
        QString text = QString::fromUtf8(line.mid(tab + 1)).section(QLatin1Char('%'), 0, 0).trimmed();
        if (text.size() >= 12)  // long enough to be English prose, not a shared word
            texts << text;
    }
    return texts;
}

void expectSwedish(const QString& shown, const QStringList& english) {
    for (const QString& e : english)
        EXPECT_FALSE(shown.contains(e)) << shown.toStdString() << "\n  holds the English \"" << e.toStdString() << "\"";
}
}  // namespace

TEST_F(SiteWindowTest, InSwedishTheProblemsTheRefusedCellAndTheOutcomesAreSwedish) {
    std::vector<sim::SimControllerState> site;
    for (int n = 1; n <= 3; ++n)
        site.push_back(zelmar::testing::officeController(n));
    auto fleet = zelmar::testing::startFleet(site);
    sitewindow::SiteWindow w(zelmar::testing::quickSearchConfig(fleet));
    ASSERT_TRUE(run(w, "actionSearch"));
    const QStringList english = englishTexts();
    ASSERT_GT(english.size(), 50);

    QTemporaryDir dir;
    auto* problems = w.findChild<QListWidget*>("problemsList");
    const auto check = [&](const char* plan) {
        ui::ModalSeam::pushInput(writeFile(dir, "plan.csv", plan));
        action(w, "actionOpenPlan")->trigger();
        EXPECT_TRUE(run(w, "actionCheck"));
        QStringList lines;
        for (int i = 0; i < problems->count(); ++i) {
            lines << problems->item(i)->text();
            expectSwedish(lines.back(), english);
        }
        return lines;
    };
    EXPECT_EQ(check("SerialNo,IpAddress\n10-00001,10.30.0.40\n10-00002,10.30.0.40\n"),
              (QStringList{"10-00001, Planerad IP-adress: 10.30.0.40 planeras för 10-00001, 10-00002",
                           "10-00002, Planerad IP-adress: 10.30.0.40 planeras för 10-00001, 10-00002"}));
    EXPECT_EQ(check("SerialNo,IpAddress\n10-00003,10.31.1.4\n"),
              QStringList{"10-00003, Planerad gateway: gatewayen är inte en annan värd i styrenhetens nätverk"});
    fleet.setOffline("10-00002", true);
    EXPECT_EQ(check("SerialNo,Name\n10-00002,Pump\n"),
              QStringList{"10-00002, Serienummer: ingen styrenhet 10-00002 hittades"});

    // A name too long for the controller: its field and controller named, in Swedish.
    ui::ModalSeam::pushButton(ui::ButtonOk);
    const int row = w.model().rowOfSerial("10-00001");
    EXPECT_FALSE(w.model().setData(w.model().index(row, SiteTableModel::plannedColumn(PlanField::Name)),
                                   QString(65, QLatin1Char('x'))));
    QTest::qWait(0);
    EXPECT_EQ(lastMessage(), QString("Planerat namn för 10-00001: är längre än 64 byte"));
}
