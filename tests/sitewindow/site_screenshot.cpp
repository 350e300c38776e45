// Renders the site window headless, over a simulated fleet on loopback, into
// a PNG for the documentation: a search, a plan for some controllers with one
// mistake found by the check, the rest applied.
//   QT_QPA_PLATFORM=offscreen ZELMAR_LANG=sv site-screenshot out.png [report.pdf]
// The second argument also writes the site report (and its CSV beside it).
#include <QHeaderView>
#include <QTableView>
#include <QTest>

#include "platform/ui/modal_seam.h"
#include "simulator/sim_fleet.h"
#include "site/csv.h"
#include "sitemodel/site_report.h"
#include "sitemodel/site_texts.h"
#include "sitewindow/site_window.h"
#include "tests/common/sim_site.h"
#include "tests/dialogs/screenshot_app.h"
#include "tests/sitewindow/site_window_wait.h"

namespace {
void trigger(zelmar::sitewindow::SiteWindow& w, const char* action) {
    w.findChild<QAction*>(QString::fromLatin1(action))->trigger();
    zelmar::testing::waitUntilIdle(w);
}
}  // namespace

int main(int argc, char** argv) {
    zelmar::screenshot::ScreenshotApp app(argc, argv);
    const char* output = app.outputPath();
    if (!output)
        return 2;
    zelmar::sim::GenerateOptions options;
    options.firstAddress = "127.78.0.1";
    auto fleet = zelmar::sim::SimFleet::generate(14, options);
    fleet.start();
    zelmar::sitewindow::SiteWindow w(zelmar::testing::quickSearchConfig(fleet));
    w.resize(1180, 520);
    w.show();
    trigger(w, "actionSearch");

    // Plan: new names and addresses for the controllers with fixed addresses; two of
    // them get one address at first, so that the check shows where.
    zelmar::sitemodel::SiteTableModel& model = w.model();
    std::vector<int> planned;
    for (int r = 0; r < model.rowCount(); ++r) {
        const auto& now = model.rows()[std::size_t(r)].now;
        if (now.useDhcp || now.subnetMask == "0.0.0.0")
            continue;
        QString problem;
        const int n = int(planned.size()) + 1;
        model.setPlanned(r, zelmar::sitemodel::PlanField::Name, QStringLiteral("AHU %1").arg(n), problem);
        model.setPlanned(r, zelmar::sitemodel::PlanField::IpAddress, QStringLiteral("10.20.60.%1").arg(n == 5 ? 14 : 10 + n),
                         problem);
        planned.push_back(r);
    }
    trigger(w, "actionCheck");
    if (const char* report = argc > 2 ? argv[2] : nullptr) {
        QString problem;
        model.setPlanned(planned.at(4), zelmar::sitemodel::PlanField::IpAddress, QStringLiteral("10.20.60.15"), problem);
        trigger(w, "actionApply");
        QString error;
        zelmar::sitemodel::ReportInfo info;
        info.title = zelmar::sitemodel::text(zelmar::sitemodel::TextReportTitle);
        info.searched = zelmar::sitemodel::searchedTargets(w.session().config());
        QString base = QString::fromLocal8Bit(report);
        base.chop(4);
        if (!zelmar::sitemodel::writeReportPdf(base + QStringLiteral(".pdf"), model.rows(), info, error) ||
            !zelmar::sitemodel::writeReportCsv(base + QStringLiteral(".csv"), model.rows(), error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
    }
    auto* table = w.findChild<QTableView*>(QStringLiteral("siteTable"));
    table->resizeColumnsToContents();
    return zelmar::screenshot::savePicture(w, output) ? 0 : 1;
}
