-- The record index the player keeps beside itself, Player.mdb: one table
-- that a scan empties and refills and the searches read. The build makes
-- an empty file from this; the program never creates it.
--
-- RecordDateTime and RecordDuration are kept as canonical texts whose
-- plain order is time order: "YYYY-MM-DD hh:mm:ss", and "hh:mm:ss" with at
-- least two hour digits (compared as length, then text, by the store).
-- Their declared types tell the store which conversion applies, and the
-- store refuses a text that is no date. (A CHECK constraint doing the same
-- in SQL would guard other writers too, but costs a third of the scan.)
PRAGMA journal_mode = WAL;

CREATE TABLE RecordFileInfo (
    FileFullName   TEXT,
    RecordDateTime DateTimeText,
    RecordChannel  TEXT,
    CallNumber     TEXT,
    RecordDuration DurationText,
    CallDirection  TEXT
);

-- One channel over a time range, and the show-all order. A time range over
-- all channels reads it too, channel by channel, once a rebuild has counted
-- the channels for the query planner (ANALYZE).
CREATE INDEX RecordFileInfo_Channel_DateTime ON RecordFileInfo (RecordChannel, RecordDateTime);
