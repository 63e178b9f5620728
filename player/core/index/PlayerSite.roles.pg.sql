-- Who may do what on a site's shared index (Player.pg.sql), enforced by the
-- server itself so that neither an older desk nor a hand-written statement
-- passes it: four group roles the administrator grants to each person's own
-- login, the channel and number scopes of each role (row-level security on
-- RecordFileInfo), and the main folders each recorder role may replace.
-- Run after Player.pg.sql, by the tables' owner; every statement may run
-- again (docs/sites.md, "Roles and scopes"). The owner itself (the shared
-- login of a site set up before this file) is not bound by the scopes.

DO $$
DECLARE
    r text;
BEGIN
    FOREACH r IN ARRAY ARRAY['calldeck_operator', 'calldeck_supervisor', 'calldeck_recorder', 'calldeck_auditor'] LOOP
        IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = r) THEN
            EXECUTE format('CREATE ROLE %I NOLOGIN', r);
        END IF;
    END LOOP;
END $$;
-- A supervisor does all an operator does, within the same scopes.
GRANT calldeck_operator TO calldeck_supervisor;

-- The rows a role's members see: the channel and the number must each match
-- the whole of a POSIX regular expression ('000[1-4]', '0012|0013', '.*').
-- A person sees the rows of every scope of every role they belong to, and
-- nothing when there is none.
CREATE TABLE IF NOT EXISTS SiteScopes (
    RoleName       text NOT NULL,
    ChannelPattern text NOT NULL DEFAULT '.*',
    NumberPattern  text NOT NULL DEFAULT '.*',
    PRIMARY KEY (RoleName, ChannelPattern, NumberPattern)
);

-- The main folders (as a rebuild stores them in MainFolder) whose rows the
-- members of a recorder role may replace.
CREATE TABLE IF NOT EXISTS SiteRecorderFolders (
    RoleName   text NOT NULL,
    MainFolder text NOT NULL,
    PRIMARY KEY (RoleName, MainFolder)
);

-- Every channel the index has held, kept by a trigger below, so that the
-- channel patterns are matched against a few dozen names once per
-- statement instead of against every row.
CREATE TABLE IF NOT EXISTS SiteChannels (RecordChannel text PRIMARY KEY);
INSERT INTO SiteChannels SELECT DISTINCT RecordChannel FROM RecordFileInfo WHERE RecordChannel IS NOT NULL
    ON CONFLICT DO NOTHING;

CREATE OR REPLACE FUNCTION calldeck_note_channels() RETURNS trigger
    LANGUAGE plpgsql SECURITY DEFINER SET search_path = public AS $$
BEGIN
    INSERT INTO SiteChannels SELECT DISTINCT n.RecordChannel FROM calldeck_new n WHERE n.RecordChannel IS NOT NULL
        ON CONFLICT DO NOTHING;
    RETURN NULL;
END $$;
CREATE OR REPLACE TRIGGER RecordFileInfo_Channels AFTER INSERT ON RecordFileInfo
    REFERENCING NEW TABLE AS calldeck_new FOR EACH STATEMENT EXECUTE FUNCTION calldeck_note_channels();

-- The current person's scopes, each gathered once per statement (the
-- policies call them as uncorrelated subqueries): the channels they may
-- see, which a row looks up in a hash table the server makes of them;
-- whether every scope allows any number; and, for scopes that bound the
-- number, one pattern per scope over "channel<TAB>number", matched per
-- row only then. In PL/pgSQL, so that a session plans them once.
CREATE OR REPLACE FUNCTION calldeck_scope_channels() RETURNS text[] LANGUAGE plpgsql STABLE AS $$
BEGIN
    RETURN (SELECT coalesce(array_agg(DISTINCT c.RecordChannel), '{}')
          FROM SiteChannels c JOIN SiteScopes s ON c.RecordChannel ~ ('^(?:' || s.ChannelPattern || ')$')
         WHERE s.RoleName IN (SELECT rolname FROM pg_roles WHERE pg_has_role(current_user, oid, 'MEMBER')));
END $$;

