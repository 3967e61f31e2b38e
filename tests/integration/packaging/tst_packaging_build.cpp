// The suite as it leaves the build: installed into a staging folder (cmake --install with DESTDIR),
// used from there by programs that build against the library, made into a Debian package with
// cpack, and that package checked with dpkg-deb and lintian. The package it makes is the one
// tst_packaging_installed installs.
#include "CommandRun.h"
#include "store/FpmanagerPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

const QString kBinaryDir = QStringLiteral(VRKT_BINARY_DIR);
const QString kSourceDir = QStringLiteral(VRKT_SOURCE_DIR);
const QString kTestDir = QStringLiteral(VRKT_PACKAGING_TEST_DIR);

QString stageDir() { return kTestDir + QStringLiteral("/stage"); }
QString debDir() { return kTestDir + QStringLiteral("/deb"); }
QString workDir() { return kTestDir + QStringLiteral("/work"); }

int fileMode(const QString& path)
{
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return int(st.st_mode & 07777);
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeText(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size();
}

// The package names of a Depends-style field: versions and alternatives dropped.
QSet<QString> packageNames(const QString& field)
{
    QSet<QString> names;
    for (const QString& clause : field.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        for (QString alternative : clause.split(QLatin1Char('|'))) {
            alternative = alternative.trimmed();
            alternative = alternative.left(
                alternative.indexOf(QLatin1Char(' ')) < 0 ? alternative.size() : alternative.indexOf(QLatin1Char(' ')));
            names.insert(alternative.section(QLatin1Char(':'), 0, 0));
        }
    }
    return names;
}

} // namespace

class PackagingBuildTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void stagedFiles_data();
    void stagedFiles();
    void libraryLinkIsWhereFpmanagerLooks();
    void installedFilesKeepNoBuildPaths_data();
    void installedFilesKeepNoBuildPaths();
    void binariesAreHardened_data();
    void binariesAreHardened();
    void hicolorIconsAreTheApplicationIcon();
    void desktopEntryStartsTheInstalledProgram();
    void pkgConfigConsumerBuildsAndRuns_data();
    void pkgConfigConsumerBuildsAndRuns();
    void cmakeConsumerFindsThePackage_data();
    void cmakeConsumerFindsThePackage();
    void debianPackageIsBuilt();
    void debFields_data();
    void debFields();
    void debHoldsExactlyTheStagedTree();
    void debMaintainerScripts();
    void lintianFindsNothing();

private:
    QString m_libDir; // folder of the staged library, relative to the stage ("usr/lib/x86_64-linux-gnu")
    QString m_deb;
};

void PackagingBuildTest::initTestCase()
{
    QDir(kTestDir).removeRecursively();
    QVERIFY(QDir().mkpath(stageDir()));
    CommandOptions options;
    options.environment.insert(QStringLiteral("DESTDIR"), stageDir());
    const CommandResult install = runCommand(QStringLiteral(VRKT_CMAKE_COMMAND),
        { QStringLiteral("--install"), kBinaryDir, QStringLiteral("--prefix"), QStringLiteral("/usr") }, options);
    QVERIFY2(install.ok(), qPrintable(install.describe()));

    for (const QString& entry : treeEntries(stageDir())) {
        if (entry.endsWith(QLatin1String("/libvrkt7xcommon.so")))
            m_libDir = QFileInfo(entry).path();
    }
    QVERIFY2(!m_libDir.isEmpty(), "no libvrkt7xcommon.so in the staged tree");
}

