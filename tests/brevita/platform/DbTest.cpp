// The server's database through ODBC, on the tests' PostgreSQL server: the
// lists as the views give them, the procedures and the parameters that
// reach them, and the failures of a real connection.
#include "DbDeadline.h"
#include "OdbcProcedure.h"
#include "PgServer.h"
#include "Recordset.h"
#include "TestSupport.h"
#include "VoicemailDb.h"

#include <unistd.h>

#include <QString>

#include <chrono>

using namespace brevita;
using namespace brevita_test;

namespace {

const std::string kGuid1 = "6f9619ff-8b86-d011-b42d-00c04fc964ff";
const std::string kGuid2 = "0e984725-c51c-4bf4-9960-e1c80e27aba0";
const char *const kDb = kCorvoxConnectionString;

// The database error f raises.
AppError Caught(const std::function<void()> &f) {
    try {
        f();
    } catch (const AppError &e) {
        EXPECT_EQ(e.Number(), ErrDatabase) << e.Description();
        return e;
    }
    ADD_FAILURE() << "no error raised";
    return AppError(0, "");
}

struct DbTest : ::testing::Test {
    OdbcVoicemailDb db;
    void SetUp() override {
        DbConnectionString = kDb;
        Psql("TRUNCATE subscriber, messagingrule, request, sync_fault RESTART IDENTITY");
        SetDbTimeouts({});
    }
    void TearDown() override { SetDbTimeouts({}); }
};

} // namespace

TEST_F(DbTest, RowsFirstToLastWithNullsAndAnEmptyList) {
    auto empty = db.Greetings();
    EXPECT_EQ(empty->Count(), 0);
    EXPECT_TRUE(empty->AtEnd());

    const std::string longPath(5000, 'p'); // longer than one read
    Psql("INSERT INTO subscriber (streampath, alias, subscriberobjectid) VALUES ('vn0001.wav', "
         "'alice', '" +
         kGuid1 + "'), (NULL, 'nobody', gen_random_uuid()), ('" + longPath + "', NULL, '" + kGuid2 +
         "');"
         "INSERT INTO messagingrule (streampath, alias, parentalias) VALUES "
         "('gr1.wav', 'Standard', 'operatorch')");
    EXPECT_EQ(FieldText(*db.Greetings(), Column::ParentAlias), "operatorch");
    // The views' columns are lower case: found by name whatever the case.
    auto rows = db.VoiceNames();
    ASSERT_EQ(rows->Count(), 2);
    ASSERT_FALSE(rows->AtEnd());
    EXPECT_EQ(FieldText(*rows, Column::StreamPath), "vn0001.wav");
    EXPECT_EQ(FieldText(*rows, Column::Alias), "alice");
    EXPECT_EQ(QString::fromStdString(FieldText(*rows, Column::SubscriberObjectID))
                  .toLower()
                  .toStdString(),
              kGuid1);
    rows->MoveNext();
    EXPECT_EQ(FieldText(*rows, Column::StreamPath), longPath);
    EXPECT_EQ(rows->Field(Column::Alias), std::nullopt);
    std::string why;
    EXPECT_EQ(Raised([&] { FieldText(*rows, Column::Alias); }, &why), ErrInvalidUseOfNull);
    EXPECT_EQ(why, "Invalid use of Null");
    EXPECT_EQ(Raised([&] { rows->Field(Column::ParentAlias); }), ErrDatabase);
    rows->MoveNext();
    EXPECT_TRUE(rows->AtEnd());
    EXPECT_EQ(Raised([&] { rows->Field(Column::Alias); }), ErrDatabase);
    EXPECT_EQ(Raised([&] { rows->MoveNext(); }), ErrDatabase);

    // A list longer than the blocks it is read in: every row once, in order,
    // while a request goes to the server between two of them.
    Psql("INSERT INTO messagingrule (streampath, alias, parentalias) SELECT 'g' || n || '.wav', "
         "'greeting', 'a' || n FROM generate_series(2, 1300) n");
    auto many = db.Greetings();
    ASSERT_EQ(many->Count(), 1300);
    int n = 0;
    for (; !many->AtEnd(); many->MoveNext()) {
        ++n;
        const std::string want = n == 1 ? "gr1.wav" : "g" + std::to_string(n) + ".wav";
        ASSERT_EQ(FieldText(*many, Column::StreamPath), want);
        if (n == 600)
            db.RequestFullDirectorySync();
    }
    EXPECT_EQ(n, 1300);
    EXPECT_EQ(Psql("SELECT count(*) FROM request"), "1\n");
}

