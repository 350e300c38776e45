// The printed report is set in one face, the mark between a value before and
// after included, also where the application's face lacks that mark (Wine's
// faces: the mark then came from a mathematical face, wider, with taller rows).
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>

#include "sitemodel/report_face.h"
#include "sitemodel/site_report.h"

using namespace zelmar;
using sitemodel::faceHas;
using sitemodel::kChangeMark;

namespace {
// An installed face without the mark, or nothing (the host's DejaVu faces all have it).
QString faceWithoutMark() {
    for (const QString& family : QFontDatabase::families()) {
        const QFont font(family);
        if (QFontDatabase::isScalable(family) && !QFontDatabase::isPrivateFamily(family) && !faceHas(font, kChangeMark))
            return family;
    }
    return {};
}

// The fonts a PDF embeds: its /BaseFont names without the subset tag
// ("TahomaBold", "DejaVuSans-Bold": the family without spaces, then the style).
QStringList embeddedFonts(const QByteArray& pdf) {
    QStringList fonts;
    static const QRegularExpression baseFont(QStringLiteral("/BaseFont\\s*/(?:[A-Z]{6}\\+)?([^\\s/\\[\\]<>()]+)"));
    for (const QRegularExpressionMatch& m : baseFont.globalMatch(QString::fromLatin1(pdf)))
        if (!fonts.contains(m.captured(1)))
            fonts << m.captured(1);
    return fonts;
}

std::vector<sitemodel::SiteRow> changedRows() {
    std::vector<sitemodel::SiteRow> rows;
    for (int i = 1; i <= 6; ++i) {
        sitemodel::SiteRow row;
        row.found = true;
        row.now.serialNo = "10-0000" + std::to_string(i);
        row.now.name = "Unit " + std::to_string(i);
        row.now.ipAddress = "192.0.2." + std::to_string(10 + i);
        row.now.subnetMask = "255.255.255.0";
        row.now.portOsRevision = "3.1.0";
        row.before = row.now;
        row.before->ipAddress = "192.0.2." + std::to_string(100 + i);  // every row shows "before → after"
        row.state = sitemodel::RowState::Applied;
        rows.push_back(row);
    }
    return rows;
}
}  // namespace

TEST(ReportFace, HasTheChangeMarkAndIsTheApplicationsFaceWhenThatHasIt) {
    const QFont face = sitemodel::reportFace(8);
    EXPECT_TRUE(faceHas(face, kChangeMark)) << face.family().toStdString();
    EXPECT_EQ(face.pointSizeF(), 8.0);
    if (faceHas(QGuiApplication::font(), kChangeMark))
        EXPECT_EQ(face.family(), QGuiApplication::font().family());
}

TEST(ReportFace, ThePdfIsSetInOneFaceWhereTheApplicationsFaceLacksTheMark) {
    const QFont applicationFace = QGuiApplication::font();
    const auto restore = qScopeGuard([&] { QGuiApplication::setFont(applicationFace); });
    const QString without = faceWithoutMark();
    if (!without.isEmpty())
        QGuiApplication::setFont(QFont(without));  // as under Wine, where Tahoma lacks it
    const QFont face = sitemodel::reportFace(8);
    EXPECT_TRUE(faceHas(face, kChangeMark)) << face.family().toStdString();

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString pdf = QDir(dir.path()).filePath(QStringLiteral("report.pdf"));
    sitemodel::ReportInfo info;
    info.title = QStringLiteral("Site report");
    QString error;
    ASSERT_TRUE(sitemodel::writeReportPdf(pdf, changedRows(), info, error)) << error.toStdString();
    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList fonts = embeddedFonts(file.readAll());
    ASSERT_FALSE(fonts.isEmpty());
    const QString family = QFontInfo(face).family().remove(u' ');
    for (const QString& font : fonts)
        EXPECT_TRUE(font.startsWith(family)) << font.toStdString() << " beside the report's face " << family.toStdString()
                                             << " (the application's face: "
                                             << QGuiApplication::font().family().toStdString() << ")";
}