void PackagingBuildTest::stagedFiles_data()
{
    // path relative to the stage (LIBDIR stands for the library folder), expected mode
    // (-1: a symbolic link), link target
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("linkTarget");
    auto row = [](const char* path, int mode, const char* target = "") {
        QTest::newRow(path) << QString::fromLatin1(path) << mode << QString::fromLatin1(target);
    };
    row("usr/bin/fpmanager", 0755);
    row("usr/bin/fpverify", 0755);
    row("usr/bin/fpctl", 0755);
    row("usr/bin/vrkt7x-usblist", 0755);
    row("usr/bin/vrkt7x-agent", 0755);
    // CUPS runs a backend of mode 0700 as root.
    row("usr/lib/cups/backend/vrkt7x", 0700);
    row("etc/xdg/autostart/vrkt7x-agent.desktop", 0644);
    row("usr/share/man/man1/vrkt7x-agent.1.gz", 0644);
    row("LIBDIR/libvrkt7xcommon.so.1.0.0", 0644);
    row("LIBDIR/libvrkt7xcommon.so.1", -1, "libvrkt7xcommon.so.1.0.0");
    row("LIBDIR/libvrkt7xcommon.so", -1, "libvrkt7xcommon.so.1");
    row("usr/include/vrkt7xcommon.h", 0644);
    row("usr/include/vrkt7xexport.h", 0644);
    row("usr/include/vrkt7xsystem.h", 0644);
    row("usr/include/vrkt7xuri.h", 0644);
    row("LIBDIR/pkgconfig/vrkt7xcommon.pc", 0644);
    row("LIBDIR/cmake/vrkt7xcommon/vrkt7xcommonConfig.cmake", 0644);
    row("LIBDIR/cmake/vrkt7xcommon/vrkt7xcommonConfigVersion.cmake", 0644);
    row("LIBDIR/cmake/vrkt7xcommon/vrkt7xcommonTargets.cmake", 0644);
    row("usr/share/applications/fpmanager.desktop", 0644);
    row("usr/share/icons/hicolor/48x48/apps/fpmanager.png", 0644);
    // The windows' English catalogues, in Qt's folder where the programs look for them.
    row("usr/share/qt6/translations/fpmanager_en.qm", 0644);
    row("usr/share/qt6/translations/fpverify_en.qm", 0644);
    // Installed plain; the package's postinst hands it to the group vrkt7x.
    row("usr/share/vrkt7x", 0755);
    row("usr/lib/udev/rules.d/70-vrkt7x.rules", 0644);
    row("usr/share/man/man1/fpmanager.1.gz", 0644);
    row("usr/share/man/man1/fpverify.1.gz", 0644);
    row("usr/share/man/man1/fpctl.1.gz", 0644);
    row("usr/share/man/man1/vrkt7x-usblist.1.gz", 0644);
    row("usr/share/doc/vrkt7x/copyright", 0644);
    row("usr/share/doc/vrkt7x/changelog.Debian.gz", 0644);
    row("usr/share/lintian/overrides/vrkt7x", 0644);
}

void PackagingBuildTest::stagedFiles()
{
    QFETCH(QString, path);
    QFETCH(int, mode);
    QFETCH(QString, linkTarget);
    path.replace(QLatin1String("LIBDIR"), m_libDir);
    const QString full = stageDir() + QLatin1Char('/') + path;
    const QFileInfo info(full);
    if (mode < 0) {
        QVERIFY2(info.isSymLink(), qPrintable(path + QStringLiteral(" is not a symbolic link")));
        QCOMPARE(QFile::symLinkTarget(full), info.absolutePath() + QLatin1Char('/') + linkTarget);
        char target[4096] = {};
        QVERIFY(::readlink(QFile::encodeName(full).constData(), target, sizeof(target) - 1) > 0);
        QCOMPARE(QString::fromLocal8Bit(target), linkTarget); // relative: it survives the move into the package
        QVERIFY2(QFileInfo(info.canonicalFilePath()).isFile(), qPrintable(path + QStringLiteral(" dangles")));
    } else {
        QVERIFY2(info.exists() && !info.isSymLink(), qPrintable(path + QStringLiteral(" is missing")));
        QCOMPARE(QString::number(fileMode(full), 8), QString::number(mode, 8));
    }
}

void PackagingBuildTest::libraryLinkIsWhereFpmanagerLooks()
{
    const QString installed = QStringLiteral("/%1/libvrkt7xcommon.so").arg(m_libDir);
    const QStringList locations = FingerManagePaths::defaultLibraryLocations();
    QVERIFY2(locations.contains(installed),
        qPrintable(QStringLiteral("%1 is not among %2").arg(installed, locations.join(QLatin1Char(' ')))));

    // The name the programs record when they link the library is the versioned one.
    const CommandResult dump = runCommand(
        QStringLiteral("objdump"), { QStringLiteral("-p"), stageDir() + installed + QStringLiteral(".1.0.0") });
    QVERIFY2(dump.ok(), qPrintable(dump.describe()));
    QVERIFY2(QRegularExpression(QStringLiteral("SONAME\\s+libvrkt7xcommon\\.so\\.1\\n"))
                 .match(QString::fromLatin1(dump.out))
                 .hasMatch(),
        dump.out.constData());
}

