#include "brevita/AppEnv.h"
#include "brevita/AppError.h"
#include "brevita/Module1.h"
#include "brevita/VoicemailDb.h"
#include "brevita/modLogging.h"
#include "PgServer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

using namespace brevita;
using brevita_test::Psql;
using brevita_test::ReadFile;
using brevita_test::ScopedEnv;
using brevita_test::TempDir;

namespace {

const std::string kGuid1 = "6f9619ff-8b86-d011-b42d-00c04fc964ff";
const std::string kGuid2 = "0e984725-c51c-4bf4-9960-e1c80e27aba0";

class DbTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Psql("TRUNCATE subscriber, messagingrule, request RESTART IDENTITY");
        SetDbTimeouts({});
    }
    void TearDown() override { SetDbTimeouts({}); }

    int32_t ExpectDbError(const std::function<void()> &f, std::string *description = nullptr) {
        try {
            f();
        } catch (const AppError &e) {
            if (description) {
                *description = e.Description();
            }
            return e.Number();
        }
        ADD_FAILURE() << "no error raised";
        return 0;
    }
};

} // namespace

TEST_F(DbTest, VoiceNameRowsFirstToLastWithNulls) {
    Psql("INSERT INTO subscriber (streampath, alias, subscriberobjectid) VALUES "
         "('vn0001.wav', 'alice', '" +
         kGuid1 +
         "'), "
         "(NULL, 'nobody', gen_random_uuid()), "
         "('/srv/Stream Files/sub/vn 2.wav', NULL, '" +
         kGuid2 + "')");

    Recordset rs = OpenQuery(kCorvoxConnectionString, kVoiceNameQuery);
    ASSERT_EQ(rs.RecordCount(), 2);
    rs.MoveFirst();
    ASSERT_FALSE(rs.IsEOF());
    EXPECT_EQ(rs.Text("StreamPath"), "vn0001.wav");
    EXPECT_EQ(rs.Text("ALIAS"), "alice");
    EXPECT_EQ(QString::fromStdString(rs.Text("subscriberobjectid")).toLower().toStdString(),
              kGuid1);
    rs.MoveNext();
    EXPECT_EQ(rs.Text("StreamPath"), "/srv/Stream Files/sub/vn 2.wav");
    EXPECT_EQ(rs.Field("Alias"), std::nullopt);
    try {
        rs.Text("Alias");
        ADD_FAILURE() << "a null alias read as text";
    } catch (const AppError &e) {
        EXPECT_EQ(e.Number(), ErrInvalidUseOfNull);
        EXPECT_EQ(e.Description(), "Invalid use of Null");
    }
    EXPECT_EQ(ExpectDbError([&] { rs.Field("ParentAlias"); }), ErrDatabase);
    rs.MoveNext();
    EXPECT_TRUE(rs.IsEOF());
    EXPECT_EQ(ExpectDbError([&] { rs.Field("Alias"); }), ErrDatabase);
    rs.Close();
    EXPECT_TRUE(rs.IsEOF());
}

TEST_F(DbTest, GreetingRowsAndAnEmptyList) {
    Recordset empty = OpenQuery(kCorvoxConnectionString, kGreetingQuery);
    EXPECT_EQ(empty.RecordCount(), 0);
    EXPECT_TRUE(empty.IsEOF());

    const std::string longPath(5000, 'p'); // longer than one read
    Psql("INSERT INTO messagingrule (streampath, alias, parentalias) VALUES "
         "('gr1.wav', 'Standard', 'operatorch'), ('" +
         longPath + "', 'Off hours', NULL)");
    Recordset rs = OpenQuery(kCorvoxConnectionString, kGreetingQuery);
    ASSERT_EQ(rs.RecordCount(), 2);
    EXPECT_EQ(rs.Text("ParentAlias"), "operatorch");
    rs.MoveNext();
    EXPECT_EQ(rs.Text("StreamPath"), longPath);
    EXPECT_EQ(rs.Field("ParentAlias"), std::nullopt);
}

