// The start-up version check, the new-version window and Update Now, with
// the editor's real HTTP client against a server on the loopback address.
#include "AppFolder.h"
#include "AppState.h"
#include "ConsoleModel.h"
#include "Editor.h"
#include "Fakes.h"
#include "HttpClient.h"
#include "LoopbackHttpServer.h"
#include "NewVersionMsg.h"
#include "RealServices.h"
#include "Resources.h"
#include "UpdateUpdaterUnit.h"
#include "UpdaterSignature.h"
#include "UpdatesSupport.h"
#include "main.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <optional>

namespace {

using Mode = LoopbackHttpServer::Mode;

constexpr auto kEditorVersion = "/download/tharnvik-editor-version.php";
constexpr auto kUpdaterVersion = "/download/update/Tharnvik_Win_Updater_Version.php";
constexpr auto kUpdaterDownload = "/download/update/Tharnvik_Win_Updater.exe";
constexpr auto kUpdaterSignature = "/download/update/Tharnvik_Win_Updater.exe.sig";
constexpr auto kQuestion = "This action will update the Tharnvik Editor to the latest version. Do you want to continue?";
constexpr auto kDownloaded = "New updater downloaded! Click OK to proceed with the update.";
constexpr auto kLaunchFailed = "Failed to launch updater. Please run as administrator.";

class Updates : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("THARNVIK_SERVER_URL", server.baseUrl().toUtf8());
        fakes.network = &http;
    }
    void TearDown() override
    {
        editor.reset();
        qunsetenv("THARNVIK_SERVER_URL");
        qApp->setStyleSheet(QString());
    }
    TformMain &start()
    {
        clearUpdateFolders();
        editor = std::make_unique<Editor>(fakes.services());
        QObject::connect(&main(), &TformMain::closed, &main(), [this] { ended = true; });
        updates().setTrustedKey(key.publicKey());
        return main();
    }
    TformMain &main() { return *editor->windows().formMain; }
    TformNewVersionMsg &window() { return *editor->windows().formNewVersionMsg; }
    TformUpdateUpdater &updates() { return *editor->windows().formUpdateUpdater; }
    QString log() const { return editor->console().text(0, editor->console().lineCount()); }

    // The timer falls due; the answer arrives on the event loop.
    void runCheck()
    {
        fakes.clock.advance(1000);
        const bool done = QTest::qWaitFor([this] {
            return log().contains(QLatin1String("newAppVersion: ")) || log().contains(QLatin1String("version check failed"))
                || !fakes.dialogs.messages.isEmpty();
        }, 20'000);
        ASSERT_TRUE(done) << "the version check never finished";
    }

    QString programFile(const char *name) const { return QDir(fakes.paths.programFolder()).filePath(QLatin1String(name)); }
    QString updater() const { return programFile("Tharnvik_Win_Updater.exe"); }
    QString updaterUpdate() const { return programFile("Tharnvik_Win_Updater_Update.exe"); }
    // The folders the editor made for updates in the temporary folder.
    QStringList updateFolders() const
    {
        return QDir(fakes.paths.tempFolder()).entryList({QStringLiteral("tharnvik-update-*")}, QDir::Dirs | QDir::Hidden);
    }
    // Those of an earlier round go before the editor starts again.
    void clearUpdateFolders()
    {
        for (const QString &folder : updateFolders())
            QDir(QDir(fakes.paths.tempFolder()).filePath(folder)).removeRecursively();
    }
    // The update's path in the one folder the editor made for it.
    QString tempTarget() const
    {
        const QStringList folders = updateFolders();
        if (folders.size() != 1)
            return QStringLiteral("(%1 update folders)").arg(folders.size());
        return QDir(fakes.paths.tempFolder()).filePath(folders[0] + QStringLiteral("/Tharnvik_Editor_Update.exe"));
    }
    QString logFile() const { return QDir(editor->state().AppFolder).filePath(QStringLiteral("log.txt")); }
    // The maker's server offers the updater with its signature beside it.
    void serveProgram(const QByteArray &program)
    {
        server.answer(kUpdaterDownload, program);
        server.answer(kUpdaterSignature, key.sign(program));
    }
    void serveUpdater(const char *version, const QByteArray &program)
    {
        server.answer(kUpdaterVersion, version);
        serveProgram(program);
    }
    // An updater in place as the editor leaves one: with its signature.
    bool writeUpdater(const QString &path, const QByteArray &program)
    {
        return writeFile(path, program) && writeFile(path + QStringLiteral(".sig"), key.sign(program), false);
    }

    SigningKey key;
    LoopbackHttpServer server;
    HttpClient http{1000};
    FakeServices fakes;
    std::unique_ptr<Editor> editor;
    bool ended = false;
};

// ---------------------------------------------------------------- start-up check