// The ELF files the package installs (LIBDIR: the library folder of the staged tree).
struct InstalledElf {
    const char* name;
    const char* path;
    bool program;
};
const InstalledElf kInstalledElfFiles[] = {
    { "fpmanager", "usr/bin/fpmanager", true },
    { "fpverify", "usr/bin/fpverify", true },
    { "fpctl", "usr/bin/fpctl", true },
    { "vrkt7x-usblist", "usr/bin/vrkt7x-usblist", true },
    { "vrkt7x-agent", "usr/bin/vrkt7x-agent", true },
    { "backend", "usr/lib/cups/backend/vrkt7x", true },
    { "library", "LIBDIR/libvrkt7xcommon.so.1.0.0", false },
};

void PackagingBuildTest::installedFilesKeepNoBuildPaths_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("elf");
    for (const InstalledElf& file : kInstalledElfFiles)
        QTest::newRow(file.name) << QString::fromLatin1(file.path) << true;
    QTest::newRow("pkg-config") << QStringLiteral("LIBDIR/pkgconfig/vrkt7xcommon.pc") << false;
    QTest::newRow("cmake targets") << QStringLiteral("LIBDIR/cmake/vrkt7xcommon/vrkt7xcommonTargets.cmake") << false;
    QTest::newRow("cmake config") << QStringLiteral("LIBDIR/cmake/vrkt7xcommon/vrkt7xcommonConfig.cmake") << false;
    QTest::newRow("desktop entry") << QStringLiteral("usr/share/applications/fpmanager.desktop") << false;
}

void PackagingBuildTest::installedFilesKeepNoBuildPaths()
{
    QFETCH(QString, path);
    QFETCH(bool, elf);
    path.replace(QLatin1String("LIBDIR"), m_libDir);
    const QString full = stageDir() + QLatin1Char('/') + path;
    QByteArray text;
    if (elf) {
        // The loader's search path of an installed program must not point into this tree.
        const CommandResult dump = runCommand(QStringLiteral("objdump"), { QStringLiteral("-p"), full });
        QVERIFY2(dump.ok(), qPrintable(dump.describe()));
        for (const QByteArray& line : dump.out.split('\n')) {
            if (line.contains("RPATH") || line.contains("RUNPATH"))
                text += line + '\n';
        }
    } else {
        text = readAll(full);
        QVERIFY(!text.isEmpty());
    }
    QVERIFY2(!text.contains(kBinaryDir.toLocal8Bit()) && !text.contains(kSourceDir.toLocal8Bit())
            && !text.contains(stageDir().toLocal8Bit()),
        text.constData());
}

void PackagingBuildTest::binariesAreHardened_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("program");
    for (const InstalledElf& file : kInstalledElfFiles)
        QTest::newRow(file.name) << QString::fromLatin1(file.path) << file.program;
}

// The distribution's hardening, as the ELF files show it: relocations read-only and bound at
// start-up, programs position-independent, the library's frames guarded by the stack protector
// (a small program may have no frame that needs it). Fortified calls: lintian, below.
void PackagingBuildTest::binariesAreHardened()
{
#ifdef VRKT_UNHARDENED_BUILD
    QSKIP("the sanitizer builds leave the distribution's hardening out");
#endif
    QFETCH(QString, path);
    QFETCH(bool, program);
    path.replace(QLatin1String("LIBDIR"), m_libDir);
    const CommandResult elf = runCommand(QStringLiteral("readelf"),
        { QStringLiteral("--wide"), QStringLiteral("--dynamic"), QStringLiteral("--program-headers"),
            QStringLiteral("--dyn-syms"), stageDir() + QLatin1Char('/') + path });
    QVERIFY2(elf.ok(), qPrintable(elf.describe()));
    const QString out = QString::fromLatin1(elf.out);
    QVERIFY(out.contains(QLatin1String("GNU_RELRO")));
    QVERIFY(out.contains(QRegularExpression(QStringLiteral("\\(FLAGS_1\\)\\s+Flags:.* NOW"))));
    if (program)
        QVERIFY(out.contains(QRegularExpression(QStringLiteral("\\(FLAGS_1\\)\\s+Flags:.* PIE"))));
    else
        QVERIFY(out.contains(QLatin1String("__stack_chk_fail")));
}

