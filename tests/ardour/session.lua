-- Session script for run-in-ardour (ardour7-lua). Builds a session on the
-- dummy backend with one audio track whose chain is
--   Kalto Harness Source -> plug-in under test -> Kalto Harness Capture
-- rolls the transport over [0, input frames + tail), then writes what the
-- capture recorded: the plug-in's audio output as a 32-bit float WAV and the
-- MIDI it sent as text. Arguments are key=value pairs; run-in-ardour passes
-- them.
--
-- Ardour's own export (Session:simple_export) is not used: in ardour7-lua
-- 7.3 about one run in five then corrupts the heap and crashes, even with a
-- bare track.
--
-- Every failure raises a Lua error, so ardour7-lua exits 1; the wrapper also
-- insists on the HARNESS-OK line at the very end.

local SOURCE_HDR = 8    -- must match dsp/harness_source.lua
local CAPTURE_HDR = 32  -- must match dsp/harness_capture.lua
local CAPTURE_REC = 6
local MAX_EVENTS = 100000

local function fail (msg)
	error ("harness: " .. msg, 0)
end

local function say (msg)
	print ("harness: " .. msg)
end

local function parse_args ()
	local opt = { param = {} }
	for i = 1, #arg do
		local k, v = string.match (arg[i], "^([%w_]+)=(.*)$")
		if not k then
			fail ("bad argument '" .. arg[i] .. "' (want key=value)")
		end
		if k == "param" then
			table.insert (opt.param, v)
		else
			opt[k] = v
		end
	end
	for _, k in ipairs ({ "plugin", "plugin_type", "input", "session_dir", "wav", "midi",
	                      "rate", "block", "tail", "bypass", "speed" }) do
		if not opt[k] or opt[k] == "" then
			fail ("missing argument " .. k .. "=")
		end
	end
	for _, k in ipairs ({ "rate", "block", "tail" }) do
		local v = math.tointeger (tonumber (opt[k]))
		if not v or v < (k == "tail" and 0 or 1) then
			fail (k .. "=" .. opt[k] .. " is out of range")
		end
		opt[k] = v
	end
	opt.bypass = opt.bypass == "1"
	return opt
end

---------------------------------------------------------------------------
-- WAV files