CREATE OR REPLACE FUNCTION calldeck_scope_any_number() RETURNS boolean LANGUAGE plpgsql STABLE AS $$
BEGIN
    RETURN (SELECT coalesce(bool_and(NumberPattern = '.*'), true)
          FROM SiteScopes
         WHERE RoleName IN (SELECT rolname FROM pg_roles WHERE pg_has_role(current_user, oid, 'MEMBER')));
END $$;

CREATE OR REPLACE FUNCTION calldeck_scope_patterns() RETURNS text[] LANGUAGE plpgsql STABLE AS $$
BEGIN
    RETURN (SELECT coalesce(array_agg('^(?:' || ChannelPattern || ')\t(?:' || NumberPattern || ')$'), '{}')
          FROM SiteScopes
         WHERE RoleName IN (SELECT rolname FROM pg_roles WHERE pg_has_role(current_user, oid, 'MEMBER')));
END $$;

CREATE OR REPLACE FUNCTION calldeck_recorder_folders() RETURNS text[] LANGUAGE plpgsql STABLE AS $$
BEGIN
    RETURN (SELECT coalesce(array_agg(MainFolder), '{}')
          FROM SiteRecorderFolders
         WHERE RoleName IN (SELECT rolname FROM pg_roles WHERE pg_has_role(current_user, oid, 'MEMBER')));
END $$;

ALTER TABLE RecordFileInfo ENABLE ROW LEVEL SECURITY;

DROP POLICY IF EXISTS calldeck_scoped_read ON RecordFileInfo;
CREATE POLICY calldeck_scoped_read ON RecordFileInfo FOR SELECT TO calldeck_operator
    USING (RecordChannel IN (SELECT unnest(calldeck_scope_channels())) AND ((SELECT calldeck_scope_any_number())
           OR (RecordChannel || E'\t' || coalesce(CallNumber, '')) ~ ANY ((SELECT calldeck_scope_patterns())::text[])));
DROP POLICY IF EXISTS calldeck_scoped_delete ON RecordFileInfo;
CREATE POLICY calldeck_scoped_delete ON RecordFileInfo FOR DELETE TO calldeck_supervisor
    USING (RecordChannel IN (SELECT unnest(calldeck_scope_channels())) AND ((SELECT calldeck_scope_any_number())
           OR (RecordChannel || E'\t' || coalesce(CallNumber, '')) ~ ANY ((SELECT calldeck_scope_patterns())::text[])));
-- A delete first locks its row (select ... for update), which asks for the
-- right to update and the update policies: the lock is allowed within the
-- scopes, an update itself never.
DROP POLICY IF EXISTS calldeck_scoped_lock ON RecordFileInfo;
CREATE POLICY calldeck_scoped_lock ON RecordFileInfo FOR UPDATE TO calldeck_supervisor
    USING (RecordChannel IN (SELECT unnest(calldeck_scope_channels())) AND ((SELECT calldeck_scope_any_number())
           OR (RecordChannel || E'\t' || coalesce(CallNumber, '')) ~ ANY ((SELECT calldeck_scope_patterns())::text[])))
    WITH CHECK (false);
DROP POLICY IF EXISTS calldeck_recorder_rows ON RecordFileInfo;
CREATE POLICY calldeck_recorder_rows ON RecordFileInfo FOR ALL TO calldeck_recorder
    USING (MainFolder = ANY ((SELECT calldeck_recorder_folders())::text[]))
    WITH CHECK (true);  -- refused with its reason by calldeck_refuse_foreign_folder below

-- A recorder's scan of a folder not assigned to it: refused with words, not
-- left to a policy that would only skip the other folder's rows.
CREATE OR REPLACE FUNCTION calldeck_refuse_foreign_folder() RETURNS trigger LANGUAGE plpgsql AS $$
DECLARE
    folder text;
