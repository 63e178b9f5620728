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