void PackagingBuildTest::hicolorIconsAreTheApplicationIcon()
{
    // Every picture of fpmanager's icon file is in the theme at its size, pixel for pixel.
    QImageReader reader(QStringLiteral(FPMANAGER_ICON_FILE));
    QMap<int, QImage> pictures;
    for (int i = 0; i < reader.imageCount(); ++i) {
        QVERIFY(reader.jumpToImage(i));
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        pictures.insert(image.width(), image.convertToFormat(QImage::Format_ARGB32));
    }
    QVERIFY2(pictures.contains(48), "the icon file has no 48 x 48 picture");

    const QString themeDir = stageDir() + QStringLiteral("/usr/share/icons/hicolor");
    const QStringList sizeDirs = QDir(themeDir).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QSet<int> installedSides;
    for (const QString& sizeDir : sizeDirs) {
        const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("^(\\d+)x(\\d+)$")).match(sizeDir);
        QVERIFY2(m.hasMatch() && m.captured(1) == m.captured(2), qPrintable(sizeDir));
        const int side = m.captured(1).toInt();
        const QStringList files
            = QDir(themeDir + QLatin1Char('/') + sizeDir + QStringLiteral("/apps")).entryList(QDir::Files);
        QCOMPARE(files, QStringList { QStringLiteral("fpmanager.png") });
        QImage png(themeDir + QLatin1Char('/') + sizeDir + QStringLiteral("/apps/fpmanager.png"), "PNG");
        QVERIFY2(!png.isNull(), qPrintable(sizeDir));
        QCOMPARE(png.size(), QSize(side, side));
        QVERIFY2(pictures.contains(side), qPrintable(sizeDir + QStringLiteral(" is not a size of the icon file")));
        QVERIFY2(png.convertToFormat(QImage::Format_ARGB32) == pictures.value(side), qPrintable(sizeDir));
        installedSides.insert(side);
    }
    const QList<int> sides = pictures.keys();
    QCOMPARE(installedSides, QSet<int>(sides.begin(), sides.end()));
}

void PackagingBuildTest::desktopEntryStartsTheInstalledProgram()
{
    const QString entry = stageDir() + QStringLiteral("/usr/share/applications/fpmanager.desktop");
    const CommandResult validate = runCommand(QStringLiteral("desktop-file-validate"), { entry });
    QVERIFY2(validate.ok() && validate.out.isEmpty(), qPrintable(validate.describe()));

    QMap<QString, QString> keys;
    bool inEntry = false;
    for (const QByteArray& raw : readAll(entry).split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inEntry = line == QLatin1String("[Desktop Entry]");
        else if (inEntry && line.contains(QLatin1Char('=')))
            keys.insert(line.section(QLatin1Char('='), 0, 0), line.section(QLatin1Char('='), 1));
    }
    QCOMPARE(keys.value(QStringLiteral("Type")), QStringLiteral("Application"));
    const QString program = keys.value(QStringLiteral("Exec")).section(QLatin1Char(' '), 0, 0);
    QVERIFY2(QFileInfo(stageDir() + QStringLiteral("/usr/bin/") + program).isExecutable(), qPrintable(program));
    const QString icon = keys.value(QStringLiteral("Icon"));
    QVERIFY2(QFileInfo::exists(
                 stageDir() + QStringLiteral("/usr/share/icons/hicolor/48x48/apps/") + icon + QStringLiteral(".png")),
        qPrintable(icon));
    QVERIFY(keys.value(QStringLiteral("Categories")).split(QLatin1Char(';')).contains(QStringLiteral("Printing")));
}

void PackagingBuildTest::pkgConfigConsumerBuildsAndRuns_data()
{
    QTest::addColumn<QString>("compiler");
    QTest::addColumn<QString>("sourceName");
    QTest::newRow("C") << QStringLiteral(VRKT_C_COMPILER) << QStringLiteral("consumer.c");
    QTest::newRow("C++") << QStringLiteral(VRKT_CXX_COMPILER) << QStringLiteral("consumer.cpp");
}