BEGIN
    IF NOT row_security_active('recordfileinfo') OR NOT pg_has_role(current_user, 'calldeck_recorder', 'MEMBER') THEN
        RETURN NULL;
    END IF;
    SELECT n.MainFolder INTO folder FROM calldeck_new n
     WHERE NOT n.MainFolder = ANY (calldeck_recorder_folders()) LIMIT 1;
    IF FOUND THEN
        RAISE EXCEPTION 'the main folder % is not assigned to the recorder role %; its scan is refused and no row was changed',
            folder, session_user USING ERRCODE = 'insufficient_privilege';
    END IF;
    RETURN NULL;
END $$;
CREATE OR REPLACE TRIGGER RecordFileInfo_RecorderFolders AFTER INSERT ON RecordFileInfo
    REFERENCING NEW TABLE AS calldeck_new FOR EACH STATEMENT EXECUTE FUNCTION calldeck_refuse_foreign_folder();

-- A recorder's rebuild counts the notes of its folders' recordings that
-- are no longer found; it sees only the notes under its own folders, as it
-- sees only their rows. The desks' notes are bound by the rows they show.
ALTER TABLE RecordNotes ENABLE ROW LEVEL SECURITY;
DROP POLICY IF EXISTS calldeck_desk_notes ON RecordNotes;
CREATE POLICY calldeck_desk_notes ON RecordNotes FOR ALL TO calldeck_operator USING (true) WITH CHECK (true);
DROP POLICY IF EXISTS calldeck_recorder_notes ON RecordNotes;
CREATE POLICY calldeck_recorder_notes ON RecordNotes FOR SELECT TO calldeck_recorder
    USING (EXISTS (SELECT 1 FROM unnest((SELECT calldeck_recorder_folders())::text[]) AS f (folder)
                    WHERE starts_with(FileFullName, f.folder || '/')));

-- Holds: every desk reads them; a supervisor places and releases them on
-- recordings of rows they can see, so within their scopes.
ALTER TABLE RecordHolds ENABLE ROW LEVEL SECURITY;
DROP POLICY IF EXISTS calldeck_read_holds ON RecordHolds;
CREATE POLICY calldeck_read_holds ON RecordHolds FOR SELECT TO calldeck_operator, calldeck_recorder USING (true);
DROP POLICY IF EXISTS calldeck_scoped_holds ON RecordHolds;
CREATE POLICY calldeck_scoped_holds ON RecordHolds FOR ALL TO calldeck_supervisor
    USING (EXISTS (SELECT 1 FROM RecordFileInfo r WHERE r.FileFullName = RecordHolds.FileFullName))
    WITH CHECK (EXISTS (SELECT 1 FROM RecordFileInfo r WHERE r.FileFullName = RecordHolds.FileFullName));

-- The hold checks (Player.pg.sql) must see every row and hold, whoever's
-- statement fires them.
ALTER FUNCTION calldeck_note_held_deletes() SECURITY DEFINER SET search_path = public;
ALTER FUNCTION calldeck_check_held_row() SECURITY DEFINER SET search_path = public;
ALTER FUNCTION calldeck_refuse_held_truncate() SECURITY DEFINER SET search_path = public;

-- What each group may do at all; the policies above bound which rows.
REVOKE ALL ON RecordFileInfo, RecordNotes, RecordTags, RecordBookmarks, RecordHolds, RecordHoldChecks,
    SiteScopes, SiteRecorderFolders, SiteChannels FROM calldeck_operator, calldeck_supervisor, calldeck_recorder, calldeck_auditor;
GRANT SELECT ON SiteScopes, SiteRecorderFolders, SiteChannels TO calldeck_operator, calldeck_recorder;
GRANT SELECT ON RecordFileInfo, RecordHolds TO calldeck_operator, calldeck_recorder;
GRANT SELECT, INSERT, UPDATE, DELETE ON RecordNotes, RecordTags, RecordBookmarks TO calldeck_operator;
GRANT SELECT ON RecordNotes, RecordTags, RecordBookmarks TO calldeck_recorder;
GRANT DELETE, UPDATE (calldeck_key) ON RecordFileInfo TO calldeck_supervisor;
GRANT INSERT, UPDATE, DELETE ON RecordHolds TO calldeck_supervisor;
GRANT INSERT, DELETE ON RecordFileInfo TO calldeck_recorder;