TEST_F(DbTest, ProceduresReceiveTypedParametersAndCountRequests) {
    RequestSubscriberSync(kCorvoxConnectionString,
                          "{" + std::string("6F9619FF-8B86-D011-B42D-00C04FC964FF") + "}");
    RequestSubscriberSync(kCorvoxConnectionString, kGuid2);
    RequestFullDirectorySync(kCorvoxConnectionString);
    RequestSubscriberSync(kCorvoxConnectionString, kGuid1);
    DbConnectionString = kCorvoxConnectionString;
    CallSubscriberSync();

    EXPECT_EQ(Psql("SELECT count(*) FROM request"), "5\n");
    EXPECT_EQ(Psql("SELECT proc, object_id, object_id_type, directory_sync, directory_sync_flags "
                   "FROM request WHERE proc = 'sp_ModifySubscriber' ORDER BY id"),
              "sp_ModifySubscriber|" + kGuid1 + "|uuid|1|1\n" + "sp_ModifySubscriber|" + kGuid2 +
                  "|uuid|1|1\n" + "sp_ModifySubscriber|" + kGuid1 + "|uuid|1|1\n");
    EXPECT_EQ(Psql("SELECT id, sync_subscriber, sync_subscriber_type FROM request "
                   "WHERE proc = 'sp_SqlDirectorySync' ORDER BY id"),
              "3|t|boolean\n5|t|boolean\n");

    // Not a GUID: refused before anything is sent.
    std::string why;
    EXPECT_EQ(
        ExpectDbError(
            [] { RequestSubscriberSync(kCorvoxConnectionString, "1; DROP TABLE request"); }, &why),
        ErrTypeMismatch);
    EXPECT_EQ(Psql("SELECT count(*) FROM request"), "5\n");
}

TEST_F(DbTest, ParametersGoWhereTheDeclarationPutsThem) {
    Psql("CREATE OR REPLACE FUNCTION sp_order(\"@Second\" integer, \"@First\" integer, "
         "\"@Unset\" integer) RETURNS void LANGUAGE plpgsql AS $$ BEGIN "
         "INSERT INTO request (proc, directory_sync, directory_sync_flags, sync_subscriber) "
         "VALUES ('sp_order', \"@First\", \"@Second\", \"@Unset\" IS NULL); END $$");
    ExecuteProcedure(
        kCorvoxConnectionString, "sp_Order",
        {{"@First", ParamType::Integer, int32_t{1}}, {"@second", ParamType::Integer, int32_t{2}}});
    EXPECT_EQ(Psql("SELECT directory_sync, directory_sync_flags, sync_subscriber FROM request"),
              "1|2|t\n");

    std::string why;
    EXPECT_EQ(ExpectDbError(
                  [] {
                      ExecuteProcedure(kCorvoxConnectionString, "sp_Order",
                                       {{"@Third", ParamType::Integer, int32_t{3}}});
                  },
                  &why),
              ErrDatabase);
    EXPECT_NE(why.find("@Third"), std::string::npos) << why;
    EXPECT_EQ(ExpectDbError([] {
                  ExecuteProcedure(kCorvoxConnectionString, "sp_Missing",
                                   {{"@A", ParamType::Integer, int32_t{3}}});
              }),
              ErrDatabase);
    EXPECT_EQ(
        ExpectDbError([] { ExecuteProcedure(kCorvoxConnectionString, "sp_order(1);--", {}); }),
        ErrInvalidCall);
    EXPECT_EQ(Psql("SELECT count(*) FROM request"), "1\n");

    // A query the server refuses.
    EXPECT_EQ(ExpectDbError(
                  [] { OpenQuery(kCorvoxConnectionString, "SELECT nothing FROM vw_none"); }, &why),
              ErrDatabase);
    EXPECT_NE(why.find("[42P01]"), std::string::npos) << why;
}

TEST_F(DbTest, ServerDownGivesAClearErrorAndTheLogLine) {
    TempDir dir;
    SetProgramLocation(dir.path(), "Brevita");
    {
        int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
        socklen_t len = sizeof a;
        ::getsockname(s, reinterpret_cast<sockaddr *>(&a), &len);
        ::close(s); // nothing listens there now
        ScopedEnv down("PGPORT", std::to_string(ntohs(a.sin_port)));

        std::string why;
        EXPECT_EQ(ExpectDbError([] { OpenQuery(kCorvoxConnectionString, kVoiceNameQuery); }, &why),
                  ErrDatabase);
        EXPECT_EQ(why.rfind("Unable to connect to the database: [08001] ", 0), 0u) << why;
        EXPECT_NE(why.find("refused"), std::string::npos) << why;

        OpenLogFile((dir / "run.TXT").string());
        DbConnectionString = kCorvoxConnectionString;
        CallSubscriberSync();
        CloseLogFile();
        EXPECT_EQ(LogErrorCount, 1);
        EXPECT_NE(ReadFile(dir / "run.TXT")
                      .find(": (error) 3001 (" + why +
                            ") in procedure CallSubscriberSync of Module "
                            "Module1\r\n"),
                  std::string::npos);
    }

    // A server that accepts the connection and never answers.
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(s, 4), 0);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr *>(&a), &len);
    ScopedEnv silent("PGPORT", std::to_string(ntohs(a.sin_port)));
    SetDbTimeouts({2, 5});
    auto start = std::chrono::steady_clock::now();
    std::string why;
    EXPECT_EQ(ExpectDbError([] { RequestFullDirectorySync(kCorvoxConnectionString); }, &why),
              ErrDatabase);
    EXPECT_NE(why.find("timeout"), std::string::npos) << why;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    ::close(s);
    ResetProgramLocation();
}