-- PCM 8/16/24/32 bit or float 32/64 bit, plain or extensible; planar floats.
local function read_wav (path)
	local f, err = io.open (path, "rb")
	if not f then
		fail ("cannot open input: " .. tostring (err))
	end
	local data = f:read ("a")
	f:close ()

	if #data < 12 or data:sub (1, 4) ~= "RIFF" or data:sub (9, 12) ~= "WAVE" then
		fail (path .. " is not a RIFF/WAVE file")
	end

	local fmt, body, body_len
	local p = 13
	while p + 7 <= #data do
		local id = data:sub (p, p + 3)
		local size = string.unpack ("<I4", data, p + 4)
		local start = p + 8
		if id == "fmt " then
			if size < 16 then fail ("short fmt chunk in " .. path) end
			local tag, ch, sr, _, align, bits = string.unpack ("<I2I2I4I4I2I2", data, start)
			if tag == 0xFFFE then
				if size < 40 then fail ("short extensible fmt chunk in " .. path) end
				tag = string.unpack ("<I2", data, start + 24)
			end
			fmt = { tag = tag, channels = ch, rate = sr, align = align, bits = bits }
		elseif id == "data" then
			body = start
			-- streamed writers leave the size open; take what is there
			body_len = math.min (size, #data - start + 1)
		end
		p = start + size + (size % 2)
	end

	if not fmt then fail ("no fmt chunk in " .. path) end
	if not body then fail ("no data chunk in " .. path) end
	if fmt.channels < 1 then fail ("no channels in " .. path) end

	local code, scale, bytes
	if fmt.tag == 1 and fmt.bits == 8 then code, scale, bytes = "B", 1 / 128, 1
	elseif fmt.tag == 1 and fmt.bits == 16 then code, scale, bytes = "i2", 1 / 32768, 2
	elseif fmt.tag == 1 and fmt.bits == 24 then code, scale, bytes = "i3", 1 / 8388608, 3
	elseif fmt.tag == 1 and fmt.bits == 32 then code, scale, bytes = "i4", 1 / 2147483648, 4
	elseif fmt.tag == 3 and fmt.bits == 32 then code, scale, bytes = "f", 1, 4
	elseif fmt.tag == 3 and fmt.bits == 64 then code, scale, bytes = "d", 1, 8
	else
		fail (string.format ("unsupported WAV encoding in %s (format %d, %d bit)", path, fmt.tag, fmt.bits))
	end
	if fmt.align ~= bytes * fmt.channels then
		fail ("WAV block align " .. fmt.align .. " does not match its encoding in " .. path)
	end

	local nch = fmt.channels
	local frames = body_len // fmt.align
	local chans = {}
	for c = 1, nch do chans[c] = {} end

	-- many samples per unpack: one call per sample is slow in Lua
	local per = 240 * nch
	local group = "<" .. string.rep (code, per)
	local total = frames * nch
	local bias = (code == "B") and 128 or 0
	local i, q = 0, body
	while i < total do
		local n = math.min (per, total - i)
		local vals = table.pack (string.unpack (n == per and group or "<" .. string.rep (code, n), data, q))
		for j = 1, n do
			local s = i + j - 1
			chans[s % nch + 1][s // nch + 1] = (vals[j] - bias) * scale
		end
		i = i + n
		q = q + n * bytes
	end

	return { rate = fmt.rate, channels = nch, frames = frames, data = chans }
end

-- 32-bit float WAV from the capture's planar memory.
local function write_wav (path, rate, channels, frames, shm, base)
	local f, err = io.open (path, "wb")
	if not f then
		fail ("cannot write " .. path .. ": " .. tostring (err))
	end
	local data_len = frames * channels * 4
	f:write ("RIFF", string.pack ("<I4", 4 + 26 + 12 + 8 + data_len), "WAVE",
		"fmt ", string.pack ("<I4I2I2I4I4I2I2I2", 18, 3, channels, rate, rate * channels * 4, channels * 4, 32, 0),
		"fact", string.pack ("<I4I4", 4, frames),
		"data", string.pack ("<I4", data_len))
	local chunk = 4096
	local cols = {}
	for s = 0, frames - 1, chunk do
		local n = math.min (chunk, frames - s)
		for c = 1, channels do
			cols[c] = shm:to_float (base + (c - 1) * frames + s):get_table (n)
		end
		local inter = {}
		local k = 1
		for j = 1, n do
			for c = 1, channels do
				inter[k] = cols[c][j]
				k = k + 1
			end
		end
		f:write (string.pack ("<" .. string.rep ("f", #inter), table.unpack (inter)))
	end
	f:close ()
end

---------------------------------------------------------------------------
-- session and chain

local function start_session (opt)
	local backend = AudioEngine:set_backend ("None (Dummy)", "", "")
	if not backend or backend:isnil () then
		fail ("cannot select the \"None (Dummy)\" audio backend")
	end
	-- The dummy backend never drops a cycle, so running it faster than real
	-- time only shortens the run.
	if backend:set_driver (opt.speed) ~= 0 then
		fail ("the dummy backend has no driver '" .. opt.speed .. "'")
	end
	if backend:set_buffer_size (opt.block) ~= 0 then
		fail ("the dummy backend refused a block size of " .. opt.block)
	end
	if not create_session (opt.session_dir, "harness", opt.rate) then
		fail ("could not create a session in " .. opt.session_dir)
	end
	if Session:nominal_sample_rate () ~= opt.rate then
		fail ("session runs at " .. Session:nominal_sample_rate () .. " Hz, not " .. opt.rate)
	end
	if Session:get_block_size () ~= opt.block then
		fail ("engine block size is " .. Session:get_block_size () .. ", not " .. opt.block)
	end
end

local function known_plugins (t)
	local names = {}
	for p in ARDOUR.LuaAPI.list_plugins ():iter () do
		if p.type == t then table.insert (names, "'" .. p.name .. "'") end
	end
	return #names > 0 and table.concat (names, ", ") or "none"
end

local function new_plugin (opt)
	local types = {
		lxvst = ARDOUR.PluginType.LXVST,
		lv2 = ARDOUR.PluginType.LV2,
		lua = ARDOUR.PluginType.Lua,
	}
	local t = types[opt.plugin_type]
	if not t then
		fail ("unknown plugin_type " .. opt.plugin_type)
	end
	local p = ARDOUR.LuaAPI.new_plugin (Session, opt.plugin, t, "")
	if p:isnil () then
		fail ("plug-in '" .. opt.plugin .. "' (" .. opt.plugin_type .. ") not found; Ardour knows: "
		      .. known_plugins (t))
	end
	return p
end

local function new_luaproc (name)
	local p = ARDOUR.LuaAPI.new_luaproc (Session, name)
	if p:isnil () then
		fail ("Lua DSP '" .. name .. "' not found (is it in the user scripts folder?)")
	end
	return p
end

local function shmem (proc)
	return proc:to_insert ():plugin (0):to_luaproc ():shmem ()
end

-- The source holds the whole recording, planar, after its header.
local function load_source (source, wav)
	local shm = shmem (source)
	shm:allocate (SOURCE_HDR + wav.channels * wav.frames)
	shm:clear ()
	for c = 1, wav.channels do
		shm:to_float (SOURCE_HDR + (c - 1) * wav.frames):set_table (wav.data[c], wav.frames)
	end
	shm:atomic_set_int (0, wav.frames)
	shm:atomic_set_int (1, wav.channels)
end

local function prepare_capture (capture, channels, frames)
	local shm = shmem (capture)
	shm:allocate (CAPTURE_HDR + channels * frames + CAPTURE_REC * MAX_EVENTS)
	shm:clear ()
	shm:atomic_set_int (1, MAX_EVENTS)
	shm:atomic_set_int (6, 0x7fffffff)
	shm:atomic_set_int (8, -1)
	shm:atomic_set_int (9, -1)
	shm:atomic_set_int (11, channels)
	shm:atomic_set_int (12, frames)
end

local function streams (c)
	return string.format ("%d audio + %d midi", c:n_audio (), c:n_midi ())
end

---------------------------------------------------------------------------
-- parameters: NAME=VALUE or #INDEX=VALUE, values as the plug-in's control
-- takes them (a VST2 parameter runs 0..1)

local function param_list (plugin)
	local list = {}
	-- a VST2 plug-in says yes to any index, so the count bounds the walk
	for n = 0, plugin:parameter_count () - 1 do
		local cid, refs = plugin:nth_parameter (n, false)
		if refs[2] and cid < plugin:parameter_count ()
		   and plugin:parameter_is_control (cid) and plugin:parameter_is_input (cid) then
			local _, d = plugin:get_parameter_descriptor (cid, ARDOUR.ParameterDescriptor ())
			table.insert (list, { which = n, label = d[2].label, lower = d[2].lower, upper = d[2].upper })
		end
	end
	return list
end

local function set_params (proc, assignments)
	if #assignments == 0 then return end
	local list = param_list (proc:to_insert ():plugin (0))
	for _, assignment in ipairs (assignments) do
		local name, value = string.match (assignment, "^(.-)=([^=]*)$")
		local v = tonumber (value or "")
		if not name or name == "" or not v then
			fail ("bad --param '" .. assignment .. "' (want NAME=VALUE or #INDEX=VALUE)")
		end
		local hit
		local idx = string.match (name, "^#(%d+)$")
		if idx then
			for _, p in ipairs (list) do
				if p.which == tonumber (idx) then hit = p end
			end
		else
			local found = {}
			for _, p in ipairs (list) do
				if p.label == name then table.insert (found, p) end
			end
			if #found > 1 then
				fail ("parameter name '" .. name .. "' is used " .. #found .. " times; use #INDEX=VALUE")
			end
			hit = found[1]
		end
		if not hit then
			local names = {}
			for _, p in ipairs (list) do table.insert (names, "#" .. p.which .. " '" .. p.label .. "'") end
			fail ("no parameter '" .. name .. "'; the plug-in has: " .. table.concat (names, ", "))
		end
		if v < hit.lower or v > hit.upper then
			fail (string.format ("parameter '%s' takes %g..%g, not %g", hit.label, hit.lower, hit.upper, v))
		end
		if not ARDOUR.LuaAPI.set_processor_param (proc, hit.which, v) then
			fail ("could not set parameter '" .. hit.label .. "'")
		end
		say (string.format ("param #%d '%s' = %g (reads back %g)", hit.which, hit.label, v,
		     ARDOUR.LuaAPI.get_processor_param (proc, hit.which, false)))
	end
end

---------------------------------------------------------------------------
-- transport

local function wait_until (what, seconds, cond)
	local deadline = ARDOUR.LuaAPI.monotonic_time () + seconds * 1e6
	while not cond () do
		if ARDOUR.LuaAPI.monotonic_time () > deadline then
			fail ("gave up waiting for " .. what)
		end
		ARDOUR.LuaAPI.usleep (1000)
	end
end

local function roll (length, progress)
	local TRS_UI = ARDOUR.TransportRequestSource.TRS_UI
	Session:request_locate (0, false, ARDOUR.LocateTransportDisposition.MustStop, TRS_UI)
	wait_until ("the locate to 0", 30, function ()
		return Session:transport_stopped () and Session:transport_sample () == 0
	end)
	-- let latency updates after the chain change land before the run
	ARDOUR.LuaAPI.wait_for_process_callback (8, 5000)

	Session:request_roll (TRS_UI)
	-- progress () is the end of the last rolling run the capture saw
	wait_until ("the transport to pass sample " .. length, 3600, function ()
		return progress () >= length
	end)
	Session:request_stop (false, false, TRS_UI)
	wait_until ("the transport to stop", 30, function ()
		return Session:transport_stopped ()
	end)
	-- one more cycle, for the note-offs Ardour sends after a stop
	ARDOUR.LuaAPI.wait_for_process_callback (2, 5000)
end

---------------------------------------------------------------------------

local function main ()
	local opt = parse_args ()

	local wav = read_wav (opt.input)
	if wav.frames == 0 then
		fail ("input " .. opt.input .. " has no frames")
	end
	if wav.rate ~= opt.rate then
		fail (string.format ("input is %d Hz but the session runs at %d Hz", wav.rate, opt.rate))
	end
	say (string.format ("input: %d frames, %d channel(s), %d Hz", wav.frames, wav.channels, wav.rate))

	start_session (opt)

	local plug = new_plugin (opt)
	local source = new_luaproc ("Kalto Harness Source")
	local capture = new_luaproc ("Kalto Harness Capture")
	load_source (source, wav)
	wav.data = nil
	collectgarbage ()

	local pi = plug:to_insert ()
	local channels = math.max (wav.channels, pi:natural_input_streams ():n_audio (), 1)
	local length = wav.frames + opt.tail

	local tracks = Session:new_audio_track (channels, 2, nil, 1, "Harness",
		ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, false)
	if tracks:size () ~= 1 then
		fail ("could not create the audio track")
	end
	local track = tracks:front ()

	-- The capture joins inactive: its memory is sized once the chain shows
	-- how many channels reach it, and it must not run before that.
	for i, p in ipairs ({ source, plug, capture }) do
		if track:add_processor_by_index (p, i - 1, nil, i ~= 3) ~= 0 then
			fail ("could not add processor '" .. p:display_name () .. "' to the track")
		end
	end

	-- the three must run in this order, with nothing in between
	local order = {}
	for i = 0, 8 do
		local p = track:nth_plugin (i)
		if p:isnil () then break end
		table.insert (order, p:display_name ())
	end
	say ("chain: " .. table.concat (order, " -> "))
	if #order ~= 3 or not track:nth_plugin (0):sameinstance (source)
	   or not track:nth_plugin (1):sameinstance (plug)
	   or not track:nth_plugin (2):sameinstance (capture) then
		fail ("unexpected processor order")
	end

	local cap_in = capture:to_insert ():input_streams ()
	local out_channels = cap_in:n_audio ()
	say ("plug-in '" .. plug:display_name () .. "': in " .. streams (pi:input_streams ())
	     .. ", out " .. streams (pi:output_streams ()) .. "; capture gets " .. streams (cap_in))
	if out_channels == 0 then
		fail ("no audio leaves the plug-in")
	end
	if pi:natural_output_streams ():n_midi () > 0 and cap_in:n_midi () == 0 then
		fail ("the plug-in sends MIDI but no MIDI reaches the capture")
	end
	prepare_capture (capture, out_channels, length)
	capture:activate ()

	set_params (plug, opt.param)

	if opt.bypass then
		plug:deactivate ()
		if plug:active () then
			fail ("could not deactivate the plug-in")
		end
		say ("plug-in deactivated (bypass)")
	end

	local shm = shmem (capture)
	local t0 = ARDOUR.LuaAPI.monotonic_time ()
	roll (length, function () return shm:atomic_get_int (10) end)
	local h = shm:to_int (0):array ()
	local stored, dropped, gaps, stopped = h[1], h[3], h[4], h[5]
	local runs, min_run, max_run, first_pos, last_end = h[6], h[7], h[8], h[10], h[11]

	say (string.format ("rolled %d runs from sample %d to %d in %.2f s, run sizes %d..%d, %d xrun(s)",
	     runs, first_pos, last_end, (ARDOUR.LuaAPI.monotonic_time () - t0) / 1e6,
	     runs > 0 and min_run or 0, max_run, Session:get_xrun_count ()))
	say (string.format ("latency: plug-in %d samples, track %d samples",
	     plug:signal_latency (), track:signal_latency ()))
	if gaps > 0 then
		fail (gaps .. " run(s) did not continue where the previous one ended")
	end
	if first_pos ~= 0 then
		fail ("the transport started rolling at sample " .. first_pos .. ", not 0")
	end
	if dropped > 0 then
		fail (dropped .. " MIDI events did not fit the capture")
	end

	write_wav (opt.wav, opt.rate, out_channels, length, shm, CAPTURE_HDR)

	local out, err = io.open (opt.midi, "w")
	if not out then
		fail ("cannot write " .. opt.midi .. ": " .. tostring (err))
	end
	local logged = 0
	local events = CAPTURE_HDR + out_channels * length
	for k = 0, stored - 1 do
		local e = shm:to_int (events + CAPTURE_REC * k):array ()
		local line = string.format ("%d %d %d %d", e[1], e[3], e[4], e[5])
		if e[6] == 1 then
			out:write (line .. "\n")
			logged = logged + 1
		else
			say ("while stopped: " .. line .. " (size " .. e[2] .. "), not in the MIDI file")
		end
	end
	out:close ()
	say (string.format ("wrote %d frames x %d channel(s), %d MIDI event(s)", length, out_channels, logged))
end

-- Processors still referenced from Lua must go before the session does:
-- ardour7-lua crashes on exit otherwise, or hangs after an error.
local ok, err = pcall (main)
collectgarbage ()
close_session ()
if not ok then
	error (err, 0)
end
print ("HARNESS-OK")
