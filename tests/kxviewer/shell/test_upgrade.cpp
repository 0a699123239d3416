// Updates end to end against servers in this process: the signed version
// file, the package, the question, and the upgrader or installer started.
#include <cerrno>
#include <csignal>
#include <cstring>
#include <deque>
#include <memory>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QCheckBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QTest>

#include "httpfixture.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/prefdialog.h"
#include "kxviewer/prefpagegeneral.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/upgrade.h"
#include "kxviewer/upgraderresult.h"
#include "kxviewer/upgradesettings.h"
#include "utils/osal/privatedir.h"
#include "shellfixture.h"
#include "signingkey.h"
#include "tests/utils/osal/otherowners.h"
#include "tests/utils/osal/specialfiles.h"
#include "tests/widgetmetrics.h"
#include "upgraderfixture.h"

using namespace shelltest;

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A self-signed certificate for 127.0.0.1, made with the openssl tool; as its own CA it is trusted by every
// request of the process.
struct TestCa {
    TestCa()
    {
        QProcess openssl;
        openssl.start("openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                                  "-keyout", dir.filePath("key"), "-out", dir.filePath("pem"), "-days", "2", "-subj",
                                  "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1"});
        EXPECT_TRUE(openssl.waitForFinished(20000) && openssl.exitCode() == 0)
            << openssl.readAllStandardError().toStdString();
        certificate = ReadAll(dir.filePath("pem"));
        key = ReadAll(dir.filePath("key"));
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setCaCertificates(QSslCertificate::fromData(certificate));
        QSslConfiguration::setDefaultConfiguration(configuration);
    }
    QTemporaryDir dir;
    QByteArray certificate;
    QByteArray key;
};

QByteArray Script(const QByteArray& body) { return "#!/bin/sh\n" + body + "\n"; }

QByteArray PackageLine(const char* name, const QByteArray& bytes)
{
    return QByteArray(name) + ' ' + QByteArray::number(bytes.size()) + ' ' +
           QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex() + '\n';
}

// The version file naming one package as both the executable and the installer.
QByteArray VersionFile(const char* version, const QByteArray& package)
{
    return QByteArray(version) + '\n' + PackageLine("executable", package) + PackageLine("installer", package);
}

// What differs from a plain server with a good signed version file and package. OTHER_KEY: version.sig made
// with a key we do not trust; CANCELLED: Cancel pressed in the progress dialog while the package stalls;
// NO_ADDRESS and REMOTE_HTTP give the program no usable server address; SWAPPED: the downloaded file changes
// while the question is open; FORCED: the preference ForceUpgradeFromGui asks for the executable; DUE and
// NOT_DUE: the automatic check at start-up instead of the menu's, its time passed or not; NO_ADDRESS_DUE and
// NO_ADDRESS_APPLIED: the automatic check without an address, at start-up or from the preferences' Apply.
// Someone else got at the work folder first: WORK_OPEN made it open to all, WORK_LINKED put a link to another
// folder in its place, FILE_LINKED a link to a file that does not exist yet in place of the first download.
// Someone else swaps the work folder for their own after it was checked: VERSION_SWAPPED for a link to a
// folder of the user's own files, REDIRECT_SWAPPED for another folder while the version file is redirected,
// INSTALLER_SWAPPED for a folder with another installer, between the installer's last check and its start.
// EXECUTABLE_SWAPPED for another folder before the new viewer is downloaded.
// NOT_A_PROGRAM: the signed installer is no program the system can start. NO_SAFE_PLACE: the temporary and the
// cache folder are open to all, and there is no runtime folder. WORK_TAKEN: the work folder chosen at start has
// been made open to all since, and a private runtime folder is free.
enum class Twist { NONE, TLS, OTHER_KEY, TAMPERED, TRUNCATED, STALLED, CANCELLED, OVERSIZED, NOT_FOUND,
    REDIRECT_LOOP, HTTPS_TO_HTTP, NO_ADDRESS, REMOTE_HTTP, OUTPUT_BLOCKED, FILE_SIZE_LIMIT, PROGRAM_DIR_BLOCKED,
    SWAPPED, FORCED, DUE, NOT_DUE, NO_ADDRESS_DUE, NO_ADDRESS_APPLIED, WORK_OPEN, WORK_LINKED, FILE_LINKED, NO_SAFE_PLACE,
    VERSION_SWAPPED, REDIRECT_SWAPPED, INSTALLER_SWAPPED, EXECUTABLE_SWAPPED, NOT_A_PROGRAM, WORK_TAKEN };