TEST_F(Updates, StartUpCheckComparesTheVersionsComponentByComponent)
{
    enum Outcome { Newer, NotNewer, Unchanged };
    struct Row {
        const char *current;
        const char *answer;
        Outcome outcome;
    };
    const Row rows[] = {
        {"1.0.3.0", "1.0.4.0", Newer},
        {"1.0.4.0", "1.0.4.0", NotNewer},
        {"1.0.4.0", "1.0.3.9", NotNewer},
        {"1.0.10.0", "2.0.0.0", Newer}, // a major release is offered
        {"1.23.0.0", "2.0.0.0", Newer},
        {"1.9", "1.10", Newer},
        {"1.10", "1.9", NotNewer},
        {"1.0.3.0", "1.0.4.0\n", Unchanged}, // not a dotted number
        {"1.0.3.0", "<html>busy</html>", Unchanged},
        {"Version info not available", "1.0.4.0", Unchanged},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string(row.current) + " / " + row.answer);
        server.answer(kEditorVersion, row.answer);
        start();
        editor->state().CurrentAppVersion = QString::fromLatin1(row.current);
        EXPECT_TRUE(main().TimerCheckWebVersion->isEnabled());
        runCheck();
        EXPECT_TRUE(log().contains(QStringLiteral("currentAppVersion: %1\nnewAppVersion: %2").arg(row.current, row.answer)));
        const QString menuText = main().menuNewAppVersion->text();
        switch (row.outcome) {
        case Newer:
            EXPECT_EQ(menuText, QStringLiteral("New version available: ") + row.answer);
            EXPECT_TRUE(main().menuUpdateNow->isEnabled());
            EXPECT_TRUE(window().isVisible());
            EXPECT_EQ(window().Label1->text(), QStringLiteral("A new version of the Tharnvik Editor is available"));
            EXPECT_EQ(window().Label2->text(),
                      QStringLiteral("Your version: %1     New version: %2").arg(row.current, row.answer));
            // Whole, whatever the font.
            EXPECT_GE(window().Label2->width(), window().Label2->fontMetrics().horizontalAdvance(window().Label2->text()));
            EXPECT_LE(window().Label2->geometry().right(), window().width());
            break;
        case NotNewer:
            EXPECT_EQ(menuText, QStringLiteral("No update available"));
            EXPECT_FALSE(main().menuUpdateNow->isEnabled());
            EXPECT_FALSE(window().isVisible());
            break;
        case Unchanged:
            EXPECT_EQ(menuText, QStringLiteral("New version available:"));
            EXPECT_FALSE(main().menuUpdateNow->isEnabled());
            EXPECT_FALSE(window().isVisible());
            break;
        }
        EXPECT_TRUE(fakes.dialogs.messages.isEmpty());
        EXPECT_FALSE(main().TimerCheckWebVersion->isEnabled());
        editor.reset();
    }
}

