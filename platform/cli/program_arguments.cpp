#include "platform/cli/program_arguments.h"

#include <QCoreApplication>
#include <QStringDecoder>
#include <cstring>

namespace zelmar::cli {

namespace {
constexpr char16_t kByteEscape = 0xDC00;  // + byte: U+DC80 to U+DCFF

#ifndef Q_OS_WIN
QString argumentText(const char* bytes) {
    const QByteArrayView view(bytes, qsizetype(std::strlen(bytes)));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(view);
    if (!utf8.hasError())
        return text;
    QString escaped;
    for (const char c : view) {
        const auto byte = static_cast<unsigned char>(c);
        escaped += byte < 0x80 ? QChar(byte) : QChar(char16_t(kByteEscape + byte));
    }
    return escaped;
}
#endif
}  // namespace

QStringList programArguments(int argc, char** argv) {
#ifdef Q_OS_WIN
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    return QCoreApplication::arguments();
#else
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << argumentText(argv[i]);
    return arguments;
#endif
}

std::string argumentBytes(const QString& argument) {
    if (argument.isValidUtf16())
        return argument.toStdString();
    std::string bytes;
    QString text;  // the run of characters since the last escaped byte
    for (const QChar c : argument) {
        const char16_t u = c.unicode();
        if (u < kByteEscape + 0x80 || u > kByteEscape + 0xFF) {
            text += c;
            continue;
        }
        bytes += text.toStdString();
        text.clear();
        bytes += char(u - kByteEscape);
    }
    return bytes + text.toStdString();
}

}  // namespace zelmar::cli