// Answers like ScriptedPrompt; before a question, overwrites a file (when path names one).
class SwappingPrompt : public ScriptedPrompt {
public:
    explicit SwappingPrompt(const QString& path) : path_(path) {}
    QMessageBox::StandardButton Message(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                        const QString& text, QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton) override
    {
        QFile file(path_);
        if (icon == QMessageBox::Question && file.open(QIODevice::ReadWrite))
            file.write("X");
        return ScriptedPrompt::Message(parent, icon, title, text, buttons, defaultButton);
    }

private:
    QString path_;
};

// Files of this process stop growing at 64 KiB while it lives.
struct FileSizeLimit {
    explicit FileSizeLimit(bool on)
    {
        getrlimit(RLIMIT_FSIZE, &kept);
        const rlimit low{64 * 1024, kept.rlim_max};
        signal(SIGXFSZ, SIG_IGN);
        if (on)
            setrlimit(RLIMIT_FSIZE, &low);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &kept); }
    rlimit kept{};
};

// With a folder named, the work folder has no place but there or in the runtime folder when one is named: the
// folder is the temporary and the cache folder. Everything is as it was afterwards.
class UnsafePlaces {
public:
    explicit UnsafePlaces(const QString& folder, const QString& runtime = QString())
        : savedWork_(PrefGlobal::WorkDir)
    {
        for (const char* name : NAMES)
            saved_.push_back(qgetenv(name));
        if (folder.isEmpty())
            return;
        UpgradeSettings::WorkDir.clear();
        PrefGlobal::WorkDir.clear();
        qputenv(NAMES[0], QFile::encodeName(folder));
        runtime.isEmpty() ? qunsetenv(NAMES[1]) : qputenv(NAMES[1], QFile::encodeName(runtime));
        qputenv(NAMES[2], QFile::encodeName(folder));
    }
    ~UnsafePlaces()
    {
        for (size_t i = 0; i < saved_.size(); ++i)
            saved_[i].isNull() ? qunsetenv(NAMES[i]) : qputenv(NAMES[i], saved_[i]);
        PrefGlobal::WorkDir = savedWork_;
    }

private:
    static constexpr const char* NAMES[] = {"TMPDIR", "XDG_RUNTIME_DIR", "XDG_CACHE_HOME"};
    std::vector<QByteArray> saved_;
    std::string savedWork_;
};

struct UpdateCase {
    const char* name;
    const char* version;
    std::deque<QMessageBox::StandardButton> answers;
    std::vector<QString> shown; // what the user is shown, in order; a trailing '*' matches a prefix, {work}
                                // stands for the work folder, {error} for the system's text of error
    Twist twist = Twist::NONE;
    QString logged{};     // a System Log line that must be there; empty: none asked
    QByteArray started{}; // what the started upgrader or installer wrote; empty: nothing started
    int error = 0;
};

void PrintTo(const UpdateCase& c, std::ostream* out) { *out << c.name; }

class UpgradeFlow : public MainWindowTest, public testing::WithParamInterface<UpdateCase> {
protected:
    static void SetUpTestSuite()
    {
        PrepareProcess();
        PrefGlobal::Load();
        ca = new TestCa();
    }
    static void TearDownTestSuite() { delete ca; }

    void SetUp() override
    {
        MainWindowTest::SetUp();
        UpgradeSettings::WorkDir = root.path() + "/work";
        UpgradeSettings::ProgramDir = root.path() + "/program";
        UpgradeSettings::PublicKeyPem = trusted.PublicPem();
        UpgradeSettings::StallMs = 30000;
        QDir().mkpath(UpgradeSettings::ProgramDir);
        PrefGlobal::ForceUpgradeFromGui = 0;
    }
    void TearDown() override
    {
        ZmLib::PrivateDir::AfterCheck = nullptr;
        Upgrade::BeforeInstallerStart = nullptr;
        UpgradeSettings::Url.clear();
        UpgradeSettings::WorkDir.clear();
        UpgradeSettings::ProgramDir.clear();
        MainWindowTest::TearDown();
    }

    static TestCa* ca;
    SigningKey trusted;
    QTemporaryDir root;
};

TestCa* UpgradeFlow::ca = nullptr;

