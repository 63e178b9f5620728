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

-- Every channel the index has held, and the channels of each scope among
-- them, kept by the triggers below: a statement looks its person's
-- channels up instead of matching the patterns, and no row is matched
-- against a pattern of channels.
CREATE TABLE IF NOT EXISTS SiteChannels (RecordChannel text PRIMARY KEY);
CREATE TABLE IF NOT EXISTS SiteScopeChannels (
    RoleName      text NOT NULL,
    RecordChannel text NOT NULL,
    PRIMARY KEY (RoleName, RecordChannel)
);

CREATE OR REPLACE FUNCTION calldeck_match_scope_channels() RETURNS void
    LANGUAGE sql SECURITY DEFINER SET search_path = public AS $$
    DELETE FROM SiteScopeChannels;
    INSERT INTO SiteScopeChannels
        SELECT DISTINCT s.RoleName, c.RecordChannel
          FROM SiteScopes s JOIN SiteChannels c ON c.RecordChannel ~ ('^(?:' || s.ChannelPattern || ')$');
$$;
CREATE OR REPLACE FUNCTION calldeck_scopes_changed() RETURNS trigger
    LANGUAGE plpgsql SECURITY DEFINER SET search_path = public AS $$
BEGIN
    PERFORM calldeck_match_scope_channels();
    RETURN NULL;
END $$;
CREATE OR REPLACE TRIGGER SiteScopes_Channels AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON SiteScopes
    FOR EACH STATEMENT EXECUTE FUNCTION calldeck_scopes_changed();

-- A channel new to the index is matched against every scope once, in the
-- statement that stores its first row.
CREATE OR REPLACE FUNCTION calldeck_note_channels() RETURNS trigger
    LANGUAGE plpgsql SECURITY DEFINER SET search_path = public AS $$
BEGIN
    WITH added AS (
        INSERT INTO SiteChannels SELECT DISTINCT n.RecordChannel FROM calldeck_new n WHERE n.RecordChannel IS NOT NULL
            ON CONFLICT DO NOTHING RETURNING RecordChannel)
    INSERT INTO SiteScopeChannels
        SELECT s.RoleName, a.RecordChannel
          FROM added a JOIN SiteScopes s ON a.RecordChannel ~ ('^(?:' || s.ChannelPattern || ')$')
        ON CONFLICT DO NOTHING;
    RETURN NULL;
END $$;
CREATE OR REPLACE TRIGGER RecordFileInfo_Channels AFTER INSERT ON RecordFileInfo
    REFERENCING NEW TABLE AS calldeck_new FOR EACH STATEMENT EXECUTE FUNCTION calldeck_note_channels();

INSERT INTO SiteChannels SELECT DISTINCT RecordChannel FROM RecordFileInfo WHERE RecordChannel IS NOT NULL
    ON CONFLICT DO NOTHING;
DO $$ BEGIN PERFORM calldeck_match_scope_channels(); END $$;

-- A login's scopes: the channels it may see; whether every scope allows
-- any number; and, for scopes that bound the number, one pattern per scope
-- over "channel<TAB>number". In PL/pgSQL, so that a session plans them once.
CREATE OR REPLACE FUNCTION calldeck_login_channels(who name) RETURNS text[] LANGUAGE plpgsql STABLE AS $$
BEGIN
    RETURN (SELECT coalesce(array_agg(DISTINCT RecordChannel), '{}')
          FROM SiteScopeChannels
         WHERE RoleName IN (SELECT rolname FROM pg_roles WHERE pg_has_role(who, oid, 'MEMBER')));
END $$;

CREATE OR REPLACE FUNCTION calldeck_login_any_number(who name) RETURNS boolean LANGUAGE plpgsql STABLE AS $$
BEGIN
    RETURN (SELECT coalesce(bool_and(NumberPattern = '.*'), true)
          FROM SiteScopes
         WHERE RoleName IN (SELECT rolname FROM pg_roles WHERE pg_has_role(who, oid, 'MEMBER')));
END $$;

CREATE OR REPLACE FUNCTION calldeck_login_patterns(who name) RETURNS text[] LANGUAGE plpgsql STABLE AS $$
BEGIN
    RETURN (SELECT coalesce(array_agg('^(?:' || ChannelPattern || ')\t(?:' || NumberPattern || ')$'), '{}')
          FROM SiteScopes
         WHERE RoleName IN (SELECT rolname FROM pg_roles WHERE pg_has_role(who, oid, 'MEMBER')));
END $$;

-- The current user's scopes, as the policies call them: as uncorrelated
-- subqueries, so each is gathered once per statement, and without an
-- argument, since with one (even a constant) the planner does not take
-- "RecordChannel = ANY (...)" as a condition on the index.
CREATE OR REPLACE FUNCTION calldeck_scope_channels() RETURNS text[] LANGUAGE plpgsql STABLE AS $$
BEGIN
    RETURN calldeck_login_channels(current_user);
