#pragma once
// The site report a technician hands to the customer after an apply or an
// upgrade: a CSV of every controller with its values before and after and
// its outcome, and a printable PDF with the date, what was searched, the
// totals and the table.
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <vector>

#include "platform/netservice/config/service_config.h"
#include "sitemodel/site_row.h"

namespace zelmar::sitemodel {

struct ReportInfo {
    QString title;
    QDateTime when = QDateTime::currentDateTime();
    QStringList searched;  // the adapters and targets the searches went to
    QString totals;
};

// Where the service's searches go, as a technician reads it: each adapter a
// search goes out through with its address and mask, and each other target.
QStringList searchedTargets(const net::ServiceConfig& config);

// The report's columns: SerialNo, EthernetAddress, each value before and
// after, the port OS type and revision before and after, outcome and detail.
QStringList reportHeader();
QStringList reportCells(const SiteRow& row);

bool writeReportCsv(const QString& path, const std::vector<SiteRow>& rows, QString& error);
bool writeReportPdf(const QString& path, const std::vector<SiteRow>& rows, const ReportInfo& info, QString& error);

}  // namespace zelmar::sitemodel