void PackagingBuildTest::pkgConfigConsumerBuildsAndRuns()
{
    QFETCH(QString, compiler);
    QFETCH(QString, sourceName);
    const QString dir = workDir() + QStringLiteral("/pkgconfig-") + sourceName;
    const QString source = dir + QLatin1Char('/') + sourceName;
    // Takes the address of every kind of export so that the link has to resolve them.
    QVERIFY(writeText(source,
        "#include <vrkt7xcommon.h>\n"
        "#include <stdio.h>\n"
        "int main(void)\n"
        "{\n"
        "    int (*list)(char**, char**) = GetDeviceConnect;\n"
        "    bool (*connected)(char*) = IsDeviceConnect;\n"
        "    printf(\"%d\\n\", list != 0 && connected != 0);\n"
        "    return 0;\n"
        "}\n"));

    CommandOptions pc;
    pc.environment.insert(
        QStringLiteral("PKG_CONFIG_LIBDIR"), stageDir() + QLatin1Char('/') + m_libDir + QStringLiteral("/pkgconfig"));
    pc.environment.remove(QStringLiteral("PKG_CONFIG_PATH"));
    const CommandResult flags = runCommand(QStringLiteral("pkg-config"),
        { QStringLiteral("--cflags"), QStringLiteral("--libs"), QStringLiteral("vrkt7xcommon >= 1.0") }, pc);
    QVERIFY2(flags.ok(), qPrintable(flags.describe()));
    const QStringList flagList = QString::fromLocal8Bit(flags.out).simplified().split(QLatin1Char(' '));
    // The flags name the staged folders, wherever the stage is.
    for (const QString& flag : flagList) {
        if (flag.startsWith(QLatin1String("-I")))
            QCOMPARE(QFileInfo(flag.mid(2)).canonicalFilePath(),
                QFileInfo(stageDir() + QStringLiteral("/usr/include")).canonicalFilePath());
        if (flag.startsWith(QLatin1String("-L")))
            QCOMPARE(QFileInfo(flag.mid(2)).canonicalFilePath(),
                QFileInfo(stageDir() + QLatin1Char('/') + m_libDir).canonicalFilePath());
    }

    const QString program = dir + QStringLiteral("/consumer");
    const CommandResult compile
        = runCommand(compiler, QStringList { source, QStringLiteral("-o"), program } + flagList);
    QVERIFY2(compile.ok(), qPrintable(compile.describe()));

    CommandOptions run;
    run.environment.insert(QStringLiteral("LD_LIBRARY_PATH"), stageDir() + QLatin1Char('/') + m_libDir);
    const CommandResult result = runCommand(program, {}, run);
    QVERIFY2(result.ok(), qPrintable(result.describe()));
    QCOMPARE(result.out.trimmed(), QByteArray("1"));
}

void PackagingBuildTest::cmakeConsumerFindsThePackage_data()
{
    QTest::addColumn<QString>("requestedVersion");
    QTest::addColumn<bool>("found");
    QTest::newRow("any version") << QString() << true;
    QTest::newRow("1") << QStringLiteral("1") << true;
    QTest::newRow(qPrintable(QStringLiteral(VRKT_PROJECT_VERSION))) << QStringLiteral(VRKT_PROJECT_VERSION) << true;
    QTest::newRow("2: another major version") << QStringLiteral("2") << false;
    QTest::newRow("1.9: newer than installed") << QStringLiteral("1.9") << false;
}

void PackagingBuildTest::cmakeConsumerFindsThePackage()
{
    QFETCH(QString, requestedVersion);
    QFETCH(bool, found);
    const QString dir
        = workDir() + QStringLiteral("/cmake-") + QString(requestedVersion).replace(QLatin1Char('.'), QLatin1Char('_'));
    QVERIFY(writeText(dir + QStringLiteral("/CMakeLists.txt"),
        "cmake_minimum_required(VERSION 3.24)\n"
        "project(consumer LANGUAGES C)\n"
        "find_package(vrkt7xcommon "
            + requestedVersion.toLatin1()
            + " REQUIRED)\n"
              "add_executable(consumer consumer.c)\n"
              "target_link_libraries(consumer PRIVATE vrkt7xcommon::vrkt7xcommon)\n"));
    QVERIFY(writeText(dir + QStringLiteral("/consumer.c"),
        "#include <vrkt7xcommon.h>\n"
        "int main(void) { return GetDeviceConnect == 0; }\n"));
    const QString build = dir + QStringLiteral("/build");
    const CommandResult configure = runCommand(QStringLiteral(VRKT_CMAKE_COMMAND),
        { QStringLiteral("-S"), dir, QStringLiteral("-B"), build, QStringLiteral("-G"), QStringLiteral("Ninja"),
            QStringLiteral("-DCMAKE_PREFIX_PATH=") + stageDir() + QStringLiteral("/usr"),
            QStringLiteral("-DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF"),
            QStringLiteral("-DCMAKE_C_COMPILER=") + QStringLiteral(VRKT_C_COMPILER) });
    if (!found) {
        QVERIFY2(configure.finished && configure.exitCode != 0, qPrintable(configure.describe()));
        QVERIFY2(configure.err.contains("vrkt7xcommon"), configure.err.constData());
        return;
    }
    QVERIFY2(configure.ok(), qPrintable(configure.describe()));
    const CommandResult make = runCommand(QStringLiteral(VRKT_CMAKE_COMMAND), { QStringLiteral("--build"), build });
    QVERIFY2(make.ok(), qPrintable(make.describe()));
    CommandOptions run;
    run.environment.insert(QStringLiteral("LD_LIBRARY_PATH"), stageDir() + QLatin1Char('/') + m_libDir);
    const CommandResult result = runCommand(build + QStringLiteral("/consumer"), {}, run);
    QVERIFY2(result.ok(), qPrintable(result.describe()));
}

