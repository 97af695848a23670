#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>

// The test pattern's device argument as lumivark-cli lists it ("devices"); empty
// when the program does not list it.
inline QString cliTestPatternDevice(const QString& cli)
{
    QProcess devices;
    devices.start(cli, {QStringLiteral("devices")});
    if (!devices.waitForFinished(30000))
        return {};
    for (const QByteArray& line : devices.readAllStandardOutput().split('\n'))
        if (line.contains("\tLumivark Test Pattern\t"))
            return QString::fromLatin1(line.split('\t').first());
    return {};
}
