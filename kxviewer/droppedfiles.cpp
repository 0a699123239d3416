#include "kxviewer/droppedfiles.h"

#include <dirent.h>
#include <sys/stat.h>

#include <string>

#include <QFile>

namespace {

// The path with every byte that is not printable ASCII as \xNN, so that the
// name of a file that cannot be decoded is still shown exactly.
QString EscapedPath(const std::string& path)
{
    QString shown;
    for (const unsigned char c : path) {
        if (c >= 0x20 && c < 0x7f)
            shown += QChar(c);
        else
            shown += QString::asprintf("\\x%02X", c);
    }
    return shown;
}

void AddFile(const std::string& path, DroppedFiles& out)
{
    const QString decoded = QFile::decodeName(path.c_str());
    if (QFile::encodeName(decoded).toStdString() == path)
        out.files.append(decoded);
    else
        out.undecodable.append(EscapedPath(path));
}

bool IsFolder(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Entry types from the directory itself where it gives them; one stat only
// for links and unknown types, so large trees are counted quickly.
void AddFolder(const std::string& folder, DroppedFiles& out)
{
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        out.unreadable.append(QFile::decodeName(folder.c_str()));
        return;
    }
    std::vector<std::string> subfolders;
    while (const dirent* entry = readdir(dir)) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        std::string path = folder;
        if (path.empty() || path.back() != '/')
            path += '/';
        path += name;
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN || type == DT_LNK) {
            struct stat st;
            if (lstat(path.c_str(), &st) != 0)
                continue;
            if (S_ISLNK(st.st_mode))
                type = stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? DT_REG : DT_LNK;
            else
                type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
        }
        if (type == DT_REG)
            AddFile(path, out);
        else if (type == DT_DIR)
            subfolders.push_back(std::move(path));
    }
    closedir(dir);
    for (const std::string& sub : subfolders)
        AddFolder(sub, out);
}

} // namespace

DroppedFiles CollectDroppedFiles(const QList<QUrl>& urls)
{
    DroppedFiles out;
    std::vector<std::string> folders;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile() || url.toLocalFile().isEmpty()) {
            out.notLocal.append(url.toDisplayString());
            continue;
        }
        // The path's own bytes: toLocalFile replaces those that are no UTF-8.
        std::string path = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
        if (IsFolder(path))
            folders.push_back(std::move(path));
        else
            AddFile(path, out);
    }
    for (const std::string& folder : folders)
        AddFolder(folder, out);
    return out;
}
