#pragma once
#include <QString>
#include <QStringList>

// What the version manifest offered and how far this run got with it. One record per
// process, held by UpdateService; GUI thread only.
struct UpdateInfo
{
    QString version;        // offered version, e.g. "3.0.4"
    QString versionInfo;    // release notes shown by the update dialogs
    QString url;            // download URL of the installer package
    QString md5;            // expected digest of the package, lowercase hexadecimal
    QStringList forceUpdate; // running versions that must update
    bool popupWindow = false;
    bool isDownloading = false;
    bool hasDownloaded = false;  // the package on disk matches md5; never goes back to false
    bool updateAvailable = false;
};
