// Updates end to end against servers in this process: the signed version
// file, the package, the question, and the upgrader or installer started.
#include <csignal>
#include <deque>
#include <memory>

#include <sys/resource.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QTest>

#include "httpfixture.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/upgrade.h"
#include "kxviewer/upgradesettings.h"
#include "shellfixture.h"
#include "signingkey.h"

using namespace shelltest;

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A test CA and a server certificate for 127.0.0.1 signed by it, made with
// the openssl tool; the CA is trusted by every request of the process.
struct TestCa {
    TestCa()
    {
        const QString d = dir.path() + '/';
        QFile ext(d + "ext");
        ext.open(QIODevice::WriteOnly);
        ext.write("subjectAltName=IP:127.0.0.1\n");
        ext.close();
        const QStringList ec{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
        Run(QStringList{"req", "-x509"} + ec + QStringList{"-keyout", d + "ca.key", "-out", d + "ca.pem", "-days", "2",
                                                           "-subj", "/CN=KxViewer Test CA"});
        Run(QStringList{"req"} + ec + QStringList{"-keyout", d + "srv.key", "-out", d + "srv.csr", "-subj", "/CN=127.0.0.1"});
        Run({"x509", "-req", "-in", d + "srv.csr", "-CA", d + "ca.pem", "-CAkey", d + "ca.key", "-CAcreateserial",
             "-out", d + "srv.pem", "-days", "2", "-extfile", d + "ext"});
        certificate = ReadAll(d + "srv.pem");
        key = ReadAll(d + "srv.key");
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setCaCertificates(QSslCertificate::fromPath(d + "ca.pem"));
        QSslConfiguration::setDefaultConfiguration(configuration);
    }
    static void Run(const QStringList& arguments)
    {
        QProcess process;
        process.start("openssl", arguments);
        ASSERT_TRUE(process.waitForFinished(20000)) << arguments.join(' ').toStdString();
        ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
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

std::vector<QString> Texts(const std::vector<PromptCall>& calls)
{
    std::vector<QString> texts;
    for (const PromptCall& call : calls)
        texts.push_back(call.text);
    return texts;
}

enum class Serve { AS_SIGNED, TAMPERED, TRUNCATED, STALLED, OVERSIZED };
// NO_ADDRESS and REMOTE_HTTP give the program no usable server address.
enum class VersionRoute { PLAIN, NOT_FOUND, REDIRECT_LOOP, HTTPS_TO_HTTP, NO_ADDRESS, REMOTE_HTTP };
// SWAPPED: the downloaded file changes while the question is open; FORCED:
// the preference ForceUpgradeFromGui asks for the executable.
enum class World { NORMAL, OUTPUT_BLOCKED, FILE_SIZE_LIMIT, PROGRAM_DIR_BLOCKED, SWAPPED, FORCED };

// Answers like ScriptedPrompt; before a question, overwrites a file.
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

struct UpdateCase {
    const char* name;
    const char* version;
    std::deque<QMessageBox::StandardButton> answers;
    // What the user is shown, in order; a trailing '*' matches a prefix.
    std::vector<QString> shown;
    // A System Log line that must be there; empty: none asked.
    QString logged;
    // What the started upgrader or installer wrote; empty: nothing started.
    QByteArray started;
    Serve serve = Serve::AS_SIGNED;
    VersionRoute route = VersionRoute::PLAIN;
    World world = World::NORMAL;
    bool tls = false;
    bool otherKey = false; // version.sig made with a key we do not trust
    bool cancel = false;   // press Cancel in the progress dialog while the package stalls
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

const QString UP_TO_DATE = "The version is up to date";
const QString CONNECT_ERROR = "An error occurred when connecting to the upgrade site";
const QString REJECTED = "The downloaded update failed verification and was deleted";
const QString ASK = "New version 2.1.3993.3 available.\nTo upgrade?";
const auto YES = QMessageBox::Yes;

TEST_P(UpgradeFlow, EndsAsTheServerAndTheUserDecide)
{
    const UpdateCase& c = GetParam();
    const QString log = root.path() + "/started.log";
    const QByteArray record = "printf '%s\\n' \"$@\" > " + QFile::encodeName(log);
    // The package is itself a script: the installer case runs it.
    const QByteArray package = Script(record) + QByteArray(200 * 1024, '#');
    const QByteArray versionFile =
        QByteArray(c.version) + '\n' + PackageLine("executable", package) + PackageLine("installer", package);

    TestHttpServer plain;
    TestHttpServer secure(ca->certificate, ca->key);
    TestHttpServer& server = c.tls ? secure : plain;
    server.routes["/version"].body = versionFile;
    server.routes["/version.sig"].body = c.otherKey ? SigningKey().Sign(versionFile) : trusted.Sign(versionFile);
    for (const char* name : {"/KxViewer", "/KxViewerSetup.run"}) {
        HttpRoute& route = server.routes[name];
        route.body = package;
        if (c.serve == Serve::TAMPERED)
            route.body[20] = 'X';
        if (c.serve == Serve::OVERSIZED)
            route.body += "more";
        route.hold = c.serve == Serve::STALLED;
        if (c.serve == Serve::TRUNCATED || c.serve == Serve::STALLED)
            route.sendBytes = package.size() / 2;
    }
    if (c.route == VersionRoute::NOT_FOUND)
        server.routes.remove("/version");
    if (c.route == VersionRoute::REDIRECT_LOOP)
        server.routes["/version"] = HttpRoute{"302 Found", "Location: /version\r\n", {}, -1, false, 0};
    if (c.route == VersionRoute::HTTPS_TO_HTTP)
        server.routes["/version"] =
            HttpRoute{"302 Found", "Location: " + plain.Url().toLatin1() + "version\r\n", {}, -1, false, 0};
    if (c.tls)
        plain.routes["/version"].body = versionFile;

    QFile upgrader(UpgradeSettings::ProgramDir + "/Upgrader");
    ASSERT_TRUE(upgrader.open(QIODevice::WriteOnly));
    upgrader.write(Script(record));
    upgrader.close();
    upgrader.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (c.world == World::OUTPUT_BLOCKED)
        QDir().mkpath(UpgradeSettings::WorkDir + "/version");
    if (c.world == World::PROGRAM_DIR_BLOCKED) {
        QFile plainFile(root.path() + "/file");
        ASSERT_TRUE(plainFile.open(QIODevice::WriteOnly));
        UpgradeSettings::ProgramDir = root.path() + "/file/program";
    }
    // Files of this process stop growing at 64 KiB until the case ends.
    struct FileSizeLimit {
        explicit FileSizeLimit(bool on)
        {
            getrlimit(RLIMIT_FSIZE, &kept);
            rlimit low = kept;
            low.rlim_cur = 64 * 1024;
            signal(SIGXFSZ, SIG_IGN);
            if (on)
                setrlimit(RLIMIT_FSIZE, &low);
        }
        ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &kept); }
        rlimit kept{};
    } fileSizeLimit(c.world == World::FILE_SIZE_LIMIT);
    if (c.serve == Serve::STALLED && !c.cancel)
        UpgradeSettings::StallMs = 300;
    UpgradeSettings::Url = c.route == VersionRoute::NO_ADDRESS    ? QString()
                           : c.route == VersionRoute::REMOTE_HTTP ? QStringLiteral("http://192.0.2.1/updates/")
                                                                  : server.Url();
    if (c.world == World::FORCED)
        PrefGlobal::ForceUpgradeFromGui = Upgrade::NEW_EXECUTABLE;
    std::unique_ptr<SwappingPrompt> swapping;
    if (c.world == World::SWAPPED)
        swapping = std::make_unique<SwappingPrompt>(UpgradeSettings::WorkDir + "/KxViewer");
    ScriptedPrompt& asked = swapping ? *swapping : prompt;
    asked.answers = c.answers;

    window->RunUpgrade();
    if (c.cancel) {
        ASSERT_TRUE(WaitUntil([&] { return server.requests.contains("/KxViewer"); }, 10000));
        QProgressDialog* progress = Upgrade::Instance()->Progress();
        ASSERT_NE(progress, nullptr);
        ASSERT_TRUE(progress->isVisible());
        QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
    }
    ASSERT_TRUE(WaitUntil([] { return Upgrade::Instance() == nullptr; }, 15000));

    const std::vector<QString> shown = Texts(asked.calls);
    ASSERT_EQ(shown.size(), c.shown.size()) << c.name << ": " << (shown.empty() ? "" : shown[0].toStdString());
    for (size_t i = 0; i < shown.size(); ++i) {
        if (c.shown[i].endsWith('*')) 
            EXPECT_TRUE(shown[i].startsWith(c.shown[i].chopped(1))) << shown[i].toStdString();
        else
            EXPECT_EQ(shown[i], c.shown[i]);
    }
    if (!c.logged.isEmpty()) {
        EXPECT_FALSE(LinesWith(c.logged.toStdString()).empty()) << c.logged.toStdString();
    }
    // Nothing half-fetched or refused stays behind in the work folder.
    if (c.started.isEmpty()) {
        EXPECT_EQ(QDir(UpgradeSettings::WorkDir).entryList(QDir::Files), QStringList()) << c.name;
    }
    // The upgrader gets the package and the ini folder; the installer nothing.
    const QByteArray started = c.started != "UPGRADER"
                                   ? c.started
                                   : QFile::encodeName(UpgradeSettings::WorkDir) + "/KxViewer\n" +
                                         QByteArray(PrefGlobal::IniDir.c_str()) + '\n';
    WaitUntil([&] { return !ReadAll(log).isEmpty(); }, started.isEmpty() ? 0 : 5000);
    EXPECT_EQ(ReadAll(log), started);
    if (c.answers == std::deque<QMessageBox::StandardButton>{QMessageBox::No}) {
        EXPECT_GT(PrefGlobal::NextUpgradeCheck, QDateTime::currentDateTime().addDays(6));
    }
    if (c.route == VersionRoute::NO_ADDRESS || c.route == VersionRoute::REMOTE_HTTP) {
        EXPECT_TRUE(server.requests.isEmpty());
    }
    if (c.route == VersionRoute::REDIRECT_LOOP) {
        EXPECT_EQ(server.requests.size(), 1 + UpgradeSettings::MAX_REDIRECTS);
    }
    EXPECT_FALSE(UpgradeSettings::Interactive);
}

// The check at start-up waits for its time, tells nothing in boxes, and
// only the question about a new version reaches the user.
TEST_F(UpgradeFlow, AutomaticCheckIsQuietAndKeepsItsInterval)
{
    struct Case {
        const char* name;
        int dueInSeconds;
        const char* version;
        std::vector<QString> shown;
        const char* printed;
        int requests;
    } cases[] = {
        {"NotYetDue", 3600, "2.1.3993.3", {}, "Upgrade will start on: ", 0},
        {"DueAndUpToDate", -1, "2.1.3993.2", {}, "The version is up to date", 2},
        {"DueWithNewVersion", -1, "2.1.3993.3", {ASK}, "KxViewer' downloaded", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestHttpServer server;
        const QByteArray package = "new program";
        const QByteArray versionFile =
            QByteArray(c.version) + '\n' + PackageLine("executable", package) + PackageLine("installer", package);
        server.routes["/version"].body = versionFile;
        server.routes["/version.sig"].body = trusted.Sign(versionFile);
        server.routes["/KxViewer"].body = package;
        UpgradeSettings::Url = server.Url();
        PrefGlobal::NextUpgradeCheck = QDateTime::currentDateTime().addSecs(c.dueInSeconds);
        prompt.calls.clear();
        prompt.answers = {QMessageBox::No};
        Lines().clear();

        KxvShell().StartUpdateCheck();
        ASSERT_TRUE(WaitUntil([] { return Upgrade::Instance() == nullptr; }, 15000));
        EXPECT_EQ(Texts(prompt.calls), c.shown);
        EXPECT_FALSE(LinesWith(c.printed).empty()) << c.printed;
        EXPECT_EQ(server.requests.size(), c.requests);
        if (c.dueInSeconds < 0) {
            EXPECT_GT(PrefGlobal::NextUpgradeCheck, QDateTime::currentDateTime().addSecs(3 * 3600));
        }
    }
}

const QString NO_SITE = "Connect to the application site failed";
const QString UNSAVED = "Unable to save the file *";
const auto NO = QMessageBox::No;
using S = Serve;
using R = VersionRoute;

INSTANTIATE_TEST_SUITE_P(
    Servers, UpgradeFlow,
    testing::Values(
        UpdateCase{"UpToDateOverTls", "2.1.3993.2", {}, {UP_TO_DATE}, {}, {}, S::AS_SIGNED, R::PLAIN, World::NORMAL,
                   true},
        // Three parts are no version: nothing is fetched.
        UpdateCase{"NoAddress", "2.1.3993.3", {}, {NO_SITE}, {}, {}, S::AS_SIGNED, R::NO_ADDRESS},
        UpdateCase{"PlainHttpToARemoteHost", "2.1.3993.3", {}, {NO_SITE},
                   "Upgrade address refused: http://192.0.2.1/updates/", {}, S::AS_SIGNED, R::REMOTE_HTTP},
        UpdateCase{"ThreePartVersion", "2.1.3994", {}, {NO_SITE}, {}, {}},
        UpdateCase{"PartOverRange", "2.1.65536.0", {}, {NO_SITE}, {}, {}},
        UpdateCase{"GoodExecutable", "2.1.3993.3", {YES}, {ASK}, "About to run new exe: ", "UPGRADER"},
        UpdateCase{"ForcedSameVersion", "2.1.3993.2", {NO}, {"New version 2.1.3993.2 available.\nTo upgrade?"}, {}, {},
                   S::AS_SIGNED, R::PLAIN, World::FORCED},
        UpdateCase{"GoodInstaller", "3.0.0.0", {YES}, {"New version 3.0.0.0 available.\nTo upgrade?"}, {}, "\n"},
        UpdateCase{"AnsweredNo", "2.1.3993.3", {NO}, {ASK}, {}, {}},
        // Checked again just before it starts.
        UpdateCase{"ChangedBeforeStart", "2.1.3993.3", {YES}, {ASK, REJECTED}, "Package verification failed: SHA-256 ",
                   {}, S::AS_SIGNED, R::PLAIN, World::SWAPPED},
        // A rejected package is never "up to date".
        UpdateCase{"TamperedPackage", "2.1.3993.3", {YES}, {REJECTED}, "Package verification failed: SHA-256 ", {},
                   S::TAMPERED},
        UpdateCase{"OversizedPackage", "2.1.3993.3", {YES}, {"Download failed: more than *"}, {}, {}, S::OVERSIZED},
        UpdateCase{"TruncatedPackage", "2.1.3993.3", {YES}, {CONNECT_ERROR}, "Download failed: ", {}, S::TRUNCATED},
        UpdateCase{"StalledPackage", "2.1.3993.3", {YES}, {"Download failed: no data for 0.3 s"}, {}, {}, S::STALLED},
        UpdateCase{"CancelledPackage", "2.1.3993.3", {YES}, {}, "Download failed: Aborted by user", {}, S::STALLED,
                   R::PLAIN, World::NORMAL, false, false, true},
        UpdateCase{"BadSignature", "2.1.3993.3", {YES}, {"Version file signature check failed"}, {}, {}, S::AS_SIGNED,
                   R::PLAIN, World::NORMAL, false, true},
        // After a failed reply nothing reads the deleted file.
        UpdateCase{"VersionNotFound", "2.1.3993.3", {YES}, {CONNECT_ERROR}, {}, {}, S::AS_SIGNED, R::NOT_FOUND},
        UpdateCase{"RedirectLoop", "2.1.3993.3", {YES}, {CONNECT_ERROR}, "Download failed: more than 5 redirects", {},
                   S::AS_SIGNED, R::REDIRECT_LOOP},
        UpdateCase{"HttpsToHttp", "2.1.3993.3", {YES}, {CONNECT_ERROR},
                   "Download failed: redirect from https to http refused", {}, S::AS_SIGNED, R::HTTPS_TO_HTTP,
                   World::NORMAL, true},
        // An output file that cannot be made ends the attempt.
        UpdateCase{"OutputBlocked", "2.1.3993.3", {YES}, {UNSAVED}, {}, {}, S::AS_SIGNED, R::PLAIN,
                   World::OUTPUT_BLOCKED},
        UpdateCase{"WriteErrorMidway", "2.1.3993.3", {YES}, {UNSAVED}, {}, {}, S::AS_SIGNED, R::PLAIN,
                   World::FILE_SIZE_LIMIT},
        UpdateCase{"ProgramFolderBlocked", "2.1.3993.3", {YES},
                   {"A new version is available, but the program folder *"}, {}, {}, S::AS_SIGNED, R::PLAIN,
                   World::PROGRAM_DIR_BLOCKED}),
    [](const testing::TestParamInfo<UpdateCase>& info) { return std::string(info.param.name); });

} // namespace