TEST_F(DbTest, ProceduresReceiveTypedParametersAndCountRequests) {
    db.RequestSubscriberSync("{6F9619FF-8B86-D011-B42D-00C04FC964FF}");
    db.RequestSubscriberSync(kGuid2);
    db.RequestFullDirectorySync();
    db.RequestSubscriberSync(kGuid1);
    db.RequestFullDirectorySync();

    EXPECT_EQ(Psql("SELECT count(*) FROM request"), "5\n");
    const std::string row = "|uuid|1|1\nsp_ModifySubscriber|";
    EXPECT_EQ(Psql("SELECT proc, object_id, object_id_type, directory_sync, directory_sync_flags "
                   "FROM request WHERE proc = 'sp_ModifySubscriber' ORDER BY id"),
              "sp_ModifySubscriber|" + kGuid1 + row + kGuid2 + row + kGuid1 + "|uuid|1|1\n");
    EXPECT_EQ(Psql("SELECT id, sync_subscriber, sync_subscriber_type FROM request "
                   "WHERE proc = 'sp_SqlDirectorySync' ORDER BY id"),
              "3|t|boolean\n5|t|boolean\n");

    // Not a GUID: refused before anything is sent.
    EXPECT_EQ(Raised([&] { db.RequestSubscriberSync("1; DROP TABLE request"); }), ErrTypeMismatch);
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

TEST_F(DbTest, WhatAnsweredOnTheConnectionOfTheMoment) {
    EXPECT_PRED2(Contains, db.Describe(), "(PostgreSQL ");
    // The string start-up chose, as it is when it is used.
    DbConnectionString = "DSN=elsewhere;PWD=s3cret";
    EXPECT_EQ(db.ServerName(), "data source elsewhere");
    EXPECT_EQ(db.ConnectionText(), "DSN=elsewhere;PWD=***");
}

TEST_F(DbTest, FailuresOfTheServerAndWhichOfThemAreTimeOuts) {
    int fd;
    {
        ScopedEnv down("PGPORT", std::to_string(LoopbackPort(false, &fd)));
        const AppError e = Caught([&] { db.VoiceNames(); });
        EXPECT_EQ(e.Description().rfind("Unable to connect to the database: [08001] ", 0), 0u)
            << e.Description();
        EXPECT_PRED2(Contains, e.Description(), "refused");
        EXPECT_FALSE(db.IsTimeout(e));
    }
    {
        // A server that accepts the connection and never answers.
        ScopedEnv silent("PGPORT", std::to_string(LoopbackPort(true, &fd)));
        SetDbTimeouts({2, 5});
        auto start = std::chrono::steady_clock::now();
        const AppError e = Caught([&] { db.RequestFullDirectorySync(); });
        EXPECT_PRED2(Contains, e.Description(), "timeout");
        // Asking again would only wait again.
        EXPECT_TRUE(db.IsTimeout(e)) << e.Description();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
        ::close(fd);
    }
    // A procedure that refuses, and last (it may hold the driver a while)
    // one that does not answer within the query timeout.
    SetDbTimeouts({2, 1});
    for (const auto &[fault, timeout] : {std::pair{"fail", false}, std::pair{"hang", true}}) {
        Psql("TRUNCATE sync_fault; INSERT INTO sync_fault VALUES ('" + std::string(fault) + "')");
        const AppError e = Caught([&] { db.RequestSubscriberSync(kGuid1); });
        EXPECT_EQ(db.IsTimeout(e), timeout) << fault << ": " << e.Description();
    }
    EXPECT_EQ(Psql("SELECT count(*) FROM request"), "0\n");
}