END $$;
CREATE OR REPLACE FUNCTION calldeck_scope_any_number() RETURNS boolean LANGUAGE plpgsql STABLE AS $$
BEGIN
    RETURN calldeck_login_any_number(current_user);
END $$;
CREATE OR REPLACE FUNCTION calldeck_scope_patterns() RETURNS text[] LANGUAGE plpgsql STABLE AS $$
BEGIN
    RETURN calldeck_login_patterns(current_user);
END $$;

-- The number test of the scopes that bound the number, per row. It is
-- declared costly (a regular expression per scope, and a call), which it
-- is whenever it runs: the planner then reads as few rows as it can before
-- testing them, which is the index on (RecordChannel, RecordDateTime) over
-- the scopes' channels (RecordChannel = ANY ...), not every channel's rows
-- of a day through the time index. Where every scope allows any number it
-- is never called.
CREATE OR REPLACE FUNCTION calldeck_scope_number(channel text, number text, patterns text[]) RETURNS boolean
    LANGUAGE plpgsql IMMUTABLE COST 500 AS $$
BEGIN
    RETURN (channel || E'\t' || coalesce(number, '')) ~ ANY (patterns);
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
    USING (RecordChannel = ANY ((SELECT calldeck_scope_channels())::text[])
           AND ((SELECT calldeck_scope_any_number())
                OR calldeck_scope_number(RecordChannel, CallNumber, (SELECT calldeck_scope_patterns()))));
DROP POLICY IF EXISTS calldeck_scoped_delete ON RecordFileInfo;
CREATE POLICY calldeck_scoped_delete ON RecordFileInfo FOR DELETE TO calldeck_supervisor
    USING (RecordChannel = ANY ((SELECT calldeck_scope_channels())::text[])
           AND ((SELECT calldeck_scope_any_number())
                OR calldeck_scope_number(RecordChannel, CallNumber, (SELECT calldeck_scope_patterns()))));
-- A delete first locks its row (select ... for update), which asks for the
-- right to update and the update policies: the lock is allowed within the
-- scopes, an update itself never.
DROP POLICY IF EXISTS calldeck_scoped_lock ON RecordFileInfo;
CREATE POLICY calldeck_scoped_lock ON RecordFileInfo FOR UPDATE TO calldeck_supervisor
    USING (RecordChannel = ANY ((SELECT calldeck_scope_channels())::text[])
           AND ((SELECT calldeck_scope_any_number())
                OR calldeck_scope_number(RecordChannel, CallNumber, (SELECT calldeck_scope_patterns()))))
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

-- Whether any row of the index, in anyone's scope, holds the recording.
CREATE OR REPLACE FUNCTION calldeck_indexed(path text) RETURNS boolean
    LANGUAGE sql STABLE SECURITY DEFINER SET search_path = public AS $$
    SELECT EXISTS (SELECT 1 FROM RecordFileInfo WHERE FileFullName = path)
$$;
REVOKE ALL ON FUNCTION calldeck_indexed(text) FROM PUBLIC;
GRANT EXECUTE ON FUNCTION calldeck_indexed(text) TO calldeck_supervisor;

-- Notes, tags, bookmarks and holds follow the rows: an operator (and so a
-- supervisor) sees and writes those of the recordings whose row they see,
-- through RecordFileInfo's own policies (one lookup along its index on
-- FileFullName per note, tag, bookmark or hold). A supervisor also sees,
-- and may remove, those of recordings no row holds any more, whoever's
-- they were: a Delete removes the row first and then what was written
-- about the recording, and a delete reads the rows it removes (their
-- policies for reading apply to it as well). A recorder sees those under
-- its own folders, the rows of which its rebuild replaces: it counts the
-- notes whose recording is no longer found and keeps held rows.
DO $$
DECLARE
    t text;
