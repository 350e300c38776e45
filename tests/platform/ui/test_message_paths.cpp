// Paths in messages: found in the text, and never broken when the real
// message box wraps it.
#include "platform/qorglib/user_dialogs.h"
#include "platform/ui/message_paths.h"
#include "platform/ui/modal_seam.h"
#include "tests/platform/ui/modal_answerer.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <gtest/gtest.h>

using namespace zelmar::ui;
using zelmar::testing::answerNextModal;

namespace {
constexpr char16_t kWordJoiner = 0x2060;
constexpr char16_t kNoBreakSpace = 0x00A0;

QStringList pathsOf(const QString& text) {
    QStringList out;
    for (const TextSpan& s : pathsInMessage(text))
        out << text.mid(s.start, s.end - s.start);
    return out;
}

// The shown text as it was written: joiners out, no-break spaces back to spaces.
QString written(QString shown) { return shown.remove(QChar(kWordJoiner)).replace(QChar(kNoBreakSpace), u' '); }

// The positions of the written text before which Qt's line breaking may
// break the shown text.
QList<qsizetype> breaksOfShown(const QString& shown) {
    QList<qsizetype> breaks;
    QTextBoundaryFinder lines(QTextBoundaryFinder::Line, shown);
    for (qsizetype at = lines.toNextBoundary(); at >= 0; at = lines.toNextBoundary())
        breaks << at - QStringView(shown).left(at).count(QChar(kWordJoiner));
    return breaks;
}

// The lines of `text` laid out `width` pixels wide in `font`, with word wrap as
// a message box's label has it: [start, end) in the text.
QList<TextSpan> linesOf(const QString& text, const QFont& font, int width) {
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    QList<TextSpan> lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        lines.append({line.textStart(), line.textStart() + line.textLength()});
    }
    layout.endLayout();
    return lines;
}

// True when a line of `lines` ends inside [start, end).
bool breaksInside(const QList<TextSpan>& lines, qsizetype start, qsizetype end) {
    for (const TextSpan& line : lines)
        if (line.end > start && line.end < end)
            return true;
    return false;
}
}  // namespace

TEST(MessagePaths, FindsDrivesSharesAndSlashPathsAtTheStartOfAWord) {
    EXPECT_EQ(pathsOf(QStringLiteral("The report was saved as C:\\Users\\tech\\site.csv and C:/Users/tech/site.pdf")),
              (QStringList{QStringLiteral("C:\\Users\\tech\\site.csv"), QStringLiteral("C:/Users/tech/site.pdf")}));
    EXPECT_EQ(pathsOf(QStringLiteral("Cannot open \\\\server\\plans\\north.csv: access denied")),
              QStringList{QStringLiteral("\\\\server\\plans\\north.csv")});
    EXPECT_EQ(pathsOf(QStringLiteral("Upgrade file: \"/home/tech/upgrades/7.TcpIpPortOS\".")),
              QStringList{QStringLiteral("/home/tech/upgrades/7.TcpIpPortOS")});
    EXPECT_EQ(pathsOf(QStringLiteral("over TCP/IP with 192.0.2.0/24, and/or 2:1 at 10:30")), QStringList{});
}

TEST(MessagePaths, RunOverSpacesToAWordThatContinuesThePath) {
    const QString text = QStringLiteral(
        "The upgrade folder C:\\Program Files\\Zelmar TCP-IP Settings Tool\\share is empty. See C:\\Users\\Anna Maria "
        "Svensson\\Documents.");
    EXPECT_EQ(pathsOf(text), (QStringList{QStringLiteral("C:\\Program Files\\Zelmar TCP-IP Settings Tool\\share"),
                                          QStringLiteral("C:\\Users\\Anna Maria Svensson\\Documents")}));
}

TEST(MessagePaths, RunOverSpacesOfAFileThatExists) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString report = QDir::toNativeSeparators(dir.filePath(QStringLiteral("north site report.csv")));
    QFile file(report);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QString absent = QDir::toNativeSeparators(dir.filePath(QStringLiteral("north site report.pdf")));
    // A name that does not exist ends at its first space: nothing says where it ends.
    EXPECT_EQ(pathsOf(QStringLiteral("Saved as %1 and %2.").arg(report, absent)),
              (QStringList{report, QDir::toNativeSeparators(dir.filePath(QStringLiteral("north")))}));
}

