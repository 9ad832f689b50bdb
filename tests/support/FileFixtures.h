#pragma once

#include <QByteArray>
#include <QString>

namespace TestSupport {

// The whole file, or nothing when it cannot be read.
QByteArray readFile(const QString &path);
// Writes content over the file, creating missing parent folders; fails the running test when it
// cannot.
void writeFile(const QString &path, const QByteArray &content);

} // namespace TestSupport
