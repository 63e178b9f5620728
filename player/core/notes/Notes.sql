-- What reviewers write about recordings, kept in Player.mdb beside
-- RecordFileInfo: a note, tags, bookmarks and a legal hold per recording,
-- keyed by its stored path (FileFullName), so that a rebuild, which
-- empties and refills RecordFileInfo, leaves them alone. The build adds
-- these tables to the empty Player.mdb; the program adds them, as they
-- stand here, to an index made before them when it opens it for writing.
-- Every statement may run again on a file that has them.
--
-- Note text is searched through an FTS5 index that the triggers keep in
-- step with RecordNotes (an external-content table, so the text is stored
-- once); NoteId is the rowid FTS5 refers to, stable through a VACUUM.
CREATE TABLE IF NOT EXISTS RecordNotes (
    NoteId       INTEGER PRIMARY KEY,
    FileFullName TEXT NOT NULL UNIQUE,
    Note         TEXT NOT NULL,
    ChangedBy    TEXT NOT NULL DEFAULT '',
    ChangedAt    TEXT NOT NULL DEFAULT ''
);
CREATE VIRTUAL TABLE IF NOT EXISTS RecordNoteWords USING fts5(Note, content='RecordNotes', content_rowid='NoteId');
CREATE TRIGGER IF NOT EXISTS RecordNotes_Added AFTER INSERT ON RecordNotes BEGIN
    INSERT INTO RecordNoteWords(rowid, Note) VALUES (new.NoteId, new.Note);
END;
CREATE TRIGGER IF NOT EXISTS RecordNotes_Removed AFTER DELETE ON RecordNotes BEGIN
    INSERT INTO RecordNoteWords(RecordNoteWords, rowid, Note) VALUES ('delete', old.NoteId, old.Note);
END;
CREATE TRIGGER IF NOT EXISTS RecordNotes_Changed AFTER UPDATE OF Note ON RecordNotes BEGIN
    INSERT INTO RecordNoteWords(RecordNoteWords, rowid, Note) VALUES ('delete', old.NoteId, old.Note);
    INSERT INTO RecordNoteWords(rowid, Note) VALUES (new.NoteId, new.Note);
END;

-- A tag is searched by its name: the key leads with it.
CREATE TABLE IF NOT EXISTS RecordTags (
    Tag          TEXT NOT NULL,
    FileFullName TEXT NOT NULL,
    PRIMARY KEY (Tag, FileFullName)
) WITHOUT ROWID;
CREATE INDEX IF NOT EXISTS RecordTags_File ON RecordTags (FileFullName);

CREATE TABLE IF NOT EXISTS RecordBookmarks (
    FileFullName TEXT NOT NULL,
    Second       INTEGER NOT NULL,
    Label        TEXT NOT NULL DEFAULT '',
    PRIMARY KEY (FileFullName, Second)
) WITHOUT ROWID;

-- A recording on hold is kept by every delete path of the program.
CREATE TABLE IF NOT EXISTS RecordHolds (
    FileFullName TEXT PRIMARY KEY,
    Reason       TEXT NOT NULL,
    HeldBy       TEXT NOT NULL,
    HeldAt       TEXT NOT NULL
) WITHOUT ROWID;

-- The searches by tag, note and hold find rows by their stored path.
CREATE INDEX IF NOT EXISTS RecordFileInfo_File ON RecordFileInfo (FileFullName);
