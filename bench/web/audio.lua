-- bench/web: a recording's audio as the page's player first asks for it
-- (Range: bytes=0-), each request for the next recording of the list and
-- under the next session, so that every answer is a fresh conversion.
-- wrk's latency runs to the last byte of the answer: an upper bound of the
-- first byte's, since the service answers only once the conversion is done.
--   BENCH_NAME=NAME wrk -s audio.lua URL -- SESSIONS KEYS
local s = require "sessions"
local keys, turn

setup = s.setup
done = s.done(os.getenv("BENCH_NAME") or "audio")  -- run in the main state

function init(args)
   s.load(args[1])
   keys = s.lines(args[2])
   turn = id
end

function request()
   turn = turn + 1
   return wrk.format("GET", "/api/recordings/" .. keys[(turn - 1) % #keys + 1] .. "/audio",
      { Cookie = s.cookie(turn), Range = "bytes=0-" })
end
