-- The part of the voicemail database that Brevita touches. The queries use
-- unquoted identifiers, so everything here is lower case; the procedures'
-- parameters keep their "@" names, which is what the client looks up.

CREATE TABLE subscriber (
    id serial PRIMARY KEY,
    streampath text,
    alias text,
    subscriberobjectid uuid NOT NULL
);

CREATE TABLE messagingrule (
    id serial PRIMARY KEY,
    streampath text,
    alias text,
    parentalias text
);

CREATE VIEW vw_subscriber AS
    SELECT streampath, alias, subscriberobjectid FROM subscriber ORDER BY id;

CREATE VIEW vw_messagingrule AS
    SELECT streampath, alias, parentalias FROM messagingrule ORDER BY id;

-- Every procedure call lands here, with the type each argument arrived as.
CREATE TABLE request (
    id serial PRIMARY KEY,
    proc text NOT NULL,
    object_id uuid,
    object_id_type text,
    directory_sync integer,
    directory_sync_flags integer,
    sync_subscriber boolean,
    sync_subscriber_type text
);

-- A row here makes the subscriber procedure refuse ('fail') or not answer
-- ('hang') every call: a directory service that is down.
CREATE TABLE sync_fault (kind text NOT NULL);

CREATE FUNCTION sp_modifysubscriber("@SubscriberObjectID" uuid,
                                    "@DirectorySync" integer,
                                    "@DirectorySyncFlags" integer)
RETURNS void LANGUAGE plpgsql AS $$
BEGIN
    IF EXISTS (SELECT 1 FROM sync_fault WHERE kind = 'fail') THEN
        RAISE EXCEPTION 'the directory service is not running';
    END IF;
    IF EXISTS (SELECT 1 FROM sync_fault WHERE kind = 'hang') THEN
        PERFORM pg_sleep(30);
    END IF;
    INSERT INTO request (proc, object_id, object_id_type, directory_sync, directory_sync_flags)
    VALUES ('sp_ModifySubscriber', "@SubscriberObjectID",
            pg_typeof("@SubscriberObjectID")::text, "@DirectorySync", "@DirectorySyncFlags");
END $$;

CREATE FUNCTION sp_sqldirectorysync("@SyncSubscriber" boolean)
RETURNS void LANGUAGE plpgsql AS $$
BEGIN
    INSERT INTO request (proc, sync_subscriber, sync_subscriber_type)
    VALUES ('sp_SqlDirectorySync', "@SyncSubscriber", pg_typeof("@SyncSubscriber")::text);
END $$;
