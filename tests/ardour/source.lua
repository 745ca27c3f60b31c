ardour {
	["type"]    = "dsp",
	name        = "Halvorine Test Source",
	category    = "Utility",
	license     = "MIT",
	author      = "Halvorine",
	description = [[Plays the channels the session script put in shared memory, at the transport's position; silence elsewhere]]
}

-- Shared memory: [0] frames, [1] the frame the file starts at, [2] the
-- channel a mono instance plays (0 or 1), [3] unused, then the file's two
-- channels, kChannel floats apart. A stereo instance plays both.
local kChannel = 1048576

function dsp_ioconfig () return { { audio_in = 2, audio_out = 2 }, { audio_in = 1, audio_out = 1 } } end

function dsp_init (rate)
	self:shmem():allocate(4 + 2 * kChannel)
	self:shmem():clear()
end

function dsp_run (ins, outs, n_samples)
	local shm = self:shmem()
	local frames = shm:atomic_get_int(0)
	local start = shm:atomic_get_int(1)
	local first = #outs == 1 and shm:atomic_get_int(2) or 0
	local pos = Session:transport_rolling() and Session:transport_sample() or -1e12
	local data = shm:to_float(4):array()
	for c = 1, #outs do
		local o = outs[c]:array()
		local base = (first + c - 1) * kChannel
		for i = 1, n_samples do
			local k = pos + i - 1 - start
			if k >= 0 and k < frames then
				o[i] = data[base + k + 1]
			else
				o[i] = 0
			end
		end
	end
end
