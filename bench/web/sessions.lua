-- bench/web: what the wrk scripts share. The logged-in sessions (one cookie
-- a line, from bench/web/run) taken in turn, each thread from its own
-- place; and the figures printed at the end, p95 among them, which wrk's
-- own summary does not give.
local sessions = {}

local M = {}
local made = 0

function M.setup(thread)
   thread:set("id", made)
   made = made + 1
end

function M.lines(file)
   local out = {}
   for line in io.lines(file) do
      if line ~= "" then table.insert(out, line) end
   end
   if #out == 0 then error("nothing in " .. file) end
   return out
end

function M.load(file)
   sessions = M.lines(file)
end

-- The n-th session's cookie, n counted from 1.
function M.cookie(n)
   return sessions[(n - 1) % #sessions + 1]
end

-- One line of figures the run script reads ("name p50_ms=.. p95_ms=.. ...").
function M.done(name)
   return function(summary, latency, requests)
      local e = summary.errors
      local failed = e.connect + e.read + e.write + e.status + e.timeout
      io.write(string.format("%s requests=%d p50_ms=%.2f p95_ms=%.2f p99_ms=%.2f max_ms=%.2f per_s=%.0f failed=%d\n",
         name, summary.requests, latency:percentile(50) / 1000, latency:percentile(95) / 1000,
         latency:percentile(99) / 1000, latency.max / 1000, summary.requests / (summary.duration / 1e6), failed))
   end
end

return M
