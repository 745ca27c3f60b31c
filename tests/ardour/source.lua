ardour {
	["type"]    = "dsp",
	name        = "Halvorine Test Source",
	category    = "Utility",
	license     = "MIT",
	author      = "Halvorine",
	description = [[Plays the two channels the session script put in shared memory, at the transport's position; silence elsewhere]]
}

-- Shared memory: [0] frames, [1] unused, then the channels, kChannel floats apart.
local kChannel = 1048576

function dsp_ioconfig () return { { audio_in = 2, audio_out = 2 } } end

function dsp_init (rate)
	self:shmem():allocate(2 + 2 * kChannel)
	self:shmem():clear()
end

function dsp_run (ins, outs, n_samples)
	local shm = self:shmem()
	local frames = shm:atomic_get_int(0)
	local start = shm:atomic_get_int(1)
	local pos = Session:transport_rolling() and Session:transport_sample() or -1e12
	local data = shm:to_float(2):array()
	for c = 1, 2 do
		local o = outs[c]:array()
		for i = 1, n_samples do
			local k = pos + i - 1 - start
			if k >= 0 and k < frames then
				o[i] = data[(c - 1) * kChannel + k + 1]
			else
				o[i] = 0
			end
		end
	end
end