TEST_F(Updates, StartUpCheckRunsOnceWithoutHoldingTheEditor)
{
    server.route(kEditorVersion, {200, "OK", {}, Mode::Silent});
    start();
    fakes.clock.advance(1000);
    // The timer's handler has returned while the server still says nothing.
    EXPECT_FALSE(main().TimerCheckWebVersion->isEnabled());
    EXPECT_FALSE(log().contains(QLatin1String("version check")));
    ASSERT_TRUE(QTest::qWaitFor([this] { return log().contains(QLatin1String("version check failed")); }, 20'000));
    EXPECT_TRUE(log().contains(QLatin1String("version check failed: No answer from the server within 1 s")));
    EXPECT_TRUE(fakes.dialogs.messages.isEmpty());
    EXPECT_EQ(main().menuNewAppVersion->text(), QStringLiteral("New version available:"));
    fakes.clock.advance(10'000);
    QTest::qWait(50);
    EXPECT_EQ(server.requests, QStringList{kEditorVersion});
}

TEST_F(Updates, StartUpCheckWithoutNetworkOnlyLogsButAnErrorStatusIsShown)
{
    qputenv("THARNVIK_SERVER_URL", "http://127.0.0.1:1");
    start();
    runCheck();
    EXPECT_TRUE(fakes.dialogs.messages.isEmpty());
    EXPECT_TRUE(log().startsWith(QLatin1String("version check failed: "))) << log().toStdString();
    editor.reset();

    qputenv("THARNVIK_SERVER_URL", server.baseUrl().toUtf8());
    server.route(kEditorVersion, {503, "Service Unavailable", "later"});
    start();
    runCheck();
    EXPECT_EQ(fakes.dialogs.messages, QStringList{"Error: Service Unavailable"});
    EXPECT_EQ(main().menuNewAppVersion->text(), QStringLiteral("New version available:"));
    EXPECT_FALSE(main().menuUpdateNow->isEnabled());
}

TEST_F(Updates, TheServerAddressComesFromTheEnvironmentOnlyWhenSafe)
{
    struct Row {
        const char *configured;
        const char *base;
    };
    const Row rows[] = {
        {"https://mirror.example/tharnvik/", "https://mirror.example/tharnvik"},
        {"http://127.0.0.1:8080", "http://127.0.0.1:8080"},
        {"http://[::1]:8080", "http://[::1]:8080"},
        {"http://localhost:8080", "http://localhost:8080"},
        {"http://mirror.example", "https://vorma.example"}, // plain http elsewhere
        {"ftp://127.0.0.1", "https://vorma.example"},
        {"not an address", "https://vorma.example"},
        {"", "https://vorma.example"},
    };
    for (const Row &row : rows) {
        qputenv("THARNVIK_SERVER_URL", row.configured);
        EXPECT_EQ(serverBaseUrl(), QString::fromLatin1(row.base)) << row.configured;
    }
}

TEST_F(Updates, NoWindowWhenSwitchedOffButTheMenuStillTells)
{
    QDir().mkpath(AppFolder::path(fakes.paths.documentsFolder()));
    ASSERT_TRUE(writeFile(QDir(AppFolder::path(fakes.paths.documentsFolder())).filePath("ShowMessageVersionAtStartup.txt"), "NO", false));
    server.answer(kEditorVersion, "9.0.0.0");
    start();
    runCheck();
    EXPECT_FALSE(window().isVisible());
    EXPECT_EQ(main().menuNewAppVersion->text(), QStringLiteral("New version available: 9.0.0.0"));
    EXPECT_TRUE(main().menuUpdateNow->isEnabled());
}

TEST_F(Updates, ShowUpdateMessageAndTheWindowsCheckBoxWriteTheFlagFile)
{
    start();
    const QString flag = QDir(editor->state().AppFolder).filePath(QStringLiteral("ShowMessageVersionAtStartup.txt"));
    ASSERT_EQ(readFile(flag), QByteArray("YES"));

    main().menuShowUpdateMsg->trigger();
    EXPECT_FALSE(main().menuShowUpdateMsg->isChecked());
    EXPECT_EQ(readFile(flag), QByteArray("NO"));
    EXPECT_TRUE(editor->state().ShowUpdateMessageAtStartup); // until the next start
    main().menuShowUpdateMsg->trigger();
    EXPECT_EQ(readFile(flag), QByteArray("YES"));

    window().CheckBox1->setChecked(true);
    EXPECT_EQ(readFile(flag), QByteArray("NO"));
    EXPECT_TRUE(main().menuShowUpdateMsg->isChecked());
    ASSERT_TRUE(writeFile(flag, "YES", false));
    window().CheckBox1->setChecked(false); // taking the tick back writes nothing
    EXPECT_EQ(readFile(flag), QByteArray("YES"));

    // Without the file neither writes one.
    QFile::remove(flag);
    main().menuShowUpdateMsg->trigger();
    window().CheckBox1->setChecked(true);
    EXPECT_FALSE(QFileInfo::exists(flag));
    EXPECT_TRUE(fakes.dialogs.messages.isEmpty());

    // The next start reads the choice.
    ASSERT_TRUE(writeFile(flag, "NO", false));
    editor.reset();
    start();
    EXPECT_FALSE(editor->state().ShowUpdateMessageAtStartup);
    EXPECT_FALSE(main().menuShowUpdateMsg->isChecked());
}

TEST_F(Updates, NewVersionWindowControls)
{
    start();
    EXPECT_EQ(window().windowTitle(), QStringLiteral("New Version"));
    EXPECT_EQ(window().height(), 152);
    EXPECT_GE(window().width(), 268);
    for (QAbstractButton *b : std::initializer_list<QAbstractButton *>{window().btnLaunchUpdate, window().btnSeeWhatsNew, window().CheckBox1})
        EXPECT_EQ(b->accessibleName(), b->text());
    EXPECT_EQ(window().btnLaunchUpdate->text(), QStringLiteral("Update Now"));
    EXPECT_EQ(window().btnSeeWhatsNew->text(), QStringLiteral("What's New?"));
    EXPECT_EQ(window().CheckBox1->text(), QStringLiteral("Don't Show This Message Again"));

    window().btnSeeWhatsNew->click();
    EXPECT_EQ(fakes.shell.urls, QStringList{server.baseUrl() + "/download/update/whatsnew.html"});

    // Its Update Now is the menu's.
    fakes.dialogs.answers = {Answer::No};
    window().btnLaunchUpdate->click();
    EXPECT_EQ(fakes.dialogs.questions, QStringList{kQuestion});
    EXPECT_TRUE(server.requests.isEmpty());
}

// ---------------------------------------------------------------- Update Now

TEST_F(Updates, AnsweringNoDoesNothing)
{
    start();
    fakes.dialogs.answers = {Answer::No};
    main().menuUpdateNow->setEnabled(true);
    main().menuUpdateNow->trigger();
    EXPECT_EQ(fakes.dialogs.questions, QStringList{kQuestion});
    EXPECT_TRUE(server.requests.isEmpty());
    EXPECT_TRUE(fakes.shell.starts.empty());
    EXPECT_FALSE(ended);
}

TEST_F(Updates, AnOlderLocalUpdaterIsReplacedThenStartedWithTheTwoPaths)
{
    struct Row {
        int major, minor;
        const char *server;
        bool download;
    };
    const Row rows[] = {
        {1, 2, "1.3", true},
        {1, 9, "1.10", true}, // 1.10 is newer than 1.9
        {1, 3, "1.3", false},
        {1, 10, "1.9", false},
        {2, 0, "1.3", false},
    };
    const QByteArray newProgram = recordingUpdater(9, 9) + "new";
    for (const Row &row : rows) {
        SCOPED_TRACE(row.server);
        ended = false;
        fakes.shell.starts.clear();
        fakes.dialogs.messages.clear();
        QFile::remove(updaterUpdate());
        const QByteArray oldProgram = recordingUpdater(row.major, row.minor);
        ASSERT_TRUE(writeUpdater(updater(), oldProgram));
        serveUpdater(row.server, newProgram);
        start();
        updates().UpdateEditor();

        const QString local = QStringLiteral("%1.%2").arg(row.major).arg(row.minor);
        const QString logged = QStringLiteral("updater version on server: %1\nlocal updater exists, check version...\n"
                                              "currentUpdaterVersion: %2\n%3\n%4")
                                   .arg(row.server, local, QString(row.server).remove('.'), QString(local).remove('.'));
        EXPECT_TRUE(log().contains(logged)) << log().toStdString();
        EXPECT_EQ(readFile(updater()), oldProgram);
        std::vector<FakeShell::Start> expected;
        if (row.download) {
            EXPECT_TRUE(log().contains("New version of the updater found on server, downloading the new updater..."));
            EXPECT_EQ(fakes.dialogs.messages, QStringList{kDownloaded});
            EXPECT_EQ(readFile(updaterUpdate()), newProgram);
            EXPECT_TRUE(QFileInfo(updaterUpdate()).isExecutable());
            expected.push_back({updater(), {}, fakes.paths.programFolder()});
        } else {
            EXPECT_TRUE(fakes.dialogs.messages.isEmpty());
            EXPECT_FALSE(QFileInfo::exists(updaterUpdate()));
        }
        expected.push_back({updater(), {tempTarget(), fakes.paths.programFile()}, fakes.paths.programFolder()});
        ASSERT_EQ(fakes.shell.starts.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(fakes.shell.starts[i].program, expected[i].program);
            EXPECT_EQ(fakes.shell.starts[i].arguments, expected[i].arguments);
            EXPECT_EQ(fakes.shell.starts[i].workingFolder, expected[i].workingFolder);
        }
        // The editor ended as when its window closes: the log was appended.
        EXPECT_TRUE(ended);
        EXPECT_TRUE(readFile(logFile()).contains("updater version on server: "));
        editor.reset();
    }
}

TEST_F(Updates, WithoutALocalUpdaterTheDownloadGoesIntoPlaceAsTheUpdater)
{
    const QByteArray program = recordingUpdater(1, 3);
    serveUpdater("1.3", program);
    start();
    updates().UpdateEditor();
    EXPECT_TRUE(log().contains("updater version on server: 1.3\nLocal updater not found, proceed with download..."));
    EXPECT_FALSE(log().contains("check version"));
    EXPECT_EQ(readFile(updater()), program);
    EXPECT_TRUE(QFileInfo(updater()).isExecutable());
    EXPECT_FALSE(QFileInfo::exists(updaterUpdate()));
    EXPECT_EQ(fakes.dialogs.messages, QStringList{kDownloaded});
    ASSERT_EQ(fakes.shell.starts.size(), 2u);
    EXPECT_EQ(fakes.shell.starts[0].program, updater());
    EXPECT_TRUE(fakes.shell.starts[0].arguments.isEmpty());
    EXPECT_EQ(fakes.shell.starts[1].program, updater());
    EXPECT_EQ(fakes.shell.starts[1].arguments, (QStringList{tempTarget(), fakes.paths.programFile()}));
    EXPECT_TRUE(ended);
    // Nothing landed in the working folder.
    EXPECT_FALSE(QFileInfo::exists(QDir::current().filePath("Tharnvik_Win_Updater.exe")));
    EXPECT_FALSE(QFileInfo::exists(QDir::current().filePath("Tharnvik_Win_Updater_Update.exe")));
}

TEST_F(Updates, AFailedDownloadSavesNothingAndStartsOnlyWhatWasThere)
{
    struct Row {
        const char *what;
        LoopbackHttpServer::Route route;
        const char *message;
    };
    LoopbackHttpServer elsewhere;
    const Row rows[] = {
        {"404", {404, "Not Found", "<html>no such file</html>"}, "Download failed: the server answered 404 Not Found"},
        {"cut short", {200, "OK", "MZ half an updater", Mode::CutShort}, "Download failed: "},
        {"empty", {200, "OK", ""}, "Download failed: the server sent an empty file"},
        {"silent", {200, "OK", {}, Mode::Silent}, "Download failed: No answer from the server within 1 s"},
        {"redirect elsewhere", {302, "Found", {}, Mode::Answer, (elsewhere.baseUrl() + "/u.exe").toUtf8()},
         "Download failed: The server sent the request on to another address"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        for (const bool localUpdater : {true, false}) {
            SCOPED_TRACE(localUpdater ? "beside an old updater" : "without an updater");
            ended = false;
            fakes.shell.starts.clear();
            fakes.dialogs.messages.clear();
            QFile::remove(updater());
            QFile::remove(updater() + ".sig");
            ASSERT_TRUE(writeFile(updaterUpdate(), "an earlier download"));
            if (localUpdater) {
                ASSERT_TRUE(writeUpdater(updater(), recordingUpdater(1, 2)));
            }
            server.answer(kUpdaterVersion, "1.3");
            server.route(kUpdaterDownload, row.route);
            start();
            updates().UpdateEditor();
            ASSERT_FALSE(fakes.dialogs.messages.isEmpty());
            EXPECT_TRUE(fakes.dialogs.messages[0].startsWith(QLatin1String(row.message))) << fakes.dialogs.messages[0].toStdString();
            EXPECT_EQ(readFile(updaterUpdate()), QByteArray("an earlier download"));
            EXPECT_EQ(QFileInfo::exists(updater()), localUpdater);
            // The updater and its signature, and the earlier download.
            EXPECT_EQ(QDir(fakes.paths.programFolder()).entryList(QDir::Files | QDir::Hidden).size(), localUpdater ? 3 : 1);
            if (localUpdater) {
                // Only the updater's start with the two paths, never one without.
                EXPECT_EQ(fakes.dialogs.messages.size(), 1);
                ASSERT_EQ(fakes.shell.starts.size(), 1u);
                EXPECT_EQ(fakes.shell.starts[0].arguments.size(), 2);
            } else {
                // Without an updater there is nothing to check, so nothing is
                // handed to the shell: the start fails as it would there.
                EXPECT_EQ(fakes.dialogs.messages, (QStringList{fakes.dialogs.messages[0], kLaunchFailed}));
                EXPECT_TRUE(fakes.shell.starts.empty());
            }
            EXPECT_TRUE(ended);
            editor.reset();
        }
    }
    EXPECT_TRUE(elsewhere.requests.isEmpty());
}

// ---------------------------------------------------------------- the maker's signature

TEST_F(Updates, ADownloadWithoutTheMakersSignatureIsNeitherKeptNorStarted)
{
    const QByteArray program = recordingUpdater(1, 3);
    const SigningKey stranger;
    struct Row {
        const char *what;
        LoopbackHttpServer::Route signature;
        const char *reason;
    };
    const Row rows[] = {
        {"missing", {404, "Not Found", "no such file"}, "the updater's signature is missing: the server answered 404 Not Found"},
        {"empty", {200, "OK", ""}, "the updater's signature is missing: the server sent an empty file"},
        {"silent", {200, "OK", {}, Mode::Silent}, "the updater's signature is missing: No answer from the server within 1 s"},
        {"another key's", {200, "OK", stranger.sign(program)}, "the updater's signature does not match"},
        {"of the file before a change", {200, "OK", key.sign(recordingUpdater(1, 2))}, "the updater's signature does not match"},
        {"a byte short", {200, "OK", key.sign(program).chopped(1)}, "the updater's signature does not match"},
    };
    const QByteArray old = recordingUpdater(1, 2);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        for (const bool localUpdater : {true, false}) {
            SCOPED_TRACE(localUpdater ? "beside an old updater" : "without an updater");
            ended = false;
            fakes.shell.starts.clear();
            fakes.dialogs.messages.clear();
            QDir programFolder(fakes.paths.programFolder());
            for (const QString &file : programFolder.entryList(QDir::Files | QDir::Hidden))
                programFolder.remove(file);
            if (localUpdater) {
                ASSERT_TRUE(writeUpdater(updater(), old));
            }
            server.answer(kUpdaterVersion, "1.3");
            server.answer(kUpdaterDownload, program);
            server.route(kUpdaterSignature, row.signature);
            start();
            updates().UpdateEditor();
            ASSERT_FALSE(fakes.dialogs.messages.isEmpty());
            EXPECT_EQ(fakes.dialogs.messages[0], QStringLiteral("Download failed: ") + row.reason);
            // Nothing of the download was kept, let alone made executable;
            // the folder it waited in went with it.
            EXPECT_EQ(QDir(fakes.paths.programFolder()).entryList(QDir::Files | QDir::Hidden),
                      localUpdater ? QStringList({"Tharnvik_Win_Updater.exe", "Tharnvik_Win_Updater.exe.sig"}) : QStringList());
            if (localUpdater) {
                EXPECT_EQ(readFile(updater()), old);
            }
            EXPECT_TRUE(QDir(fakes.paths.tempFolder()).entryList({"tharnvik-download-*"}, QDir::Dirs | QDir::Hidden).isEmpty());
            // No start without arguments: only the maker's updater that was
            // there gets the two paths, as after any failed download.
            if (localUpdater) {
                EXPECT_EQ(fakes.dialogs.messages.size(), 1);
                ASSERT_EQ(fakes.shell.starts.size(), 1u);
                EXPECT_EQ(fakes.shell.starts[0].arguments, (QStringList{tempTarget(), fakes.paths.programFile()}));
            } else {
                EXPECT_EQ(fakes.dialogs.messages.size(), 2);
                EXPECT_TRUE(fakes.shell.starts.empty());
            }
            EXPECT_TRUE(ended);
            editor.reset();
        }
    }
}

TEST_F(Updates, ALocalUpdaterThatIsNotTheMakersIsNeverStarted)
{
    const QByteArray genuine = recordingUpdater(1, 3);
    const SigningKey stranger;
    struct Row {
        const char *what;
        QByteArray program;
        std::optional<QByteArray> signature;
        const char *why;
    };
    const Row rows[] = {
        {"changed after signing", genuine + "# swapped", key.sign(genuine), "does not match its signature."},
        {"signed by another key", genuine, stranger.sign(genuine), "does not match its signature."},
        {"without a signature", genuine, std::nullopt, "has no signature beside it."},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        for (const bool serverSigned : {true, false}) {
            SCOPED_TRACE(serverSigned ? "the server offers the maker's updater" : "the server's updater is not signed");
            ended = false;
            fakes.shell.starts.clear();
            fakes.dialogs.messages.clear();
            ASSERT_TRUE(writeFile(updater(), row.program));
            QFile::remove(updater() + ".sig");
            if (row.signature) {
                ASSERT_TRUE(writeFile(updater() + ".sig", *row.signature, false));
            }
            // The server's version is the local one: only the signature
            // calls for the download.
            server.answer(kUpdaterVersion, "1.3");
            server.answer(kUpdaterDownload, genuine);
            server.answer(kUpdaterSignature, serverSigned ? key.sign(genuine) : stranger.sign(genuine));
            start();
            updates().UpdateEditor();
            EXPECT_TRUE(log().contains("updater version on server: 1.3\nLocal updater has no matching signature, proceed with download..."))
                << log().toStdString();
            if (serverSigned) {
                // The maker's updater took its place and was started.
                EXPECT_EQ(fakes.dialogs.messages, QStringList{kDownloaded});
                EXPECT_EQ(readFile(updater()), genuine);
                EXPECT_EQ(readFile(updater() + ".sig"), key.sign(genuine));
                EXPECT_FALSE(QFileInfo::exists(updaterUpdate()));
                EXPECT_EQ(fakes.shell.starts.size(), 2u);
            } else {
                EXPECT_EQ(fakes.dialogs.messages,
                          (QStringList{"Download failed: the updater's signature does not match",
                                       QStringLiteral("Update stopped: the updater \"%1\" %2").arg(updater(), row.why)}));
                EXPECT_EQ(readFile(updater()), row.program);
                EXPECT_TRUE(fakes.shell.starts.empty());
            }
            EXPECT_TRUE(ended);
            editor.reset();
        }
    }
}

TEST_F(Updates, TheEditorTrustsTheMakersKeyAlone)
{
    // The key built in is the one in the key file the build was given.
    QFile keyFile(QStringLiteral(THARNVIK_UPDATER_PUBLIC_KEY_FILE));
    ASSERT_TRUE(keyFile.open(QIODevice::ReadOnly | QIODevice::Text));
    QByteArray hex;
    for (const QByteArray &line : keyFile.readAll().split('\n'))
        if (!line.trimmed().startsWith('#'))
            hex += line.trimmed();
    EXPECT_EQ(UpdaterSignature::makerKey(), QByteArray::fromHex(hex));
    EXPECT_EQ(UpdaterSignature::makerKey().size(), 32);

    // An editor left with it refuses an updater signed with any other key.
    serveUpdater("1.3", recordingUpdater(1, 3));
    editor = std::make_unique<Editor>(fakes.services());
    updates().UpdateEditor();
    ASSERT_FALSE(fakes.dialogs.messages.isEmpty());
    EXPECT_EQ(fakes.dialogs.messages[0], QStringLiteral("Download failed: the updater's signature does not match"));
    EXPECT_FALSE(QFileInfo::exists(updater()));
    EXPECT_TRUE(fakes.shell.starts.empty());
}

// Passes requests on to the real client, letting a test look around first.
class WatchedNetwork final : public Network {
public:
    explicit WatchedNetwork(Network &inner) : m_inner(inner) {}
    HttpReply get(const QString &url, qint64 maxBody, QIODevice *sink) override
    {
        if (beforeGet)
            beforeGet(url);
        return m_inner.get(url, maxBody, sink);
    }
    void getLater(const QString &url, qint64 maxBody, QObject *context, std::function<void(const HttpReply &)> done) override
    {
        m_inner.getLater(url, maxBody, context, std::move(done));
    }
    std::function<void(const QString &)> beforeGet;

private:
    Network &m_inner;
};

int modeOf(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

TEST_F(Updates, TheDownloadAndTheUpdateWaitInPrivateFolders)
{
    WatchedNetwork watched(http);
    fakes.network = &watched;
    QStringList downloadFolders;
    int downloadFolderMode = -1;
    bool downloadExecutable = true;
    watched.beforeGet = [&](const QString &url) {
        if (!url.endsWith(QLatin1String(kUpdaterSignature)))
            return;
        // The updater is in; its signature comes next.
        const QDir temp(fakes.paths.tempFolder());
        downloadFolders = temp.entryList({"tharnvik-download-*"}, QDir::Dirs | QDir::Hidden);
        if (downloadFolders.size() == 1) {
            downloadFolderMode = modeOf(temp.filePath(downloadFolders[0]));
            downloadExecutable = QFileInfo(temp.filePath(downloadFolders[0] + "/Tharnvik_Win_Updater.exe")).isExecutable();
        }
    };
    serveUpdater("1.3", recordingUpdater(1, 3));
    start();
    updates().UpdateEditor();
    EXPECT_EQ(fakes.dialogs.messages, QStringList{kDownloaded});
    EXPECT_EQ(downloadFolders.size(), 1);
    EXPECT_EQ(downloadFolderMode, 0700);
    EXPECT_FALSE(downloadExecutable);
    // The download's folder has gone; the update's stays for the updater,
    // which writes the update there.
    EXPECT_TRUE(QDir(fakes.paths.tempFolder()).entryList({"tharnvik-download-*"}, QDir::Dirs | QDir::Hidden).isEmpty());
    ASSERT_EQ(updateFolders().size(), 1);
    ASSERT_EQ(fakes.shell.starts.size(), 2u);
    EXPECT_EQ(fakes.shell.starts[1].arguments[0], tempTarget());
    EXPECT_EQ(modeOf(QFileInfo(tempTarget()).path()), 0700);
    EXPECT_FALSE(QFileInfo::exists(tempTarget()));
    editor.reset();

    // A start that failed takes the update's folder away again.
    fakes.shell.startResult = false;
    start();
    updates().UpdateEditor();
    EXPECT_EQ(fakes.dialogs.messages.last(), kLaunchFailed);
    EXPECT_TRUE(updateFolders().isEmpty());
    editor.reset();

    // Without a folder for the update nothing is started.
    fakes.shell.startResult = true;
    fakes.shell.starts.clear();
    fakes.dialogs.messages.clear();
    ended = false;
    fakes.paths.setTempFolder(QDir(fakes.paths.root()).filePath("no such folder"));
    start();
    updates().UpdateEditor();
    ASSERT_EQ(fakes.dialogs.messages.size(), 1);
    EXPECT_TRUE(fakes.dialogs.messages[0].startsWith(QLatin1String("Update stopped: cannot make a private folder in \"")))
        << fakes.dialogs.messages[0].toStdString();
    EXPECT_TRUE(fakes.shell.starts.empty());
    EXPECT_FALSE(ended);
}

TEST_F(Updates, AMissingProgramFolderGivesDownloadFailed)
{
    serveUpdater("1.3", recordingUpdater(1, 3));
    fakes.paths.setProgramFolder(QDir(fakes.paths.root()).filePath("no such folder"));
    start();
    updates().UpdateEditor();
    ASSERT_FALSE(fakes.dialogs.messages.isEmpty());
    EXPECT_TRUE(fakes.dialogs.messages[0].startsWith(QLatin1String("Download failed: cannot write \"")))
        << fakes.dialogs.messages[0].toStdString();
    EXPECT_FALSE(QFileInfo::exists(fakes.paths.programFolder()));
}

TEST_F(Updates, AProgramFolderWithoutWritePermissionGivesDownloadFailed)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "file permissions do not bind root";
    serveUpdater("1.3", recordingUpdater(1, 3));
    const QString readOnly = QDir(fakes.paths.root()).filePath("read only");
    QDir().mkpath(readOnly);
    QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    fakes.paths.setProgramFolder(readOnly);
    start();
    updates().UpdateEditor();
    QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    ASSERT_FALSE(fakes.dialogs.messages.isEmpty());
    EXPECT_TRUE(fakes.dialogs.messages[0].startsWith(QLatin1String("Download failed: cannot write \"")))
        << fakes.dialogs.messages[0].toStdString();
    EXPECT_TRUE(QDir(readOnly).isEmpty());
}

TEST_F(Updates, WhenTheVersionsCannotBeComparedTheEditorStaysOpen)
{
    struct Row {
        const char *what;
        LoopbackHttpServer::Route route;
        QByteArray localUpdater;
        const char *message;
    };
    const Row rows[] = {
        {"silent server", {200, "OK", {}, Mode::Silent}, recordingUpdater(1, 2), "No answer from the server within 1 s"},
        {"error status", {500, "Internal Server Error", "oops"}, recordingUpdater(1, 2), "Error: Internal Server Error"},
        {"line end", {200, "OK", "1.3\n"}, recordingUpdater(1, 2), "Update stopped: the server did not answer with a version number."},
        {"binary", {200, "OK", QByteArray("\x00\xff\x01\x02", 4)}, recordingUpdater(1, 2),
         "Update stopped: the server did not answer with a version number."},
        {"huge", {200, "OK", QByteArray(100'000, '1')}, recordingUpdater(1, 2), "The server's answer is larger than 1024 bytes"},
        {"no version data", {200, "OK", "1.3"}, recordingUpdater(-1, 0), "Update stopped: the updater \""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        ended = false;
        fakes.shell.starts.clear();
        fakes.dialogs.messages.clear();
        ASSERT_TRUE(writeUpdater(updater(), row.localUpdater));
        server.route(kUpdaterVersion, row.route);
        server.answer(kUpdaterDownload, "never fetched");
        server.requests.clear();
        start();
        updates().UpdateEditor();
        ASSERT_EQ(fakes.dialogs.messages.size(), 1) << fakes.dialogs.messages.join('|').toStdString();
        EXPECT_TRUE(fakes.dialogs.messages[0].startsWith(QLatin1String(row.message))) << fakes.dialogs.messages[0].toStdString();
        EXPECT_EQ(server.requests, QStringList{kUpdaterVersion});
        EXPECT_TRUE(fakes.shell.starts.empty());
        EXPECT_FALSE(ended);
        editor.reset();
    }
}

TEST_F(Updates, AnErrorStatusWithoutALocalUpdaterStillDownloads)
{
    server.route(kUpdaterVersion, {500, "Internal Server Error", "oops"});
    serveProgram(recordingUpdater(1, 3));
    start();
    updates().UpdateEditor();
    EXPECT_EQ(fakes.dialogs.messages, (QStringList{"Error: Internal Server Error", kDownloaded}));
    EXPECT_TRUE(QFileInfo(updater()).isExecutable());
    EXPECT_EQ(fakes.shell.starts.size(), 2u);
    EXPECT_TRUE(ended);
}

TEST_F(Updates, AnUpdaterThatCannotStartIsReportedAndTheEditorEnds)
{
    ASSERT_TRUE(writeUpdater(updater(), recordingUpdater(1, 3)));
    serveUpdater("1.3", "unused");
    fakes.shell.startResult = false;
    start();
    updates().UpdateEditor();
    EXPECT_EQ(fakes.dialogs.messages, QStringList{kLaunchFailed});
    EXPECT_TRUE(ended);
}

// The real launch: a recording stand-in for the updater in a program folder
// with blanks in its path, started by the editor's own shell.
class RealLaunch : public Updates {
protected:
    void SetUp() override
    {
        Updates::SetUp();
        QDir root(fakes.paths.root());
        root.mkpath(QStringLiteral("Program Files/Tharnvik Editor"));
        root.mkpath(QStringLiteral("My Temp"));
        fakes.paths.setProgramFolder(root.filePath(QStringLiteral("Program Files/Tharnvik Editor")));
        fakes.paths.setTempFolder(root.filePath(QStringLiteral("My Temp")));
    }
    Services services()
    {
        Services s = fakes.services();
        return Services{s.dialogs, s.clock, s.paths, shell, s.ftd2xx, s.network};
    }
    void startReal()
    {
        editor = std::make_unique<Editor>(services());
        QObject::connect(&main(), &TformMain::closed, &main(), [this] { ended = true; });
        updates().setTrustedKey(key.publicKey());
    }
    QStringList records(int count)
    {
        const QString path = programFile("record.txt");
        (void)QTest::qWaitFor([&] { return readFile(path).count('\n') >= count; }, 20'000);
        return QString::fromUtf8(readFile(path)).split('\n', Qt::SkipEmptyParts);
    }
    DesktopShell shell;
};

TEST_F(RealLaunch, TheUpdaterGetsEachPathAsOneArgumentAndTheProgramFolder)
{
    ASSERT_TRUE(writeUpdater(updater(), recordingUpdater(1, 3)));
    serveUpdater("1.3", "unused");
    startReal();
    updates().UpdateEditor();
    EXPECT_TRUE(fakes.dialogs.messages.isEmpty()) << fakes.dialogs.messages.join('|').toStdString();
    const QString expected = QStringList{"2", fakes.paths.programFolder(), tempTarget(), fakes.paths.programFile()}.join('|');
    EXPECT_EQ(records(1), QStringList{expected});
    EXPECT_TRUE(ended);
}

TEST_F(RealLaunch, ADownloadedUpdaterIsMadeExecutableAndStartedTwice)
{
    serveUpdater("1.3", recordingUpdater(1, 3));
    startReal();
    updates().UpdateEditor();
    EXPECT_EQ(fakes.dialogs.messages, QStringList{kDownloaded});
    const QStringList runs = records(2);
    ASSERT_EQ(runs.size(), 2);
    const QString withPaths = QStringList{"2", fakes.paths.programFolder(), tempTarget(), fakes.paths.programFile()}.join('|');
    const QString bare = QStringList{"0", fakes.paths.programFolder()}.join('|');
    // Both detached: either may write first.
    EXPECT_TRUE((runs == QStringList{bare, withPaths}) || (runs == QStringList{withPaths, bare})) << runs.join('\n').toStdString();
}

TEST_F(RealLaunch, ASwappedUpdaterNeverRuns)
{
    const QByteArray genuine = recordingUpdater(1, 3);
    ASSERT_TRUE(writeFile(updater(), genuine + "# swapped"));
    ASSERT_TRUE(writeFile(updater() + ".sig", key.sign(genuine), false));
    server.answer(kUpdaterVersion, "1.3");
    server.answer(kUpdaterDownload, genuine);
    server.answer(kUpdaterSignature, SigningKey().sign(genuine));
    startReal();
    updates().UpdateEditor();
    EXPECT_EQ(fakes.dialogs.messages,
              (QStringList{"Download failed: the updater's signature does not match",
                           QStringLiteral("Update stopped: the updater \"%1\" does not match its signature.").arg(updater())}));
    QTest::qWait(500);
    EXPECT_FALSE(QFileInfo::exists(programFile("record.txt")));
}

TEST_F(RealLaunch, NoUpdaterAnywhereGivesTheLaunchMessage)
{
    server.answer(kUpdaterVersion, "1.3");
    server.route(kUpdaterDownload, {404, "Not Found", "none"});
    startReal();
    updates().UpdateEditor();
    EXPECT_EQ(fakes.dialogs.messages, (QStringList{"Download failed: the server answered 404 Not Found", kLaunchFailed}));
    EXPECT_TRUE(ended);
}

} // namespace
