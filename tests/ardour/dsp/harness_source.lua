ardour {
	["type"]    = "dsp",
	name        = "Kalto Harness Source",
	category    = "Utility",
	license     = "MIT",
	author      = "Kalto_Vyn tests",
	description = [[Plays a recording that the session script placed in this processor's shared memory. Output sample j of a run is input frame (transport position + j), so whatever follows sees the file at its own session times; silence while the transport is stopped and outside the file. The input of the track is ignored.]]
}

-- Shared memory, laid out by session.lua before the processor joins a route:
--   int   [0]  frames in the recording
--   int   [1]  channels in the recording
--   float [HDR + c * frames + i]  channel c, frame i (planar)
local HDR = 8

function dsp_ioconfig ()
	return { { audio_in = -1, audio_out = -1 } }
end

local n_out_audio = 0

function dsp_configure (ins, outs)
	n_out_audio = outs:n_audio ()
end

function dsp_runmap (bufs, in_map, out_map, n_samples, offset)
	local shm = self:shmem ()
	local frames = shm:atomic_get_int (0)
	local nch = shm:atomic_get_int (1)

	-- Session position of the first sample of this (possibly split) run.
	local pos = Session:transport_sample () + offset
	local rolling = Session:transport_rolling ()

	-- The part of [pos, pos + n_samples) that lies inside the recording.
	local first = 0
	local count = 0
	if rolling and nch > 0 then
		local a = math.max (pos, 0)
		local b = math.min (pos + n_samples, frames)
		if b > a then
			first = a - pos
			count = b - a
		end
	end

	for c = 0, n_out_audio - 1 do
		local ob = out_map:get (ARDOUR.DataType ("audio"), c)
		if ob ~= ARDOUR.ChanMapping.Invalid then
			local dst = bufs:get_audio (ob):data (offset)
			if count == 0 then
				ARDOUR.DSP.memset (dst, 0, n_samples)
			else
				-- a mono recording feeds every channel
				local src_ch = math.min (c, nch - 1)
				if first > 0 then
					ARDOUR.DSP.memset (dst, 0, first)
				end
				ARDOUR.DSP.copy_vector (dst:offset (first),
					shm:to_float (HDR + src_ch * frames + pos + first), count)
				local rest = n_samples - first - count
				if rest > 0 then
					ARDOUR.DSP.memset (dst:offset (first + count), 0, rest)
				end
			end
		end
	end
end