const char* const NEW = "2.1.3993.3";
const QString ASK = "New version 2.1.3993.3 available.\nTo upgrade?";
const QString UP_TO_DATE = "The version is up to date";
const QString NO_SITE = "Connect to the application site failed";
const QString CONNECT_ERROR = "An error occurred when connecting to the upgrade site";
const QString REJECTED = "The downloaded update failed verification and was deleted";
const QString UNSAVED = "Unable to save the file *";
const QString SHA_FAILED = "Package verification failed: SHA-256 ";
const auto YES = QMessageBox::Yes;
const auto NO = QMessageBox::No;
using T = Twist;

TEST_P(UpgradeFlow, EndsAsTheServerAndTheUserDecide)
{
    const UpdateCase& c = GetParam();
    const Twist t = c.twist;
    const QString log = root.path() + "/started.log";
    const QByteArray record = "printf '%s\\n' \"$@\" > " + ShellWord(log);
    // The package is itself a script: the installer case runs it.
    const QByteArray package =
        (t == T::NOT_A_PROGRAM ? QByteArray("no program\n") : Script(record)) + QByteArray(200 * 1024, '#');
    const QByteArray versionFile = VersionFile(c.version, package);

    TestHttpServer plain;
    TestHttpServer secure(ca->certificate, ca->key);
    TestHttpServer& server = t == T::TLS || t == T::HTTPS_TO_HTTP ? secure : plain;
    server.routes["/version"].body = versionFile;
    server.routes["/version.sig"].body = t == T::OTHER_KEY ? SigningKey().Sign(versionFile) : trusted.Sign(versionFile);
    for (const char* name : {"/KxViewer", "/KxViewerSetup.run"}) {
        HttpRoute& route = server.routes[name];
        route.body = package;
        if (t == T::TAMPERED)
            route.body[20] = 'X';
        if (t == T::OVERSIZED)
            route.body += "more";
        route.hold = t == T::STALLED || t == T::CANCELLED;
        if (t == T::TRUNCATED || route.hold)
            route.sendBytes = package.size() / 2;
    }
    if (t == T::NOT_FOUND)
        server.routes.remove("/version");
    if (t == T::REDIRECT_SWAPPED) {
        server.routes["/moved/version"].body = versionFile;
        server.routes["/version"] = HttpRoute{"302 Found", "Location: /moved/version\r\n", {}, -1, false, 0};
    }
    if (t == T::REDIRECT_LOOP || t == T::HTTPS_TO_HTTP) {
        const QByteArray to = t == T::HTTPS_TO_HTTP ? plain.Url().toLatin1() : QByteArray("/");
        server.routes["/version"] = HttpRoute{"302 Found", "Location: " + to + "version\r\n", {}, -1, false, 0};
    }
    if (&server == &secure)
        plain.routes["/version"].body = versionFile;

    // The upgrader also keeps what it reads from its standard input.
    const QString upgrader = UpgradeSettings::ProgramDir + "/Upgrader";
    const QString received = root.path() + "/received";
    ASSERT_TRUE(WriteAll(upgrader, Script("cat > " + ShellWord(received) + "\n" + record)));
    QFile::setPermissions(upgrader, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString work = UpgradeSettings::WorkDir;
    const QString elsewhere = root.path() + "/elsewhere";
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    if (t == T::OUTPUT_BLOCKED || t == T::FILE_LINKED || t == T::WORK_OPEN || t == T::NO_SAFE_PLACE) {
        ASSERT_EQ(mkdir(QFile::encodeName(work).constData(), 0700), 0);
    }
    if (t == T::WORK_OPEN || t == T::NO_SAFE_PLACE)
        chmod(QFile::encodeName(work).constData(), 0777);
    const QString taken = root.path() + "/KXviewer-" + QString::number(geteuid());
    const QString runtime = root.path() + "/runtime";
    if (t == T::WORK_TAKEN) {
        ASSERT_EQ(mkdir(QFile::encodeName(runtime).constData(), 0700), 0);
        ASSERT_EQ(mkdir(QFile::encodeName(taken).constData(), 0700), 0);
        chmod(QFile::encodeName(taken).constData(), 0777);
    }
    const UnsafePlaces unsafe(t == T::NO_SAFE_PLACE ? work : t == T::WORK_TAKEN ? root.path() : QString(),
                              t == T::WORK_TAKEN ? runtime : QString());
    if (t == T::WORK_TAKEN)
        PrefGlobal::WorkDir = QFile::encodeName(taken + "/").toStdString();
    if (t == T::OUTPUT_BLOCKED)
        QDir().mkpath(work + "/version");
    if (t == T::WORK_LINKED) {
        ASSERT_TRUE(QFile::link(elsewhere, work));
    }
    if (t == T::FILE_LINKED) {
        ASSERT_TRUE(QFile::link(elsewhere + "/planted", work + "/version"));
    }
    // The other user's folder, with a file of the user's own or another installer in it; after the swap
    // the checked folder is found under its new name.
    const QString theirs = root.path() + "/theirs";
    const QString checked = root.path() + "/checked";
    const QString marker = root.path() + "/marker";
    ASSERT_TRUE(QDir().mkpath(theirs));
    ASSERT_TRUE(WriteAll(theirs + "/version", "mine"));
    ASSERT_TRUE(WriteAll(theirs + "/KxViewerSetup.run", Script("echo wrong > " + ShellWord(marker))));
    QFile::setPermissions(theirs + "/KxViewerSetup.run", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const auto swap = [&, t] {
        ASSERT_TRUE(QDir().rename(work, checked));
        if (t == T::VERSION_SWAPPED) {
            ASSERT_TRUE(QFile::link(theirs, work));
        } else {
            ASSERT_TRUE(QDir().rename(theirs, work));
        }
    };
    if (t == T::VERSION_SWAPPED || t == T::REDIRECT_SWAPPED || t == T::EXECUTABLE_SWAPPED)
        ZmLib::PrivateDir::AfterCheck = [swap](const std::string&) { swap(); };
    if (t == T::INSTALLER_SWAPPED)
        Upgrade::BeforeInstallerStart = swap;
    const bool swapped = t == T::VERSION_SWAPPED || t == T::REDIRECT_SWAPPED || t == T::INSTALLER_SWAPPED ||
                         t == T::EXECUTABLE_SWAPPED;
    if (t == T::PROGRAM_DIR_BLOCKED) {
        ASSERT_TRUE(WriteAll(root.path() + "/file", ""));
        UpgradeSettings::ProgramDir = root.path() + "/file/program";
    }
    const FileSizeLimit fileSizeLimit(t == T::FILE_SIZE_LIMIT);
    if (t == T::STALLED)
        UpgradeSettings::StallMs = 300;
    const bool noAddress = t == T::NO_ADDRESS || t == T::NO_ADDRESS_DUE || t == T::NO_ADDRESS_APPLIED;
    UpgradeSettings::Url = noAddress             ? QString()
                           : t == T::REMOTE_HTTP ? QStringLiteral("http://192.0.2.1/updates/")
                                                 : server.Url();
    if (t == T::FORCED)
        PrefGlobal::ForceUpgradeFromGui = Upgrade::NEW_EXECUTABLE;
    SwappingPrompt asked(t == T::SWAPPED ? UpgradeSettings::WorkDir + "/KxViewer" : QString());
    asked.answers = c.answers;

    if (t == T::DUE || t == T::NOT_DUE || t == T::NO_ADDRESS_DUE) {
        PrefGlobal::NextUpgradeCheck = QDateTime::currentDateTime().addSecs(t == T::NOT_DUE ? 3600 : -1);
        KxvShell().StartUpdateCheck();
    } else if (t == T::NO_ADDRESS_APPLIED) {
        PrefGlobal::NextUpgradeCheck = QDateTime::currentDateTime().addSecs(-1);
        PrefGlobal::AutoUpgrade = false;
        PrefDialog preferences(window.get());
        preferences.show();
        QTest::mouseClick(preferences.General->AutoUpgrade, Qt::LeftButton, {},
                          IndicatorCentre(preferences.General->AutoUpgrade));
        ASSERT_TRUE(preferences.ApplyButton->isEnabled());
        QTest::mouseClick(preferences.ApplyButton, Qt::LeftButton);
        ASSERT_TRUE(PrefGlobal::AutoUpgrade);
    } else {
        window->RunUpgrade();
    }
    if (t == T::CANCELLED) {
        ASSERT_TRUE(WaitUntil([&] { return server.requests.contains("/KxViewer"); }, 10000));
        QProgressDialog* progress = Upgrade::Instance()->Progress();
        ASSERT_NE(progress, nullptr);
        ASSERT_TRUE(progress->isVisible());
        QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
    }
    ASSERT_TRUE(WaitUntil([] { return Upgrade::Instance() == nullptr; }, 15000));

    std::vector<QString> shown;
    for (const PromptCall& call : asked.calls) {
        const size_t i = shown.size();
        const bool prefix = i < c.shown.size() && c.shown[i].endsWith('*');
        shown.push_back(prefix && call.text.startsWith(c.shown[i].chopped(1)) ? c.shown[i] : call.text);
    }
    // The system's texts are in the machine's language, known only now that the application has set it.
    const QString systemText = QString::fromLocal8Bit(strerror(c.error));
    std::vector<QString> expected = c.shown;
    for (QString& text : expected)
        text.replace("{work}", work).replace("{error}", systemText);
    EXPECT_EQ(shown, expected);
    const QString logged = QString(c.logged).replace("{error}", systemText);
    EXPECT_TRUE(logged.isEmpty() || !LinesWith(logged.toStdString()).empty()) << logged.toStdString();
    // Nothing half-fetched or refused stays behind in the work folder, nor the package handed to the upgrader,
    // and nothing is written through a link.
    if (c.started.isEmpty() || c.started == "UPGRADER") {
        EXPECT_EQ(QDir(swapped ? checked : work).entryList(QDir::Files | QDir::NoSymLinks), QStringList());
    }
    EXPECT_EQ(QDir(elsewhere).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    // A folder put in place of the checked one is neither written, emptied nor run from.
    const QString other = t == T::VERSION_SWAPPED || !swapped ? theirs : work;
    EXPECT_EQ(QDir(other).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList({"KxViewerSetup.run", "version"}));
    EXPECT_EQ(ReadAll(other + "/version"), "mine");
    EXPECT_FALSE(QFile::exists(marker));
    // The upgrader gets the ini folder, the signed size and hash, and the package itself as its standard
    // input, no name of it; the installer nothing.
    const QByteArray started =
        c.started != "UPGRADER" ? c.started
                                : QByteArray(PrefGlobal::IniDir.c_str()) + '\n' + QByteArray::number(package.size()) +
                                      '\n' + QCryptographicHash::hash(package, QCryptographicHash::Sha256).toHex() +
                                      '\n';
    WaitUntil([&] { return !ReadAll(log).isEmpty(); }, started.isEmpty() ? 0 : 5000);
    EXPECT_EQ(ReadAll(log), started);
    EXPECT_EQ(ReadAll(received), c.started == "UPGRADER" ? package : QByteArray());
    if (c.answers == std::deque<QMessageBox::StandardButton>{NO}) {
        EXPECT_GT(PrefGlobal::NextUpgradeCheck, QDateTime::currentDateTime().addDays(6));
    }
    if (noAddress || t == T::REMOTE_HTTP || t == T::NOT_DUE || t == T::WORK_OPEN || t == T::WORK_LINKED ||
        t == T::FILE_LINKED || t == T::NO_SAFE_PLACE) {
        EXPECT_TRUE(server.requests.isEmpty());
    }
    // Without an address nothing is tried, so nothing failed either.
    if (noAddress) {
        EXPECT_TRUE(LinesWith(NO_SITE.toStdString()).empty());
        EXPECT_TRUE(LinesWith("Version file error").empty());
    }
    // Due: the version file and its signature, and the package only when it is new.
    if (t == T::DUE) {
        EXPECT_EQ(server.requests.size(), c.shown.empty() ? 2 : 3);
        EXPECT_GT(PrefGlobal::NextUpgradeCheck, QDateTime::currentDateTime().addSecs(3 * 3600));
    }
    if (t == T::REDIRECT_LOOP) {
        EXPECT_EQ(server.requests.size(), 1 + UpgradeSettings::MAX_REDIRECTS);
    }
    // The downloads went to the runtime folder, chosen again, and nothing into the folder others may use.
    if (t == T::WORK_TAKEN) {
        EXPECT_EQ(QDir(taken).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
        EXPECT_EQ(PrefGlobal::WorkDir, QFile::encodeName(runtime + "/KXviewer-" + QString::number(geteuid()) + "/")
                                           .toStdString());
        EXPECT_EQ(server.requests.size(), 2);
    }
    EXPECT_FALSE(UpgradeSettings::Interactive);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, UpgradeFlow,
    testing::Values(
        UpdateCase{"UpToDateOverTls", "2.1.3993.2", {}, {UP_TO_DATE}, T::TLS},
        UpdateCase{"NoAddress", NEW, {}, {"This build has no update address: it cannot check for updates."},
                   T::NO_ADDRESS},
        UpdateCase{"NoAddressAtStart", NEW, {}, {}, T::NO_ADDRESS_DUE},
        UpdateCase{"NoAddressOnApply", NEW, {}, {}, T::NO_ADDRESS_APPLIED},
        // A work folder that someone else could reach into is not used.
        UpdateCase{"WorkFolderOpenToAll", NEW, {}, {"The work folder {work} cannot be used: others may use it "
                   "(mode 0777)"}, T::WORK_OPEN, "The work folder "},
        UpdateCase{"WorkFolderIsALink", NEW, {}, {"The work folder {work} cannot be used: it is a symbolic link"},
                   T::WORK_LINKED},
        // Taken since the start: the next safe place is chosen, as at a start.
        UpdateCase{"WorkFolderTakenSinceTheStart", "2.1.3993.2", {}, {UP_TO_DATE}, T::WORK_TAKEN,
                   "Work files are kept in "},
        UpdateCase{"NoSafePlaceForTheWorkFolder", NEW, {}, {"No folder is safe for work files: not in {work}: others "
                   "may write to {work} and it has no sticky bit (mode 0777); there is no runtime folder; not in "
                   "{work}: others may write to {work} and it has no sticky bit (mode 0777)"}, T::NO_SAFE_PLACE,
                   "No folder is safe for work files: "},
        // Another folder or a link put in place of the checked work folder is never used.
        UpdateCase{"WorkFolderSwappedForALink", "2.1.3993.2", {}, {UP_TO_DATE}, T::VERSION_SWAPPED},
        UpdateCase{"WorkFolderSwappedBeforeARedirect", "2.1.3993.2", {}, {UP_TO_DATE}, T::REDIRECT_SWAPPED},
        UpdateCase{"WorkFolderSwappedBeforeTheInstallerStarts", "3.0.0.0", {YES},
                   {"New version 3.0.0.0 available.\nTo upgrade?"}, T::INSTALLER_SWAPPED, {}, "\n"},
        UpdateCase{"WorkFolderSwappedBeforeTheUpgraderStarts", NEW, {YES}, {ASK}, T::EXECUTABLE_SWAPPED,
                   "About to run new exe: ", "UPGRADER"},
        UpdateCase{"DownloadIsALink", NEW, {}, {"Unable to save the file {work}/version: a symbolic link is in its "
                   "place."}, T::FILE_LINKED},
        UpdateCase{"PlainHttpToARemoteHost", NEW, {}, {NO_SITE}, T::REMOTE_HTTP,
                   "Upgrade address refused: http://192.0.2.1/updates/"},
        // Three parts are no version: nothing is fetched.
        UpdateCase{"ThreePartVersion", "2.1.3994", {}, {NO_SITE}},
        UpdateCase{"PartOverRange", "2.1.65536.0", {}, {NO_SITE}},
        UpdateCase{"GoodExecutable", NEW, {YES}, {ASK}, T::NONE, "About to run new exe: ", "UPGRADER"},
        UpdateCase{"ForcedSameVersion", "2.1.3993.2", {NO}, {"New version 2.1.3993.2 available.\nTo upgrade?"}, T::FORCED},
        UpdateCase{"GoodInstaller", "3.0.0.0", {YES}, {"New version 3.0.0.0 available.\nTo upgrade?"}, T::NONE, {}, "\n"},
        UpdateCase{"AnsweredNo", NEW, {NO}, {ASK}},
        UpdateCase{"InstallerCannotStart", "3.0.0.0", {YES}, {"New version 3.0.0.0 available.\nTo upgrade?",
                   "Install execution error:\n{work}/KxViewerSetup.run"}, T::NOT_A_PROGRAM, "{error}", {}, ENOEXEC},
        // Checked again just before it starts.
        UpdateCase{"ChangedBeforeStart", NEW, {YES}, {ASK, REJECTED}, T::SWAPPED, SHA_FAILED},
        // A rejected package is never "up to date".
        UpdateCase{"TamperedPackage", NEW, {YES}, {REJECTED}, T::TAMPERED, SHA_FAILED},
        UpdateCase{"OversizedPackage", NEW, {YES}, {"Download failed: more than *"}, T::OVERSIZED},
        UpdateCase{"TruncatedPackage", NEW, {YES}, {CONNECT_ERROR}, T::TRUNCATED, "Download failed: "},
        UpdateCase{"StalledPackage", NEW, {YES}, {"Download failed: no data for 0.3 s"}, T::STALLED},
        UpdateCase{"CancelledPackage", NEW, {YES}, {}, T::CANCELLED, "Download failed: Aborted by user"},
        UpdateCase{"BadSignature", NEW, {YES}, {"Version file signature check failed"}, T::OTHER_KEY},
        // After a failed reply nothing reads the deleted file.
        UpdateCase{"VersionNotFound", NEW, {YES}, {CONNECT_ERROR}, T::NOT_FOUND},
        UpdateCase{"RedirectLoop", NEW, {YES}, {CONNECT_ERROR}, T::REDIRECT_LOOP, "Download failed: more than 5 redirects"},
        UpdateCase{"HttpsToHttp", NEW, {YES}, {CONNECT_ERROR}, T::HTTPS_TO_HTTP,
                   "Download failed: redirect from https to http refused"},
        // An output file that cannot be made ends the attempt.
        UpdateCase{"OutputBlocked", NEW, {YES}, {UNSAVED}, T::OUTPUT_BLOCKED},
        // A write that fails names the system's reason.
        UpdateCase{"WriteErrorMidway", NEW, {YES}, {"Unable to save the file {work}/KxViewer: {error}."},
                   T::FILE_SIZE_LIMIT, {}, {}, EFBIG},
        UpdateCase{"ProgramFolderBlocked", NEW, {YES}, {"A new version is available, but the program folder *"},
                   T::PROGRAM_DIR_BLOCKED},
        // The check at start-up waits for its time, tells nothing in boxes, and only the question about a new
        // version reaches the user.
        UpdateCase{"AutomaticNotYetDue", NEW, {}, {}, T::NOT_DUE, "Upgrade will start on: "},
        UpdateCase{"AutomaticUpToDate", "2.1.3993.2", {}, {}, T::DUE, UP_TO_DATE},
        UpdateCase{"AutomaticNewVersion", NEW, {NO}, {ASK}, T::DUE, "KxViewer' downloaded"}),
    [](const testing::TestParamInfo<UpdateCase>& info) { return std::string(info.param.name); });

// What the upgrader left when it kept the previous version is told once at start, in the System Log and a box:
// from the environment of the viewer it started again, else from the ini folder. Neither is left for the next
// start or for the programs the viewer starts.
TEST_F(MainWindowTest, UpgraderFailureIsToldOnceAtStart)
{
    const struct { const char* what; const char* told; QByteArray left; const char* shown; } cases[] = {
        {"started again", "Cannot write x: No space", {}, "Cannot write x: No space"},
        {"a later start", nullptr, "The viewer did not end\n", "The viewer did not end"},
        {"both", "from the environment", "from the file", "from the environment"},
        {"nothing left", nullptr, {}, nullptr},
    };
    const std::string savedIni = PrefGlobal::IniDir;
    QTemporaryDir ini;
    PrefGlobal::IniDir = QFile::encodeName(ini.path() + "/").toStdString();
    const QString file = ini.path() + "/" + UpgraderResult::FAILURE_FILE;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.told != nullptr)
            qputenv(UpgraderResult::FAILURE_VARIABLE, c.told);
        if (!c.left.isEmpty()) {
            ASSERT_TRUE(WriteAll(file, c.left));
        }
        Lines().clear();
        ScriptedPrompt asked;
        Upgrade::TellUpgraderFailure();
        Upgrade::TellUpgraderFailure();
        const QString text = QStringLiteral("The update did not happen, the previous version was kept: ") +
                             QString::fromLatin1(c.shown);
        std::vector<QString> shown;
        for (const PromptCall& call : asked.calls)
            shown.push_back(call.text);
        EXPECT_EQ(shown, c.shown ? std::vector<QString>{text} : std::vector<QString>{});
        EXPECT_EQ(LinesWith("The update did not happen").empty(), c.shown == nullptr);
        EXPECT_FALSE(qEnvironmentVariableIsSet(UpgraderResult::FAILURE_VARIABLE));
        EXPECT_FALSE(QFile::exists(file));
    }
    PrefGlobal::IniDir = savedIni;
}

// An upgrader killed while it copies leaves its copy beside the viewer: the next start removes it and says, in the
// System Log and a box, that the update did not finish. A copy whose upgrader still works is left alone.
TEST_F(MainWindowTest, UnfinishedCopyOfAKilledUpgraderIsRemovedAndToldAtStart)
{
    UpgraderFolders folders;
    const QString& program = folders.program;
    ASSERT_TRUE(folders.Make("old"));
    const QString savedProgram = UpgradeSettings::ProgramDir;
    UpgradeSettings::ProgramDir = program;
    const QString copy = program + "/" + UpgraderResult::PARTIAL_FILE;
    const QByteArray package = "#!/bin/sh\necho new\n";
    int ends[2];
    ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
    ASSERT_EQ(write(ends[1], package.constData(), 10), 10);
    std::string why;
    const pid_t upgrader = folders.Start(package, ends[0], why);
    close(ends[0]);
    ASSERT_GT(upgrader, 0) << why;
    EXPECT_TRUE(WaitUntil([&] { return QFileInfo(copy).size() == 10; }, 10000));

    const QString told = "The update did not finish, the previous version was kept: the upgrader ended while it "
                         "copied the new version; its unfinished copy " + copy + " was removed";
    const struct { const char* what; bool kill; bool told; bool left; } steps[] = {
        {"its upgrader still copies", false, false, true},
        {"its upgrader was killed", true, true, false},
        {"nothing left", false, false, false},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        if (step.kill) {
            kill(upgrader, SIGKILL);
            int status = 0;
            EXPECT_EQ(waitpid(upgrader, &status, 0), upgrader);
            EXPECT_TRUE(QFile::exists(copy));
        }
        Lines().clear();
        ScriptedPrompt asked;
        Upgrade::TellUpgraderFailure();
        std::vector<QString> shown;
        for (const PromptCall& call : asked.calls)
            shown.push_back(call.text);
        EXPECT_EQ(shown, step.told ? std::vector<QString>{told} : std::vector<QString>{});
        EXPECT_EQ(LinesWith(told.toStdString()).empty(), !step.told);
        EXPECT_EQ(QFile::exists(copy), step.left);
    }
    close(ends[1]);
    EXPECT_EQ(ReadAll(program + "/KxViewer"), "old");
    UpgradeSettings::ProgramDir = savedProgram;
}

// A file of that name that is not the user's is no copy of his upgrader: in a program folder others may write to,
// another user's file brings no word of an unfinished update and stays as it is, even for root; the user's own is
// removed and told. So for the reason an upgrader leaves beside the settings kept there: another user's file, or a
// FIFO, is named in the System Log and left alone (nothing waits on the FIFO); the user's own is read, shown and
// removed.
TEST_F(MainWindowTest, OnlyTheUsersOwnUnfinishedCopyIsRemoved)
{
    UpgraderFolders folders;
    const QString& program = folders.program;
    ASSERT_TRUE(folders.Make("old"));
    ASSERT_EQ(chmod(QFile::encodeName(program).constData(), 01777), 0);
    const QString savedProgram = UpgradeSettings::ProgramDir;
    const std::string savedIni = PrefGlobal::IniDir;
    UpgradeSettings::ProgramDir = program;
    PrefGlobal::IniDir = QFile::encodeName(program + "/").toStdString();
    const char* const reason = UpgraderResult::FAILURE_FILE;
    const struct { const char* what; const char* name; bool theirs; bool fifo; const char* told; } cases[] = {
        {"another user's file", UpgraderResult::PARTIAL_FILE, true, false, nullptr},
        {"the user's own", UpgraderResult::PARTIAL_FILE, false, false, "The update did not finish"},
        {"another user's reason", reason, true, false, nullptr},
        {"a FIFO for a reason", reason, false, true, nullptr},
        {"the user's own reason", reason, false, false,
         "The update did not happen, the previous version was kept: planted"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString copy = program + "/" + c.name;
        const std::string name = QFile::encodeName(copy).toStdString();
        std::unique_ptr<kxtest::Fifo> fifo;
        if (c.fifo)
            fifo = std::make_unique<kxtest::Fifo>(name);
        else
            ASSERT_TRUE(WriteAll(copy, "planted"));
        kxtest::OtherOwners owners;
        if (c.theirs)
            owners.Set(name);
        Lines().clear();
        ScriptedPrompt asked;
        {
            std::unique_ptr<kxtest::FifoGuard> guard;
            if (fifo)
                guard = std::make_unique<kxtest::FifoGuard>(*fifo, std::chrono::seconds(3));
            Upgrade::TellUpgraderFailure();
            EXPECT_FALSE(guard && guard->Waited());
        }
        EXPECT_EQ(asked.calls.size(), c.told ? 1u : 0u);
        if (c.told && !asked.calls.empty()) {
            EXPECT_TRUE(asked.calls[0].text.startsWith(QString::fromLatin1(c.told))) << asked.calls[0].text.toStdString();
        }
        EXPECT_EQ(LinesWith(copy.toStdString() + " was left alone: it is not this user's own regular file").empty(),
                  c.told != nullptr);
        EXPECT_EQ(QFileInfo(copy).isFile() && ReadAll(copy) == "planted", !c.told && !c.fifo);
        EXPECT_EQ(QFileInfo::exists(copy), !c.told);
        unlink(name.c_str());
    }
    UpgradeSettings::ProgramDir = savedProgram;
    PrefGlobal::IniDir = savedIni;
}

} // namespace
