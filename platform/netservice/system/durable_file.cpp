#include "platform/netservice/system/durable_file.h"

#include <QFileInfo>
#include <QSaveFile>

#include "platform/netservice/system/udp_platform.h"

namespace zelmar::net {

bool replaceFileDurably(const std::string& path, const std::string& contents, std::string* error) {
    QSaveFile file(QString::fromStdString(path));
    // Without a commit the temporary file is removed and the old file stays as it was.
    auto fail = [&](const char* step) {
        if (error)
            *error = std::string(step) + " " + path + ": " + file.errorString().toStdString();
        return false;
    };
    if (!file.open(QIODevice::WriteOnly))
        return fail("open");
    if (file.write(contents.data(), qint64(contents.size())) != qint64(contents.size()))
        return fail("write");
    if (!file.commit())  // flushes the file to the disk, then renames it over the old one
        return fail("replace");
    platform::flushFolder(QFileInfo(file.fileName()).absolutePath().toStdString());
    return true;
}

}  // namespace zelmar::net
