-- The record index the player keeps beside itself, Player.mdb: one table
-- that a scan empties and refills and the searches read. The build makes
-- an empty file from this; the program never creates it.
--
-- RecordDateTime and RecordDuration are kept as canonical texts whose
-- plain order is time order: "YYYY-MM-DD hh:mm:ss", and "hh:mm:ss" with at
-- least two hour digits (compared as length, then text, by the store).
-- Their declared types tell the store which conversion applies; the
-- checks keep any other writer (the sqlite3 shell) to the same forms.
PRAGMA journal_mode = WAL;

CREATE TABLE RecordFileInfo (
    FileFullName   TEXT,
    RecordDateTime DateTimeText CHECK (RecordDateTime IS NULL OR (
        RecordDateTime GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]'
        AND datetime(RecordDateTime, '+0 seconds') = RecordDateTime)),
    RecordChannel  TEXT,
    CallNumber     TEXT,
    RecordDuration DurationText CHECK (RecordDuration IS NULL OR (
        length(RecordDuration) >= 8
        AND substr(RecordDuration, -6) GLOB ':[0-5][0-9]:[0-5][0-9]'
        AND NOT substr(RecordDuration, 1, length(RecordDuration) - 6) GLOB '*[^0-9]*'
        AND (length(RecordDuration) = 8 OR substr(RecordDuration, 1, 1) <> '0'))),
    CallDirection  TEXT
);

-- One channel over a time range, and the show-all order.
CREATE INDEX RecordFileInfo_Channel_DateTime ON RecordFileInfo (RecordChannel, RecordDateTime);
