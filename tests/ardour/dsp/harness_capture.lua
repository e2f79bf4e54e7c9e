ardour {
	["type"]    = "dsp",
	name        = "Kalto Harness Capture",
	category    = "Utility",
	license     = "MIT",
	author      = "Kalto_Vyn tests",
	description = [[Passes audio and MIDI through unchanged and records both, by session sample time (transport position + offset in the run), in shared memory that the session script allocated and reads back. Also records how the transport advanced, so the script can refuse a run whose timeline had gaps.]]
}

-- Shared memory, allocated by session.lua before the processor joins a route.
-- Header (ints):
--   [0] MIDI events stored      [1] event capacity      [2] events dropped (full)
--   [3] runs that did not start where the previous one ended
--   [4] MIDI events seen while the transport was stopped
--   [5] rolling runs            [6] smallest rolling run [7] largest rolling run
--   [8] expected start of the next rolling run (-1: none yet)
--   [9] first rolling position (-1: none yet)           [10] end of the last rolling run
--   [11] audio channels allocated   [12] frames allocated per channel
-- Audio:  float [HDR + c * frames + i]
-- Events: int   [HDR + channels * frames + REC * k ...]: time, size, bytes 0..2, rolling
local HDR = 32
local REC = 6

function dsp_ioconfig ()
	return { { midi_in = 1, midi_out = 1, audio_in = -1, audio_out = -1 } }
end

local n_out

function dsp_configure (ins, outs)
	n_out = outs
end

function dsp_runmap (bufs, in_map, out_map, n_samples, offset)
	ARDOUR.DSP.process_map (bufs, n_out, in_map, out_map, n_samples, offset)

	local shm = self:shmem ()
	local h = shm:to_int (0):array ()  -- 1-based: h[k + 1] is header int k
	local rolling = Session:transport_rolling ()
	local pos = Session:transport_sample () + offset
	local channels, frames = h[12], h[13]

	if rolling then
		if h[9] ~= -1 and pos ~= h[9] then
			h[4] = h[4] + 1
		end
		if h[10] == -1 then h[10] = pos end
		h[9] = pos + n_samples
		h[11] = pos + n_samples
		h[6] = h[6] + 1
		if n_samples < h[7] then h[7] = n_samples end
		if n_samples > h[8] then h[8] = n_samples end

		-- the part of this run inside [0, frames)
		local a = math.max (pos, 0)
		local b = math.min (pos + n_samples, frames)
		if b > a then
			for c = 0, channels - 1 do
				local ib = in_map:get (ARDOUR.DataType ("audio"), c)
				local dst = shm:to_float (HDR + c * frames + a)
				if ib ~= ARDOUR.ChanMapping.Invalid then
					ARDOUR.DSP.copy_vector (dst, bufs:get_audio (ib):data (offset + a - pos), b - a)
				else
					ARDOUR.DSP.memset (dst, 0, b - a)
				end
			end
		end
	end

	local ib = in_map:get (ARDOUR.DataType ("midi"), 0)
	if ib == ARDOUR.ChanMapping.Invalid then
		return
	end

	local events = HDR + channels * frames
	for _, e in pairs (bufs:get_midi (ib):table ()) do
		local t = e:time ()
		-- a split run only owns the events inside its own slice of the buffer
		if t >= offset and t < offset + n_samples then
			if not rolling then
				h[5] = h[5] + 1
			end
			local n = h[1]
			if n >= h[2] then
				h[3] = h[3] + 1
			else
				local ev = e:buffer ():array ()
				local size = e:size ()
				local rec = shm:to_int (events + REC * n):array ()
				rec[1] = Session:transport_sample () + t
				rec[2] = size
				rec[3] = size > 0 and ev[1] or 0
				rec[4] = size > 1 and ev[2] or 0
				rec[5] = size > 2 and ev[3] or 0
				rec[6] = rolling and 1 or 0
				h[1] = n + 1
			end
		end
	end
end
