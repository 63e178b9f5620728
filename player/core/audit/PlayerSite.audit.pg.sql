-- The site's one audit trail on its server: every desk's audit records in
-- one BLAKE2b hash chain, in the same record form as the desks' daily files
-- (docs/audit.md). The desk computes each record's hash while it holds the
-- lock on the chain's head row, so appends from many desks form one chain;
-- people append only through the two functions below and cannot change,
-- remove or empty what is there; calldeck_auditor reads it. Run after
-- PlayerSite.roles.pg.sql, by the tables' owner; every statement may run again.

CREATE TABLE IF NOT EXISTS SiteAudit (
    Seq            bigint PRIMARY KEY,
    Time           text NOT NULL,
    UserName       text NOT NULL,   -- "system user (role database role)"
    Host           text NOT NULL,
    Program        text NOT NULL,
    Act            text NOT NULL,
    FileFullName   text NOT NULL,
    RecordDateTime text NOT NULL,
    RecordChannel  text NOT NULL,
    CallNumber     text NOT NULL,
    RecordDuration text NOT NULL,
    CallDirection  text NOT NULL,
    Target         text NOT NULL,
    Result         text NOT NULL,
    Hash           text NOT NULL
);

-- The chain's head: its last seq and hash, one row, locked by each append.
CREATE TABLE IF NOT EXISTS SiteAuditHead (
    OnlyRow boolean PRIMARY KEY DEFAULT true CHECK (OnlyRow),
    Seq     bigint NOT NULL,
    Hash    text NOT NULL
);
INSERT INTO SiteAuditHead (OnlyRow, Seq, Hash) VALUES (true, 0, repeat('0', 64)) ON CONFLICT DO NOTHING;

-- Locks the head row until the caller's transaction ends and gives it.
CREATE OR REPLACE FUNCTION calldeck_audit_head(OUT seq bigint, OUT hash text)
    LANGUAGE sql SECURITY DEFINER SET search_path = public AS $$
    SELECT h.Seq, h.Hash FROM SiteAuditHead h FOR UPDATE
$$;

-- Appends one record after the head the caller locked. The record must
-- follow the head and name the caller's own login as its role.
CREATE OR REPLACE FUNCTION calldeck_audit_append(
    p_seq bigint, p_time text, p_user text, p_host text, p_program text, p_act text, p_path text,
    p_date_time text, p_channel text, p_number text, p_duration text, p_direction text,
    p_target text, p_result text, p_hash text) RETURNS void
    LANGUAGE plpgsql SECURITY DEFINER SET search_path = public AS $$
DECLARE
    head bigint;
BEGIN
    SELECT h.Seq INTO head FROM SiteAuditHead h FOR UPDATE;
    IF p_seq <> head + 1 THEN
        RAISE EXCEPTION 'audit record % does not follow the chain''s head %', p_seq, head;
    END IF;
    IF p_user NOT LIKE '% (role ' || replace(replace(session_user, '\', '\\'), '%', '\%') || ')' THEN
        RAISE EXCEPTION 'an audit record must name the login that writes it (%)', session_user;
    END IF;
    INSERT INTO SiteAudit VALUES (p_seq, p_time, p_user, p_host, p_program, p_act, p_path, p_date_time, p_channel,
                                  p_number, p_duration, p_direction, p_target, p_result, p_hash);
    UPDATE SiteAuditHead SET Seq = p_seq, Hash = p_hash;
END $$;

REVOKE ALL ON SiteAudit, SiteAuditHead FROM PUBLIC;
REVOKE ALL ON FUNCTION calldeck_audit_head(), calldeck_audit_append(bigint, text, text, text, text, text, text, text,
    text, text, text, text, text, text, text) FROM PUBLIC;
GRANT EXECUTE ON FUNCTION calldeck_audit_head(), calldeck_audit_append(bigint, text, text, text, text, text, text,
    text, text, text, text, text, text, text, text) TO calldeck_operator, calldeck_recorder;
GRANT SELECT ON SiteAudit TO calldeck_auditor;
