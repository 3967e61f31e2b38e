#include "ShellHelpers.h"

#include "InstallPaths.h"

#include <QSettings>
#include <cstdio>

const char* const filepath = "/tmp/.statusmonitor";
const char* const lockfile = "/tmp/.lockstatusmonitor";
const char* const statusKey = "printer/status/";
const char* const printersKey = "printer/mdl/";

QString get_string_from_shell_cmd(const QString& cmd, int mode)
{
    const QByteArray command = cmd.toLatin1();
    FILE* pipe = popen(command.constData(), "r");
    if (!pipe) {
        fprintf(stderr, "command %s error\n", command.constData());
        return QString();
    }
    QByteArray text;
    char line[512];
    if (mode == 0) {
        if (fgets(line, sizeof line, pipe))
            text = line;
    } else {
        while (fgets(line, sizeof line, pipe))
            text += line;
    }
    pclose(pipe);
    return QString::fromUtf8(text);
}

QString shellQuoted(const QString& name)
{
    QString quoted = name;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

bool printer_is_printing(const QString& printer_name)
{
    // With no name, lpstat would list every queue's jobs and grep would get no pattern at all and
    // fail: the queue counts as idle (the USB transport asks with an empty name).
    if (printer_name.isEmpty())
        return false;
    const QString name = shellQuoted(printer_name);
    const QString cmd = QLatin1String("LANG=en lpstat -l -o ") + name + QLatin1String(" 2>>")
        + QLatin1String("/dev/null") + QLatin1String("|grep -w ") + name;
    return !get_string_from_shell_cmd(cmd, 0).isEmpty();
}

bool appSettingsInFile(const QString& file, const QString& key, QVariant& value, const QVariant& defaultValue, bool set)
{
    QSettings settings(file, QSettings::NativeFormat);
    if (set) {
        settings.setValue(key, value);
        fprintf(
            stderr, "set key %s value:%s\n", qPrintable(key), qPrintable(settings.value(key, defaultValue).toString()));
    } else {
        value = settings.value(key, defaultValue);
        fprintf(stderr, "get key %s value:%s\n", qPrintable(key), qPrintable(value.toString()));
    }
    settings.sync();
    return true;
}

// The library's shared settings file (Qt settings, INI text).
static constexpr char kSmConfPath[] = VRKT_FIXED_DATA_DIR "/sm.conf";

bool appSettings(const QString& key, QVariant& value, const QVariant& defaultValue, bool set)
{
    return appSettingsInFile(QString::fromLatin1(kSmConfPath), key, value, defaultValue, set);
}