void PackagingBuildTest::debianPackageIsBuilt()
{
    const CommandResult cpack = runCommand(QStringLiteral(VRKT_CPACK_COMMAND),
        { QStringLiteral("--config"), kBinaryDir + QStringLiteral("/CPackConfig.cmake"), QStringLiteral("-G"),
            QStringLiteral("DEB"), QStringLiteral("-B"), debDir() },
        CommandOptions());
    QVERIFY2(cpack.ok(), qPrintable(cpack.describe()));
    const QStringList debs = QDir(debDir()).entryList({ QStringLiteral("*.deb") }, QDir::Files);
    QCOMPARE(debs.size(), 1);
    m_deb = debDir() + QLatin1Char('/') + debs.first();

    const CommandResult arch = runCommand(QStringLiteral("dpkg"), { QStringLiteral("--print-architecture") });
    QVERIFY2(arch.ok(), qPrintable(arch.describe()));
    QCOMPARE(debs.first(),
        QStringLiteral("vrkt7x_%1-1_%2.deb")
            .arg(QStringLiteral(VRKT_PROJECT_VERSION), QString::fromLatin1(arch.out.trimmed())));
}

void PackagingBuildTest::debFields_data()
{
    // field, a package name the field must name (or, with "!", must not name)
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("name");
    QTest::newRow("Qt Widgets") << QStringLiteral("Depends") << QStringLiteral("libqt6widgets6");
    QTest::newRow("Qt Gui") << QStringLiteral("Depends") << QStringLiteral("libqt6gui6");
    QTest::newRow("Qt Sql") << QStringLiteral("Depends") << QStringLiteral("libqt6sql6");
    QTest::newRow("Qt SQLite driver") << QStringLiteral("Depends") << QStringLiteral("libqt6sql6-sqlite");
    QTest::newRow("Qt Network") << QStringLiteral("Depends") << QStringLiteral("libqt6network6");
    QTest::newRow("libusb") << QStringLiteral("Depends") << QStringLiteral("libusb-1.0-0");
    QTest::newRow("libcups") << QStringLiteral("Depends") << QStringLiteral("libcups2");
    QTest::newRow("lpstat") << QStringLiteral("Depends") << QStringLiteral("cups-client");
    QTest::newRow("adduser for postinst") << QStringLiteral("Depends") << QStringLiteral("adduser");
    QTest::newRow("no dependency on itself") << QStringLiteral("Depends") << QStringLiteral("!vrkt7x");
    QTest::newRow("no build-only package") << QStringLiteral("Depends") << QStringLiteral("!qt6-base-dev");
    QTest::newRow("CJK font") << QStringLiteral("Recommends") << QStringLiteral("fonts-wqy-microhei");
}

void PackagingBuildTest::debFields()
{
    QFETCH(QString, field);
    QFETCH(QString, name);
    QVERIFY(!m_deb.isEmpty());
    const CommandResult fields = runCommand(QStringLiteral("dpkg-deb"), { QStringLiteral("-f"), m_deb, field });
    QVERIFY2(fields.ok(), qPrintable(fields.describe()));
    const QSet<QString> names = packageNames(QString::fromUtf8(fields.out));
    if (name.startsWith(QLatin1Char('!')))
        QVERIFY2(!names.contains(name.mid(1)), fields.out.constData());
    else
        QVERIFY2(names.contains(name), fields.out.constData());
}

