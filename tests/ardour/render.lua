-- A session with one stereo track: the test source plays the input file
-- (HALVORINE_INPUT, channel 1 the modulator, 2 the carrier) after a second
-- of silence, and the plug-in HALVORINE_PLUGIN_ID of type
-- HALVORINE_PLUGIN_TYPE (VST3, LV2, LXVST: ARDOUR.PluginType's names)
-- follows it. The session is exported twice as 32-bit float WAV: with the
-- plug-in (to HALVORINE_OUT/processed) and with it deactivated, the track's
-- own signal (to HALVORINE_OUT/raw).
ARDOUR.config():set_hide_dummy_backend(false)
assert(AudioEngine:set_backend("None (Dummy)", "", ""), "no dummy backend")
local out = os.getenv("HALVORINE_OUT")
local s = create_session(out .. "/session", "halvorine", 44100)
assert(s, "no session")

local track = s:new_audio_track(2, 2, nil, 1, "Voice", ARDOUR.PresentationInfo.max_order,
                                ARDOUR.TrackMode.Normal, true):front()
local source = ARDOUR.LuaAPI.new_luaproc(s, "Halvorine Test Source")
assert(not source:isnil(), "no test source")
assert(track:add_processor_by_index(source, 0, nil, true) == 0)

local lead = 44100
local shm = source:to_insert():plugin(0):to_luaproc():shmem()
local frames = 0
local channel = 0
for readable in ARDOUR.Readable.load(s, os.getenv("HALVORINE_INPUT")):iter() do
	frames = readable:readable_length()
	assert(frames <= 1048576, "input too long")
	assert(readable:read(shm:to_float(2 + channel * 1048576), 0, frames, 0) == frames)
	channel = channel + 1
end
assert(channel == 2, "the input needs two channels")
shm:atomic_set_int(1, lead)
shm:atomic_set_int(0, frames)

local kind = os.getenv("HALVORINE_PLUGIN_TYPE")
local id = os.getenv("HALVORINE_PLUGIN_ID")
assert(ARDOUR.PluginType[kind], "no plug-in type " .. tostring(kind))
local effect = ARDOUR.LuaAPI.new_plugin(s, id, ARDOUR.PluginType[kind], "")
assert(not effect:isnil(), id .. " is not among Ardour's " .. kind .. " plug-ins")
assert(track:add_processor_by_index(effect, 1, nil, true) == 0)

for _, pass in ipairs({"processed", "raw"}) do
	if pass == "raw" then effect:deactivate() end
	local export = s:simple_export()
	assert(export:set_preset(os.getenv("HALVORINE_PRESET")), "no export preset")
	export:set_folder(out .. "/" .. pass)
	export:set_range(0, lead + frames)
	assert(export:run_export(), "export failed")
	print("exported " .. pass)
end
close_session()
