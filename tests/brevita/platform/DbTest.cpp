#include "VoicemailDb.h"
#include "PgServer.h"
#include "TestSupport.h"

#include <unistd.h>

#include <QString>

#include <chrono>

using namespace brevita;
using namespace brevita_test;

namespace {

const std::string kGuid1 = "6f9619ff-8b86-d011-b42d-00c04fc964ff";
const std::string kGuid2 = "0e984725-c51c-4bf4-9960-e1c80e27aba0";
const char *const kDb = kCorvoxConnectionString;

struct DbTest : ::testing::Test {
    void SetUp() override {
        Psql("TRUNCATE subscriber, messagingrule, request RESTART IDENTITY");
        SetDbTimeouts({});
    }
    void TearDown() override { SetDbTimeouts({}); }
};

} // namespace

TEST_F(DbTest, RowsFirstToLastWithNullsAndAnEmptyList) {
    Recordset empty = OpenQuery(kDb, kGreetingQuery);
    EXPECT_EQ(empty.RecordCount(), 0);
    EXPECT_TRUE(empty.IsEOF());

    const std::string longPath(5000, 'p'); // longer than one read
    Psql("INSERT INTO subscriber (streampath, alias, subscriberobjectid) VALUES ('vn0001.wav', "
         "'alice', '" +
         kGuid1 + "'), (NULL, 'nobody', gen_random_uuid()), ('" + longPath + "', NULL, '" + kGuid2 +
         "');"
         "INSERT INTO messagingrule (streampath, alias, parentalias) VALUES "
         "('gr1.wav', 'Standard', 'operatorch')");
    EXPECT_EQ(OpenQuery(kDb, kGreetingQuery).Text("ParentAlias"), "operatorch");
    Recordset rs = OpenQuery(kDb, kVoiceNameQuery);
    ASSERT_EQ(rs.RecordCount(), 2);
    rs.MoveFirst();
    ASSERT_FALSE(rs.IsEOF());
    EXPECT_EQ(rs.Text("StreamPath"), "vn0001.wav");
    EXPECT_EQ(rs.Text("ALIAS"), "alice");
    EXPECT_EQ(QString::fromStdString(rs.Text("subscriberobjectid")).toLower().toStdString(),
              kGuid1);
    rs.MoveNext();
    EXPECT_EQ(rs.Text("StreamPath"), longPath);
    EXPECT_EQ(rs.Field("Alias"), std::nullopt);
    std::string why;
    EXPECT_EQ(Raised([&] { rs.Text("Alias"); }, &why), ErrInvalidUseOfNull);
    EXPECT_EQ(why, "Invalid use of Null");
    EXPECT_EQ(Raised([&] { rs.Field("ParentAlias"); }), ErrDatabase);
    rs.MoveNext();
    EXPECT_TRUE(rs.IsEOF());
    EXPECT_EQ(Raised([&] { rs.Field("Alias"); }), ErrDatabase);
    rs.Close();
    EXPECT_TRUE(rs.IsEOF());
}

TEST_F(DbTest, ProceduresReceiveTypedParametersAndCountRequests) {
    RequestSubscriberSync(kDb, "{6F9619FF-8B86-D011-B42D-00C04FC964FF}");
    RequestSubscriberSync(kDb, kGuid2);
    RequestFullDirectorySync(kDb);
    RequestSubscriberSync(kDb, kGuid1);
    RequestFullDirectorySync(kDb);

    EXPECT_EQ(Psql("SELECT count(*) FROM request"), "5\n");
    const std::string row = "|uuid|1|1\nsp_ModifySubscriber|";
    EXPECT_EQ(Psql("SELECT proc, object_id, object_id_type, directory_sync, directory_sync_flags "
                   "FROM request WHERE proc = 'sp_ModifySubscriber' ORDER BY id"),
              "sp_ModifySubscriber|" + kGuid1 + row + kGuid2 + row + kGuid1 + "|uuid|1|1\n");
    EXPECT_EQ(Psql("SELECT id, sync_subscriber, sync_subscriber_type FROM request "
                   "WHERE proc = 'sp_SqlDirectorySync' ORDER BY id"),
              "3|t|boolean\n5|t|boolean\n");

    // Not a GUID: refused before anything is sent.
    EXPECT_EQ(Raised([] { RequestSubscriberSync(kDb, "1; DROP TABLE request"); }), ErrTypeMismatch);
    EXPECT_EQ(Psql("SELECT count(*) FROM request"), "5\n");
}

