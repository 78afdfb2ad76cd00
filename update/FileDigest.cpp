#include "FileDigest.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QFile>

QByteArray fileMd5(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning() << "file open error.";
        return QByteArray();
    }
    constexpr qint64 blockSize = 4096;
    QCryptographicHash hash(QCryptographicHash::Md5);
    qint64 remaining = file.size();
    while (remaining > 0) {
        const QByteArray block = file.read(qMin(blockSize, remaining));
        if (block.isEmpty())
            break;
        hash.addData(block);
        remaining -= block.size();
    }
    return hash.result();
}

bool fileMatchesMd5(const QString& path, const QString& expected, QString* actualHex)
{
    const QByteArray digest = fileMd5(path);
    const QString hex = QString::fromLatin1(digest.toHex());
    if (actualHex)
        *actualHex = hex;
    return !digest.isEmpty() && hex == expected;
}
