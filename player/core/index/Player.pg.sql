-- The shared record index on a PostgreSQL server: the same table
-- RecordFileInfo that Player.mdb holds (Player.sql), for a site where
-- several recorders scan into one index and several operators search it.
-- Run once by the site's administrator (docs/sites.md); the program never
-- creates it.
--
-- Differences from the file:
--   * RecordDateTime is a timestamp and RecordDuration an interval, so the
--     server orders and compares them natively; the store hands it the
--     same canonical texts it writes into the file and reads them back in
--     the same form (DateStyle ISO, IntervalStyle postgres).
--   * calldeck_key identifies a row: a result set deletes its current row
--     by it.
--   * MainFolder is the main folder the row was scanned from: a rebuild
--     replaces the rows of its own main folder only, never another's.
CREATE TABLE IF NOT EXISTS RecordFileInfo (
    calldeck_key   bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    MainFolder     text NOT NULL DEFAULT '',
    FileFullName   text,
    RecordDateTime timestamp,
    RecordChannel  text,
    CallNumber     text,
    RecordDuration interval,
    CallDirection  text
);

-- One channel over a time range, and the show-all order.
CREATE INDEX IF NOT EXISTS RecordFileInfo_Channel_DateTime ON RecordFileInfo (RecordChannel, RecordDateTime);
-- A time range over all channels.
CREATE INDEX IF NOT EXISTS RecordFileInfo_DateTime ON RecordFileInfo (RecordDateTime);
-- A rebuild deletes its own main folder's rows.
CREATE INDEX IF NOT EXISTS RecordFileInfo_MainFolder ON RecordFileInfo (MainFolder);
-- The searches by tag, note and hold find rows by their stored path.
CREATE INDEX IF NOT EXISTS RecordFileInfo_File ON RecordFileInfo (FileFullName);

-- What reviewers write about recordings (player/core/notes/Notes.sql is the
-- file's side): a note, tags, bookmarks and a legal hold per recording,
-- keyed by its stored path, so that rebuilds leave them alone. Every
-- statement below may run again on a database that has them: running this
-- file on a site database made before them adds them and changes nothing
-- else (docs/sites.md, "Notes, tags and holds on an existing site").
CREATE TABLE IF NOT EXISTS RecordNotes (
    FileFullName text PRIMARY KEY,
    Note         text NOT NULL,
    ChangedBy    text NOT NULL DEFAULT '',
    ChangedAt    text NOT NULL DEFAULT '',
    NoteWords    tsvector GENERATED ALWAYS AS (to_tsvector('simple', Note)) STORED
);
CREATE INDEX IF NOT EXISTS RecordNotes_Words ON RecordNotes USING gin (NoteWords);

CREATE TABLE IF NOT EXISTS RecordTags (
    Tag          text NOT NULL,
    FileFullName text NOT NULL,
    PRIMARY KEY (Tag, FileFullName)
);
CREATE INDEX IF NOT EXISTS RecordTags_File ON RecordTags (FileFullName);

CREATE TABLE IF NOT EXISTS RecordBookmarks (
    FileFullName text NOT NULL,
    Second       integer NOT NULL,
    Label        text NOT NULL DEFAULT '',
    PRIMARY KEY (FileFullName, Second)
);

CREATE TABLE IF NOT EXISTS RecordHolds (
    FileFullName text PRIMARY KEY,
    Reason       text NOT NULL,
    HeldBy       text NOT NULL,
    HeldAt       text NOT NULL
);

-- The server itself keeps a held recording's row, whoever deletes: every
-- delete from RecordFileInfo notes the held recordings it took (one join
-- per statement, so a rebuild's delete of a whole folder costs one pass),
-- and at the commit each of them must have a row again. A rebuild deletes
-- and refills in one transaction and passes; a delete of the row alone,
-- from any client, is refused and undone.
CREATE TABLE IF NOT EXISTS RecordHoldChecks (FileFullName text NOT NULL);

CREATE OR REPLACE FUNCTION calldeck_note_held_deletes() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    INSERT INTO RecordHoldChecks (FileFullName)
        SELECT DISTINCT g.FileFullName FROM calldeck_gone g JOIN RecordHolds h ON h.FileFullName = g.FileFullName;
    RETURN NULL;
END $$;
CREATE OR REPLACE TRIGGER RecordFileInfo_HeldDeletes AFTER DELETE ON RecordFileInfo
    REFERENCING OLD TABLE AS calldeck_gone FOR EACH STATEMENT EXECUTE FUNCTION calldeck_note_held_deletes();

CREATE OR REPLACE FUNCTION calldeck_check_held_row() RETURNS trigger LANGUAGE plpgsql AS $$
DECLARE
    why text;
BEGIN
    DELETE FROM RecordHoldChecks WHERE FileFullName = NEW.FileFullName;
    SELECT Reason INTO why FROM RecordHolds WHERE FileFullName = NEW.FileFullName;
    IF FOUND THEN
        IF NOT EXISTS (SELECT 1 FROM RecordFileInfo WHERE FileFullName = NEW.FileFullName) THEN
            RAISE EXCEPTION 'the recording % is on hold (%); its row in RecordFileInfo cannot be deleted',
                NEW.FileFullName, why USING ERRCODE = 'integrity_constraint_violation';
        END IF;
    END IF;
    RETURN NULL;
END $$;
DROP TRIGGER IF EXISTS RecordHoldChecks_AtCommit ON RecordHoldChecks;
CREATE CONSTRAINT TRIGGER RecordHoldChecks_AtCommit AFTER INSERT ON RecordHoldChecks
    DEFERRABLE INITIALLY DEFERRED FOR EACH ROW EXECUTE FUNCTION calldeck_check_held_row();

CREATE OR REPLACE FUNCTION calldeck_refuse_held_truncate() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF EXISTS (SELECT 1 FROM RecordHolds) THEN
        RAISE EXCEPTION 'recordings are on hold; RecordFileInfo cannot be emptied at once'
            USING ERRCODE = 'integrity_constraint_violation';
    END IF;
    RETURN NULL;
END $$;
CREATE OR REPLACE TRIGGER RecordFileInfo_HeldTruncate BEFORE TRUNCATE ON RecordFileInfo
    FOR EACH STATEMENT EXECUTE FUNCTION calldeck_refuse_held_truncate();
