#include "BackgroundStore.h"

#include "engine/VideoSource.h"
#include "platform/Platform.h"

#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QImage>


#include <ctime>

namespace {

const char* const kUserFolder = "资源/Resource";
const char* const kUserThumbnailFolder = "资源/VideoPreview";
// Copies of the built-in backgrounds that older versions put into the user folder.
const QStringList kStaleNames = {"1.jpg", "2.jpg", "3.jpg", "4.jpg", "5.jpg", "video.mp4"};

bool removeStaleFiles(const QList<QFileInfo>& files)
{
    bool removed = false;
    for (const QFileInfo& file : files) {
        if (kStaleNames.contains(file.fileName()))
            removed = QFile::remove(file.absoluteFilePath()) || removed;
    }
    return removed;
}

bool baseNameTaken(const QString& folder, const QString& baseName)
{
    return !QDir(folder).entryList({baseName + ".*"}, QDir::Files).isEmpty();
}

} // namespace

QString BackgroundStore::builtInFolder()
{
    return platform::executableDir() + "/Resource";
}

QString BackgroundStore::userFolder()
{
    return platform::dataDirectory() + "/" + kUserFolder;
}

QString BackgroundStore::userThumbnailFolder()
{
    return platform::dataDirectory() + "/" + kUserThumbnailFolder;
}

QList<QFileInfo> BackgroundStore::getFileListUnderDir(const QString& dir, QDir::SortFlags sort)
{
    const QList<QFileInfo> files = QDir(dir).entryInfoList(QDir::Files, sort);
    qDebug() << "getFileListUnderDir" << files.size() << "  : " << files;
    return files;
}

QList<QFileInfo> BackgroundStore::userFiles()
{
    QDir().mkpath(userFolder());
    QList<QFileInfo> files = getFileListUnderDir(userFolder(), QDir::Time);
    if (removeStaleFiles(files))
        files = getFileListUnderDir(userFolder(), QDir::Time);
    return files;
}

bool BackgroundStore::isVideo(const QString& path)
{
    return path.endsWith("mp4", Qt::CaseInsensitive);
}

QString BackgroundStore::picturePathOf(const QString& path)
{
    if (!isVideo(path))
        return path;
    const QFileInfo video(path);
    QString folder = video.path();
    if (video.dir().dirName() == "Resource")
        folder = QFileInfo(folder).path() + "/VideoPreview";
    return folder + "/" + video.completeBaseName() + ".bmp";
}

QString BackgroundStore::copyUpload(const QString& chosen, long firstNumber)
{
    const QString folder = userFolder();
    QDir().mkpath(folder);
    const QString suffix = QFileInfo(chosen).suffix();
    // clock() only proposes a start: two uploads in the same tick, or a name left by an
    // earlier run, must never overwrite each other or end up as two rows of one file.
    long number = firstNumber >= 0 ? firstNumber : long(std::clock());
    for (int attempt = 0; attempt < 1000; ++attempt, ++number) {
        const QString baseName = QString::number(number);
        if (baseNameTaken(folder, baseName) || baseNameTaken(userThumbnailFolder(), baseName))
            continue;
        const QString target = folder + "/" + baseName + "." + suffix;
        if (QFile::copy(chosen, target)) {
            QFile copy(target);
            if (!copy.open(QIODevice::ReadWrite)
                || !copy.setFileTime(QDateTime::currentDateTime(), QFileDevice::FileModificationTime))
                qWarning() << "upload : cannot stamp" << target;
            return target;
        }
        if (!QFile::exists(target)) {
            qWarning() << "upload : cannot copy" << chosen;
            return QString();
        }
    }
    qWarning() << "upload : no free name in" << folder;
    return QString();
}

bool BackgroundStore::writeVideoThumbnail(const QString& videoPath)
{
    QDir().mkpath(userThumbnailFolder());
    VideoSource capture;
    cv::Mat frame;
    if (!capture.open(videoPath) || !capture.read(frame)) {
        qWarning() << "upload : no frame for a thumbnail in" << videoPath;
        return false;
    }
    const QImage picture(frame.data, frame.cols, frame.rows, static_cast<int>(frame.step), QImage::Format_BGR888);
    return picture.save(picturePathOf(videoPath));
}
