#pragma once
#include <QDir>
#include <QFileInfo>
#include <QList>
#include <QString>

// The background files on disk: the folders installed beside the executable, the user's
// own folders in the data directory, video thumbnails and the copy of an upload.
// Pure file work, safe on any thread.
class BackgroundStore
{
public:
    static QString builtInFolder();
    static QString userFolder();
    static QString userThumbnailFolder();

    static QList<QFileInfo> getFileListUnderDir(const QString& dir, QDir::SortFlags sort);
    // The user's files, newest first, after removing the stale copies of the built-in
    // backgrounds that older versions left there.
    static QList<QFileInfo> userFiles();

    static bool isVideo(const QString& path);
    // <dir>/Resource/<name>.mp4 shows <dir>/VideoPreview/<name>.bmp; other paths show themselves.
    static QString picturePathOf(const QString& path);

    // Copies an upload into the user folder under a numeric name that no other background
    // (of any suffix) uses yet, trying upwards from firstNumber (the process's clock ticks
    // by default), and stamps it as the newest file. Returns the new path, or an empty text
    // when the copy failed.
    static QString copyUpload(const QString& chosen, long firstNumber = -1);
    // First frame of the video (the second when the first is empty) as its BMP thumbnail.
    static bool writeVideoThumbnail(const QString& videoPath);
};
