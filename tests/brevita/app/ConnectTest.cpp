// Reaching a real server: the registry names it, a real driver (FreeTDS,
// registered as "SQL Server") is sent there, and a server that cannot be
// reached stops the run before it starts. The server is a loopback
// listener that records what the driver sent first.
#include "VoicemailDb.h"
#include "TestSupport.h"

#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

using namespace brevita;
using namespace brevita_test;
namespace fs = std::filesystem;

namespace {

const std::string kBinDir = BREVITA_BIN_DIR;
const char kFreeTds[] = "/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so";

// Keeps the first bytes of the first connection; closes every connection
// (a driver tries again) as soon as it has spoken, until Stop.
struct Listener {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int port = 0;
    std::string first;
    std::thread thread;
    Listener() {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(fd, reinterpret_cast<sockaddr *>(&a), len) != 0 || ::listen(fd, 4) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) != 0)
            std::abort();
        port = ntohs(a.sin_port);
        thread = std::thread([this] {
            for (bool any = false;; any = true) {
                pollfd p{fd, POLLIN, 0};
                if (::poll(&p, 1, 20000) != 1 || (p.revents & (POLLHUP | POLLERR)))
                    return;
                const int c = ::accept(fd, nullptr, nullptr);
                if (c < 0)
                    return;
                char buf[8];
                p = {c, POLLIN, 0};
                if (::poll(&p, 1, 5000) == 1) {
                    const ssize_t n = ::read(c, buf, sizeof buf);
                    if (!any)
                        first.assign(buf, n > 0 ? size_t(n) : 0);
                }
                ::close(c);
            }
        });
    }
    // What was sent first, once the listener has stopped.
    const std::string &Stop() {
        ::shutdown(fd, SHUT_RDWR);
        if (thread.joinable())
            thread.join();
        return first;
    }
    ~Listener() {
        Stop();
        ::close(fd);
    }
};

} // namespace

TEST(ConnectTest, TheRegistryNamesTheServerAndPasswordsNeverShow) {
    EXPECT_EQ(ConnectionStringFor("", ""), kCorvoxConnectionString);
    EXPECT_EQ(ConnectionStringFor("", "db\\VOICE"),
              "Driver={SQL Server};server=db\\VOICE;database=CorvoxDb");
    EXPECT_EQ(ConnectionStringFor("DSN=corvox", "ignored,1433"), "DSN=corvox");

    EXPECT_EQ(MaskedConnectionString("Driver={SQL Server};Server=db;UID=sa;PWD=s3cret;"),
              "Driver={SQL Server};Server=db;UID=sa;PWD=***;");
    EXPECT_EQ(MaskedConnectionString("DSN=x; password={a;b=c};Port=1"),
              "DSN=x; password=***;Port=1");
    EXPECT_EQ(ConnectionServerName("Driver={SQL Server};SERVER={db,1433};PWD=x"), "{db,1433}");
    EXPECT_EQ(ConnectionServerName("DSN=corvox"), "data source corvox");
}

TEST(ConnectTest, FreeTdsIsSentToTheNamedServerAndAnUnreachableOneStopsTheRun) {
    if (!fs::exists(kFreeTds))
        GTEST_FAIL() << kFreeTds << " is missing (Debian package tdsodbc)";
    TempDir tmp;
    // The package's test points this at the installed program.
    const char *installed = std::getenv("BREVITA_INSTALLED_PROGRAM");
    fs::path program = tmp / "program";
    fs::create_directories(tmp / "server" / "Stream Files");
    if (installed && *installed) {
        program = fs::path(installed).parent_path();
    } else {
        fs::create_directories(program);
        fs::copy_file(kBinDir + "/Brevita", program / "Brevita");
    }
    WriteFile(tmp / "odbcinst.ini", std::string("[SQL Server]\nDriver=") + kFreeTds + "\n");
    WriteFile(tmp / "odbc.ini", "");

    auto run = [&](const std::string &settings, std::string *out) {
        WriteFile(tmp / "registry.reg",
                  ServerRegistry((tmp / "server").string() + "/",
                                 "\"BackupFiles\"=dword:00000000\r\n" + settings));
        return RunCommand("env -u PGHOST -u PGPORT ODBCSYSINI='" + tmp.path().string() +
                              "' ODBCINI='" + (tmp / "odbc.ini").string() + "' BREVITA_REGISTRY='" +
                              (tmp / "registry.reg").string() + "' '" +
                              (program / "Brevita").string() + "' --batch --yes 2>&1",
                          out);
    };
    std::string out;
    {
        Listener server;
        const std::string name = "127.0.0.1," + std::to_string(server.port);
        EXPECT_EQ(run("\"DatabaseServer\"=\"" + name + "\"\r\n", &out), 2) << out;
        // A TDS client opens with a pre-login packet.
        const std::string sent = server.Stop();
        ASSERT_FALSE(sent.empty()) << "nothing reached the listener";
        EXPECT_EQ(sent[0], '\x12');
        EXPECT_PRED2(Contains, out, "Brevita cannot reach the database on server " + name + ": ");
    }
    {
        // The whole string replaces the built-in one; its password is not shown.
        Listener server;
        EXPECT_EQ(run("\"ConnectionString\"=\"Driver={SQL Server};Server=127.0.0.1," +
                          std::to_string(server.port) + ";UID=sa;PWD=hunter2\"\r\n",
                      &out),
                  2)
            << out;
        EXPECT_FALSE(server.Stop().empty());
        EXPECT_FALSE(Contains(out, "hunter2")) << out;
    }
    EXPECT_FALSE(fs::exists(program / "logs")) << "a run that did not start wrote a log";
}