void PackagingBuildTest::debHoldsExactlyTheStagedTree()
{
    QVERIFY(!m_deb.isEmpty());
    const CommandResult list = runCommand(QStringLiteral("dpkg-deb"), { QStringLiteral("--contents"), m_deb });
    QVERIFY2(list.ok(), qPrintable(list.describe()));
    QSet<QString> inPackage;
    for (const QByteArray& raw : list.out.split('\n')) {
        if (raw.isEmpty())
            continue;
        // "-rw-r--r-- root/root  1234 2026-01-01 00:00 ./usr/bin/x" or "... ./a -> b"
        const QString line = QString::fromUtf8(raw);
        QVERIFY2(line.section(QLatin1Char(' '), 1, 1, QString::SectionSkipEmpty) == QLatin1String("root/root"),
            qPrintable(line));
        QString path = line.section(QLatin1Char(' '), 5, 5, QString::SectionSkipEmpty);
        QVERIFY2(path.startsWith(QLatin1String("./")), qPrintable(line));
        path = path.mid(2);
        if (path.endsWith(QLatin1Char('/')))
            path.chop(1);
        if (!path.isEmpty())
            inPackage.insert(path);
    }
    const QStringList staged = treeEntries(stageDir());
    const QSet<QString> stagedSet(staged.begin(), staged.end());
    QCOMPARE(QStringList((inPackage - stagedSet).values()), QStringList());
    QCOMPARE(QStringList((stagedSet - inPackage).values()), QStringList());
}

void PackagingBuildTest::debMaintainerScripts()
{
    QVERIFY(!m_deb.isEmpty());
    const QString control = workDir() + QStringLiteral("/control");
    QDir(control).removeRecursively();
    const CommandResult extract
        = runCommand(QStringLiteral("dpkg-deb"), { QStringLiteral("--control"), m_deb, control });
    QVERIFY2(extract.ok(), qPrintable(extract.describe()));
    for (const char* script : { "postinst", "postrm" }) {
        const QString path = control + QLatin1Char('/') + QLatin1String(script);
        QCOMPARE(QString::number(fileMode(path), 8), QStringLiteral("755"));
        const CommandResult syntax = runCommand(QStringLiteral("sh"), { QStringLiteral("-n"), path });
        QVERIFY2(syntax.ok(), qPrintable(syntax.describe()));
    }
    // ldconfig runs when the library comes or goes; programs built against it get a dependency.
    QCOMPARE(readAll(control + QStringLiteral("/triggers")).trimmed(), QByteArray("activate-noawait ldconfig"));
    QCOMPARE(readAll(control + QStringLiteral("/shlibs")).trimmed(),
        QByteArray("libvrkt7xcommon 1 vrkt7x (>= " VRKT_PROJECT_VERSION "-1)"));
}

void PackagingBuildTest::lintianFindsNothing()
{
    QVERIFY(!m_deb.isEmpty());
    const CommandResult lintian = runCommand(QStringLiteral("lintian"),
        { QStringLiteral("--fail-on"), QStringLiteral("error,warning"), QStringLiteral("--display-info"), m_deb },
        CommandOptions());
    const QByteArray artifacts = qgetenv("VRKT_ARTIFACTS_DIR");
    if (!artifacts.isEmpty() && QDir().mkpath(QString::fromLocal8Bit(artifacts)))
        writeText(QString::fromLocal8Bit(artifacts) + QStringLiteral("/lintian-vrkt7x.txt"), lintian.out + lintian.err);
    QVERIFY2(lintian.ok(), qPrintable(lintian.describe()));
    for (const QByteArray& line : lintian.out.split('\n')) {
        QVERIFY2(!line.startsWith("E:") && !line.startsWith("W:"), line.constData());
        // Every override in the package still stands for a tag lintian reports.
        QVERIFY2(!line.contains("unused-override") && !line.contains("mismatched-override"), line.constData());
        // Its notes on hardening (shown as information) as well, where the build is hardened.
#ifndef VRKT_UNHARDENED_BUILD
        QVERIFY2(!line.contains(": hardening-"), line.constData());
#endif
    }
}

QTEST_GUILESS_MAIN(PackagingBuildTest)
#include "tst_packaging_build.moc"