BEGIN
    FOREACH t IN ARRAY ARRAY['RecordNotes', 'RecordTags', 'RecordBookmarks', 'RecordHolds'] LOOP
        EXECUTE format('ALTER TABLE %s ENABLE ROW LEVEL SECURITY', t);
        EXECUTE format('DROP POLICY IF EXISTS calldeck_desk_rows ON %s', t);
        EXECUTE format('CREATE POLICY calldeck_desk_rows ON %s FOR ALL TO calldeck_operator'
                       ' USING (EXISTS (SELECT 1 FROM RecordFileInfo r WHERE r.FileFullName = %s.FileFullName))'
                       ' WITH CHECK (EXISTS (SELECT 1 FROM RecordFileInfo r WHERE r.FileFullName = %s.FileFullName))',
                       t, t, t);
        EXECUTE format('DROP POLICY IF EXISTS calldeck_unindexed_rows ON %s', t);
        EXECUTE format('CREATE POLICY calldeck_unindexed_rows ON %s FOR SELECT TO calldeck_supervisor'
                       ' USING (NOT calldeck_indexed(FileFullName))', t);
        EXECUTE format('DROP POLICY IF EXISTS calldeck_unindexed_removal ON %s', t);
        EXECUTE format('CREATE POLICY calldeck_unindexed_removal ON %s FOR DELETE TO calldeck_supervisor'
                       ' USING (NOT calldeck_indexed(FileFullName))', t);
        EXECUTE format('DROP POLICY IF EXISTS calldeck_recorder_rows ON %s', t);
        EXECUTE format('CREATE POLICY calldeck_recorder_rows ON %s FOR SELECT TO calldeck_recorder'
                       ' USING (EXISTS (SELECT 1 FROM unnest((SELECT calldeck_recorder_folders())::text[]) AS f (folder)'
                       ' WHERE starts_with(FileFullName, f.folder || %L)))', t, '/');
    END LOOP;
END $$;
-- The policies of an earlier form of this file.
DROP POLICY IF EXISTS calldeck_desk_notes ON RecordNotes;
DROP POLICY IF EXISTS calldeck_recorder_notes ON RecordNotes;
DROP POLICY IF EXISTS calldeck_read_holds ON RecordHolds;
DROP POLICY IF EXISTS calldeck_scoped_holds ON RecordHolds;

-- The paths of the notes holding every word of `words`, of recordings the
-- login sees. A row-level policy is tested before any condition that
-- might tell what it hides, and a word test is one of those, so through
-- RecordNotes' policy every note's recording would be looked up before
-- the full-text index could be used. This finds the words along that
-- index first and then tests the few notes found against the scopes of the
-- session's login, as the policies test a row. The desks call it for a
-- login the policies bind (a member of calldeck_operator).
CREATE OR REPLACE FUNCTION calldeck_note_paths(words text) RETURNS SETOF text
    LANGUAGE sql STABLE SECURITY DEFINER SET search_path = public AS $$
    SELECT n.FileFullName FROM RecordNotes n
     WHERE n.NoteWords @@ plainto_tsquery('simple', words)
       AND EXISTS (SELECT 1 FROM RecordFileInfo r
                    WHERE r.FileFullName = n.FileFullName
                      AND r.RecordChannel = ANY ((SELECT calldeck_login_channels(session_user))::text[])
                      AND ((SELECT calldeck_login_any_number(session_user))
                           OR calldeck_scope_number(r.RecordChannel, r.CallNumber,
                                                    (SELECT calldeck_login_patterns(session_user)))))
$$;
REVOKE ALL ON FUNCTION calldeck_note_paths(text) FROM PUBLIC;
GRANT EXECUTE ON FUNCTION calldeck_note_paths(text) TO calldeck_operator;

-- The hold checks (Player.pg.sql) must see every row and hold, whoever's
-- statement fires them.
ALTER FUNCTION calldeck_note_held_deletes() SECURITY DEFINER SET search_path = public;
ALTER FUNCTION calldeck_check_held_row() SECURITY DEFINER SET search_path = public;
ALTER FUNCTION calldeck_refuse_held_truncate() SECURITY DEFINER SET search_path = public;

-- What each group may do at all; the policies above bound which rows.
REVOKE ALL ON RecordFileInfo, RecordNotes, RecordTags, RecordBookmarks, RecordHolds, RecordHoldChecks,
    SiteScopes, SiteRecorderFolders, SiteChannels, SiteScopeChannels FROM calldeck_operator, calldeck_supervisor, calldeck_recorder, calldeck_auditor;
GRANT SELECT ON SiteScopes, SiteRecorderFolders, SiteChannels, SiteScopeChannels TO calldeck_operator, calldeck_recorder;
REVOKE ALL ON FUNCTION calldeck_match_scope_channels() FROM PUBLIC;
GRANT SELECT ON RecordFileInfo, RecordHolds TO calldeck_operator, calldeck_recorder;
GRANT SELECT, INSERT, UPDATE, DELETE ON RecordNotes, RecordTags, RecordBookmarks TO calldeck_operator;
GRANT SELECT ON RecordNotes, RecordTags, RecordBookmarks TO calldeck_recorder;
GRANT DELETE, UPDATE (calldeck_key) ON RecordFileInfo TO calldeck_supervisor;
GRANT INSERT, UPDATE, DELETE ON RecordHolds TO calldeck_supervisor;
GRANT INSERT, DELETE ON RecordFileInfo TO calldeck_recorder;

