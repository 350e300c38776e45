#include "sitemodel/site_report.h"

#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextDocument>

#include "platform/netservice/search/adapters.h"
#include "platform/netservice/wire/ipv4.h"
#include "site/csv.h"
#include "sitemodel/report_face.h"
#include "sitemodel/site_table_model.h"
#include "sitemodel/site_texts.h"

namespace zelmar::sitemodel {

namespace {
constexpr const char* kAdaptersTarget = "adapters";

const std::pair<PlanField, const char*> kReported[] = {
    {PlanField::Name, "Name"},           {PlanField::Description, "Description"}, {PlanField::UseDhcp, "UseDhcp"},
    {PlanField::IpAddress, "IpAddress"}, {PlanField::SubnetMask, "SubnetMask"},   {PlanField::Gateway, "Gateway"},
    {PlanField::DnsServer, "DnsServer"}, {PlanField::HostName, "HostName"},       {PlanField::Domain, "Domain"},
    {PlanField::MainComputer, "MainComputerAddress"}};

const site::ControllerRecord& beforeOf(const SiteRow& row) { return row.before ? *row.before : row.now; }

QString html(const QString& s) { return s.toHtmlEscaped(); }

// "a -> b" where the value changed, else the value.
QString change(const QString& before, const QString& after) {
    return before == after ? html(after) : html(before) + QStringLiteral(" &rarr; <b>") + html(after) + QStringLiteral("</b>");
}
}  // namespace

QStringList searchedTargets(const net::ServiceConfig& config) {
    QStringList out;
    for (const std::string& target : config.searchTargets) {
        if (target != kAdaptersTarget) {
            out << QString::fromStdString(target);
            continue;
        }
        for (const net::Adapter& a : net::listAdapters()) {
            if (!net::searchesThrough(a))
                continue;
            for (const net::AdapterAddress& addr : a.ipv4)
                out << QStringLiteral("%1 %2/%3")
                           .arg(QString::fromStdString(a.displayName),
                                QString::fromStdString(net::ipv4::format(addr.address)),
                                QString::fromStdString(net::ipv4::format(addr.mask)));
        }
    }
    return out;
}

QStringList reportHeader() {
    QStringList h{QStringLiteral("SerialNo"), QStringLiteral("EthernetAddress")};
    for (const auto& [field, name] : kReported)
        h << QString::fromLatin1(name) + QStringLiteral(" before") << QString::fromLatin1(name) + QStringLiteral(" after");
    h << QStringLiteral("PortOsType") << QStringLiteral("PortOsRevision before") << QStringLiteral("PortOsRevision after")
      << QStringLiteral("Outcome") << QStringLiteral("Detail");
    return h;
}

QStringList reportCells(const SiteRow& row) {
    const site::ControllerRecord& before = beforeOf(row);
    QStringList c{QString::fromStdString(row.now.serialNo), QString::fromStdString(row.now.ethernetAddress)};
    for (const auto& [field, name] : kReported)
        c << (row.found ? presentPlanValue(before, field) : QString())
          << (row.found ? presentPlanValue(row.now, field) : QString());
    c << (row.found ? QString::number(row.now.portOsType) : QString()) << QString::fromStdString(before.portOsRevision)
      << QString::fromStdString(row.now.portOsRevision) << SiteTableModel::stateText(row.state) << row.detail;
    return c;
}

bool writeReportCsv(const QString& path, const std::vector<SiteRow>& rows, QString& error) {
    auto line = [](const QStringList& cells) {
        std::vector<std::string> fields;
        for (const QString& c : cells)
            fields.push_back(c.toStdString());
        return site::csv::line(fields);
    };
    std::string text = line(reportHeader());
    for (const SiteRow& row : rows)
        text += line(reportCells(row));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.data(), qint64(text.size())) != qint64(text.size()) ||
        !file.commit()) {
        error = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    return true;
}

bool writeReportPdf(const QString& path, const std::vector<SiteRow>& rows, const ReportInfo& info, QString& error) {
    QString body = QStringLiteral("<h2>%1</h2>").arg(html(info.title));
    body += QStringLiteral("<p>%1 %2<br>%3 %4<br>%5</p>")
                .arg(html(text(TextReportDate)), html(info.when.toString(QStringLiteral("yyyy-MM-dd HH:mm t"))),
                     html(text(TextReportSearched)), html(info.searched.join(QStringLiteral("; "))), html(info.totals));
    body += QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"1\" width=\"100%\"><thead><tr>");
    const Text headers[] = {TextHeaderSerialNo, TextHeaderName,      TextHeaderIpAddress, TextHeaderSubnetMask,
                            TextHeaderGateway,  TextHeaderDhcp,      TextHeaderRevision,  TextReportOutcome};
    for (Text h : headers)
        body += QStringLiteral("<th align=\"left\">%1</th>").arg(html(text(h)));
    body += QStringLiteral("</tr></thead>");
    for (const SiteRow& row : rows) {
        const site::ControllerRecord& before = beforeOf(row);
        auto cell = [&](PlanField f) {
            return row.found ? change(presentValue(before, f), presentValue(row.now, f)) : QString();
        };
        body += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td><td>%5</td><td>%6</td><td>%7</td><td>%8</td></tr>")
                    .arg(html(QString::fromStdString(row.now.serialNo)), cell(PlanField::Name), cell(PlanField::IpAddress),
                         cell(PlanField::SubnetMask), cell(PlanField::Gateway), cell(PlanField::UseDhcp),
                         change(QString::fromStdString(before.portOsRevision), QString::fromStdString(row.now.portOsRevision)),
                         html(SiteTableModel::stateText(row.state)));
    }
    body += QStringLiteral("</table>");

    QPdfWriter writer(path);
    writer.setTitle(info.title);
    writer.setCreator(QStringLiteral("zelmar-site"));
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(12, 12, 12, 12),
                                     QPageLayout::Millimeter));
    writer.setResolution(300);
    QTextDocument document;
    document.setDefaultFont(reportFace(8));
    document.setHtml(QStringLiteral("<html><body>%1</body></html>").arg(body));
    document.print(&writer);
    QFile written(path);
    if (!written.exists() || written.size() == 0) {
        error = path + QStringLiteral(": the report could not be written");
        return false;
    }
    return true;
}

}  // namespace zelmar::sitemodel