TEST_F(DbTest, ParametersGoWhereTheDeclarationPutsThem) {
    // What is not given takes the server's default, not a NULL.
    Psql("CREATE OR REPLACE FUNCTION sp_order(\"@Second\" integer, \"@First\" integer, "
         "\"@Unset\" boolean DEFAULT true) RETURNS void LANGUAGE plpgsql AS $$ BEGIN "
         "INSERT INTO request (proc, directory_sync, directory_sync_flags, sync_subscriber) "
         "VALUES ('sp_order', \"@First\", \"@Second\", \"@Unset\"); END $$");
    auto call = [](const char *proc, const char *param, int32_t v) {
        ExecuteProcedure(kDb, proc, {{param, ParamType::Integer, v}});
    };
    ExecuteProcedure(
        kDb, "sp_Order",
        {{"@First", ParamType::Integer, int32_t{1}}, {"@second", ParamType::Integer, int32_t{2}}});
    EXPECT_EQ(Psql("SELECT directory_sync, directory_sync_flags, sync_subscriber FROM request"),
              "1|2|t\n");

    std::string why;
    EXPECT_EQ(Raised([&] { call("sp_Order", "@Third", 3); }, &why), ErrDatabase);
    EXPECT_PRED2(Contains, why, "@Third");
    EXPECT_EQ(Raised([&] { call("sp_Missing", "@A", 3); }), ErrDatabase);
    EXPECT_EQ(Raised([] { ExecuteProcedure(kDb, "sp_order(1);--", {}); }), ErrInvalidCall);
    EXPECT_EQ(Psql("SELECT count(*) FROM request"), "1\n");

    // Left out wherever they stand; a procedure with nothing given is
    // called bare.
    const struct {
        std::vector<bool> given;
        const char *text;
    } calls[] = {{{true, false, true, false}, "{CALL p(?, , ?)}"},
                 {{false, true}, "{CALL p(, ?)}"},
                 {{false, false}, "{CALL p()}"},
                 {{true, true}, "{CALL p(?, ?)}"}};
    for (const auto &c : calls)
        EXPECT_EQ(ProcedureCallText("p", c.given), c.text);

    // A query the server refuses.
    EXPECT_EQ(Raised([] { OpenQuery(kDb, "SELECT nothing FROM vw_none"); }, &why), ErrDatabase);
    EXPECT_PRED2(Contains, why, "[42P01]");
}

TEST_F(DbTest, ServerDownGivesAClearErrorAndTheLogLine) {
    int fd;
    {
        ScopedEnv down("PGPORT", std::to_string(LoopbackPort(false, &fd)));
        std::string why;
        EXPECT_EQ(Raised([] { OpenQuery(kDb, kVoiceNameQuery); }, &why), ErrDatabase);
        EXPECT_EQ(why.rfind("Unable to connect to the database: [08001] ", 0), 0u) << why;
        EXPECT_PRED2(Contains, why, "refused");
    }

    // A server that accepts the connection and never answers.
    ScopedEnv silent("PGPORT", std::to_string(LoopbackPort(true, &fd)));
    SetDbTimeouts({2, 5});
    auto start = std::chrono::steady_clock::now();
    std::string why;
    EXPECT_EQ(Raised([] { RequestFullDirectorySync(kDb); }, &why), ErrDatabase);
    EXPECT_PRED2(Contains, why, "timeout");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    ::close(fd);
}
