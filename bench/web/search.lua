-- bench/web: the search of one day, all channels, first page, as the page
-- asks it, each request under the next of the logged-in sessions.
--   wrk -s search.lua URL -- SESSIONS DAY
local s = require "sessions"
local day, turn

setup = s.setup
done = s.done("search")

function init(args)
   s.load(args[1])
   day = args[2]
   turn = id + 1
end

function request()
   turn = turn + 2
   return wrk.format("GET", "/api/search?page=0&start=" .. day .. "%2000:00:00&end=" .. day ..
      "%2023:59:59&channel=0", { Cookie = s.cookie(turn) })
end
