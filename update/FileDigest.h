#pragma once
#include <QByteArray>
#include <QString>

// MD5 of a file's content as 16 raw bytes, read in blocks of 4096 up to the size the
// file had when opened; empty (and "file open error." logged) when it cannot be opened.
QByteArray fileMd5(const QString& path);

// True when the file's digest, in lowercase hexadecimal, equals expected exactly
// (so an uppercase manifest digest never matches).
bool fileMatchesMd5(const QString& path, const QString& expected, QString* actualHex = nullptr);