TEST(MessagePaths, ClosingPunctuationAndBracketsAreNotPartOfThePath) {
    EXPECT_EQ(pathsOf(QStringLiteral("(see C:\\plans\\north.csv), then C:\\Program Files (x86)\\Zelmar\\bin.")),
              (QStringList{QStringLiteral("C:\\plans\\north.csv"), QStringLiteral("C:\\Program Files (x86)\\Zelmar\\bin")}));
}

TEST(MessagePaths, NothingInsideAPathIsALineBreakAndTheRestIsUnchanged) {
    const QString text = QStringLiteral(
        "The report was saved as C:\\Users\\Anna Svensson\\Documents\\site-reports\\north_2024-05-01.csv and "
        "/home/anna/site-reports/north wing/2024-05-01.pdf; check them.");
    const QString shown = keepPathsWhole(text);
    EXPECT_EQ(written(shown), text);
    const QList<TextSpan> paths = pathsInMessage(text);
    ASSERT_EQ(paths.size(), 2);
    const QList<qsizetype> breaks = breaksOfShown(shown);
    for (const TextSpan& path : paths)
        for (qsizetype at : breaks)
            EXPECT_FALSE(at > path.start && at < path.end)
                << "a line may break before " << text.mid(at, 12).toStdString();
    // Outside the paths the text breaks where it did.
    EXPECT_TRUE(breaks.contains(text.indexOf(u"saved")));
    EXPECT_TRUE(breaks.contains(text.indexOf(u"check")));
    EXPECT_EQ(keepPathsWhole(QStringLiteral("No path here: 10:30, TCP/IP.")), QStringLiteral("No path here: 10:30, TCP/IP."));
}

TEST(RealMessageBox, WrapsALongMessageBetweenItsPathsNeverInsideThem) {
    ModalSeam::setStrict(false);
    // Reports just saved, in a folder and under names with spaces.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("Site reports")));
    QStringList saved;
    for (const char* suffix : {".csv", ".pdf"}) {
        const QString path = dir.filePath(QStringLiteral("Site reports/North building second floor") + QLatin1String(suffix));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        saved << QDir::toNativeSeparators(path);
    }
    const QString text = QStringLiteral("The report was saved as %1 and %2").arg(saved[0], saved[1]);
    const QList<TextSpan> paths = pathsInMessage(text);
    ASSERT_EQ(paths, (QList<TextSpan>{{24, 24 + saved[0].size()}, {text.size() - saved[1].size(), text.size()}}));

    QString shown, copied;
    bool wrapped = false, plainBreaksInside = false;
    QList<TextSpan> lines;
    answerNextModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        ASSERT_NE(label, nullptr);
        shown = label->text();
        wrapped = label->wordWrap();
        const int width = label->contentsRect().width();
        // The line ends of the shown text, as positions of the written text.
        for (TextSpan line : linesOf(shown, label->font(), width)) {
            line.end -= QStringView(shown).left(line.end).count(QChar(kWordJoiner));
            lines << line;
        }
        // Without the joiners, a line would end inside a path at that width.
        const QList<TextSpan> plain = linesOf(text, label->font(), width);
        for (const TextSpan& path : paths)
            plainBreaksInside |= breaksInside(plain, path.start, path.end);
        QGuiApplication::clipboard()->clear();
        QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
        copied = QGuiApplication::clipboard()->text();
        QTest::keyClick(box, Qt::Key_Return);
    });
    zelmar::qorg::userDialogs().tell(text, 2);

    EXPECT_EQ(written(shown), text);
    ASSERT_TRUE(wrapped) << "the message is too short to be wrapped";
    ASSERT_TRUE(plainBreaksInside) << "no line would break inside a path at this width anyway";
    EXPECT_GT(lines.size(), 1);
    for (const TextSpan& path : paths)
        EXPECT_FALSE(breaksInside(lines, path.start, path.end))
            << "a line breaks inside " << text.mid(path.start, path.end - path.start).toStdString();
#ifdef Q_OS_WIN
    // Qt copies a box's text with Ctrl+C on Windows: the paths as written.
    EXPECT_TRUE(copied.contains(text)) << copied.toStdString();
    EXPECT_FALSE(copied.contains(QChar(kWordJoiner)));
#endif
}
