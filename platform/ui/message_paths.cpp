#include "platform/ui/message_paths.h"

#include <QFileInfo>
#include <QTextBoundaryFinder>

namespace zelmar::ui {

namespace {
constexpr char16_t kNoBreakSpace = 0x00A0;
constexpr char16_t kWordJoiner = 0x2060;
// Words without the path's separator that a path may run over before a word
// that has it ("Zelmar TCP-IP Settings Tool\share").
constexpr int kMostPlainWords = 2;

bool opensPath(QChar c) { return c.isSpace() || QStringView(u"\"'([<=\u00AB\u201C\u2018").contains(c); }

// The separator of the path that starts at i; null where none starts.
QChar pathStartAt(const QString& t, qsizetype i) {
    const qsizetype n = t.size();
    if (i >= n || (i > 0 && !opensPath(t[i - 1])))
        return {};
    if (i + 2 < n && t[i].isLetter() && t[i].unicode() < 128 && t[i + 1] == u':' && (t[i + 2] == u'\\' || t[i + 2] == u'/'))
        return t[i + 2];  // a drive
    if (i + 2 < n && t[i] == u'\\' && t[i + 1] == u'\\' && !t[i + 2].isSpace())
        return u'\\';  // a network share
    if (i + 1 < n && t[i] == u'/' && t[i + 1] != u'/' && !t[i + 1].isSpace())
        return u'/';
    return {};
}

qsizetype wordEnd(const QString& t, qsizetype i) {
    while (i < t.size() && !t[i].isSpace())
        ++i;
    return i;
}

// [start, end) without the punctuation that closes the sentence or a bracket
// opened before the path.
qsizetype withoutClosingPunctuation(const QString& t, qsizetype start, qsizetype end) {
    while (end - start > 1) {
        const QChar c = t[end - 1];
        if (QStringView(u".,;:!?\"'\u00BB\u201D\u2019").contains(c)) {
            --end;
            continue;
        }
        const int pair = QStringView(u")]}>").indexOf(c);
        if (pair < 0)
            break;
        const QStringView span = QStringView(t).mid(start, end - start);
        if (span.count(QStringView(u"([{<").at(pair)) >= span.count(c))
            break;  // "C:\Program Files (x86)" keeps its bracket
        --end;
    }
    return end;
}

bool namesSomethingOnDisk(const QString& t, qsizetype start, qsizetype end) {
    return QFileInfo::exists(t.mid(start, withoutClosingPunctuation(t, start, end) - start));
}

// True for a word after which the sentence goes on without the path.
bool endsClause(QStringView word) { return QStringView(u".,;:!?").contains(word.back()); }
}  // namespace

QList<TextSpan> pathsInMessage(const QString& text) {
    QList<TextSpan> paths;
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar separator = pathStartAt(text, i);
        if (separator.isNull()) {
            ++i;
            continue;
        }
        const qsizetype start = i;
        qsizetype end = wordEnd(text, start);
        qsizetype at = end;
        int plainWords = 0;
        // On over single spaces of the same line, up to the last word that still belongs to the path.
        while (at + 1 < text.size() && text[at] == u' ' && !text[at + 1].isSpace() &&
               pathStartAt(text, at + 1).isNull()) {
            const qsizetype next = wordEnd(text, at + 1);
            const QStringView word = QStringView(text).mid(at + 1, next - at - 1);
            if (word.contains(separator) || namesSomethingOnDisk(text, start, next)) {
                end = next;
                plainWords = 0;
            } else if (++plainWords > kMostPlainWords || endsClause(word)) {
                break;
            }
            at = next;
        }
        end = withoutClosingPunctuation(text, start, end);
        paths.append({start, end});
        i = end;
    }
    return paths;
}

QString keepPathsWhole(const QString& text) {
    const QList<TextSpan> paths = pathsInMessage(text);
    if (paths.isEmpty())
        return text;
    // Where Qt's line breaking (the one the box lays its text out with) may break.
    QList<bool> mayBreakBefore(text.size() + 1, false);
    QTextBoundaryFinder lines(QTextBoundaryFinder::Line, text);
    for (qsizetype at = lines.toNextBoundary(); at >= 0; at = lines.toNextBoundary())
        mayBreakBefore[at] = true;

    QString shown;
    shown.reserve(text.size() + 16);
    qsizetype next = 0;  // the first path not yet passed
    for (qsizetype i = 0; i < text.size(); ++i) {
        while (next < paths.size() && paths[next].end <= i)
            ++next;
        const bool inPath = next < paths.size() && paths[next].start <= i;
        if (inPath && i > paths[next].start && mayBreakBefore[i] && text[i - 1] != u' ')
            shown += QChar(kWordJoiner);
        shown += inPath && text[i] == u' ' ? QChar(kNoBreakSpace) : text[i];
    }
    return shown;
}

}  // namespace zelmar::ui
