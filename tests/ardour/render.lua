-- A session that plays the input file (HALVORINE_INPUT, channel 1 the
-- modulator, 2 the carrier) through the plug-in HALVORINE_PLUGIN_ID of type
-- HALVORINE_PLUGIN_TYPE (VST3, LV2, LXVST: ARDOUR.PluginType's names), and
-- exports it as 32-bit float WAV to HALVORINE_OUT/processed.
--   HALVORINE_SIDECHAIN=1: a mono track plays the modulator into the
--     plug-in, and a second mono track plays the carrier into the insert's
--     sidechain, as a user routes it.
--   Otherwise one stereo track plays both channels into the plug-in.
--   HALVORINE_VALUES="k=v k=v": Ardour sets the plug-in's parameter k to v
--     (in the units Ardour shows), as its controls do; the session is then
--     saved, closed and opened again before the export.
ARDOUR.config():set_hide_dummy_backend(false)
assert(AudioEngine:set_backend("None (Dummy)", "", ""), "no dummy backend")
local out = os.getenv("HALVORINE_OUT")
local s = create_session(out .. "/session", "halvorine", 44100)
assert(s, "no session")
local sidechain = os.getenv("HALVORINE_SIDECHAIN") == "1"

-- A track whose test source plays the file: both channels on a stereo
-- track, channel `first` (0 or 1) on a mono one.
local frames = 0
local function playing(name, inputs, outputs, first)
	local track = s:new_audio_track(inputs, outputs, nil, 1, name, ARDOUR.PresentationInfo.max_order,
	                                ARDOUR.TrackMode.Normal, true):front()
	local source = ARDOUR.LuaAPI.new_luaproc(s, "Halvorine Test Source")
	assert(not source:isnil(), "no test source")
	assert(track:add_processor_by_index(source, 0, nil, true) == 0)
	local shm = source:to_insert():plugin(0):to_luaproc():shmem()
	local channel = 0
	for readable in ARDOUR.Readable.load(s, os.getenv("HALVORINE_INPUT")):iter() do
		frames = readable:readable_length()
		assert(frames <= 1048576, "input too long")
		assert(readable:read(shm:to_float(4 + channel * 1048576), 0, frames, 0) == frames)
		channel = channel + 1
	end
	assert(channel == 2, "the input needs two channels")
	shm:atomic_set_int(2, first)
	shm:atomic_set_int(1, 0)
	shm:atomic_set_int(0, frames)
	return track
end

local kind = os.getenv("HALVORINE_PLUGIN_TYPE")
local id = os.getenv("HALVORINE_PLUGIN_ID")
assert(ARDOUR.PluginType[kind], "no plug-in type " .. tostring(kind))
local effect = ARDOUR.LuaAPI.new_plugin(s, id, ARDOUR.PluginType[kind], "")
assert(not effect:isnil(), id .. " is not among Ardour's " .. kind .. " plug-ins")

local track = playing("Voice", sidechain and 1 or 2, 2, 0)
assert(track:add_processor_by_index(effect, 1, nil, true) == 0)
if sidechain then
	local carrier = playing("Carrier", 1, 1, 1)
	assert(track:add_sidechain(effect), "no sidechain")
	local input = effect:to_plugininsert():sidechain_input()
	assert(not input:isnil() and input:n_ports():n_audio() >= 1, "no sidechain input")
	carrier:output():disconnect_all(nil)
	-- Ardour must see the plug-in's carrier pin as the sidechain.
	local plugin = effect:to_plugininsert():plugin(0)
	local pins = {}
	for k = 0, 3 do
		local ok, port = pcall(function () return plugin:describe_io_port(ARDOUR.DataType("audio"), true, k) end)
		if ok and port.is_sidechain then pins[#pins + 1] = tostring(k) end
	end
	print("sidechain pins: " .. table.concat(pins, ",") .. ".")
	-- One sidechain port for each sidechain pin, all fed the carrier.
	while input:n_ports():n_audio() < #pins do
		assert(input:add_port("", nil, ARDOUR.DataType("audio")) == 0, "cannot add a sidechain port")
	end
	for k = 0, input:n_ports():n_audio() - 1 do
		assert(input:connect(input:audio(k), carrier:output():audio(0):name(), nil) == 0)
	end
end

local values = os.getenv("HALVORINE_VALUES") or ""
if values ~= "" then
	-- Program 7, picked from the presets Ardour lists, as a user would.
	local plugin = effect:to_plugininsert():plugin(0)
	local program = plugin:preset_by_label("Preset 7")
	if program then assert(plugin:load_preset(program), "cannot load program 7") end
	for k, v in values:gmatch("(%d+)=([-%d.]+)") do
		assert(ARDOUR.LuaAPI.set_processor_param(effect, tonumber(k), tonumber(v)), "cannot set parameter " .. k)
	end
	-- Saved at once, before Ardour's next cycle hands the values to
	-- processing.
	assert(s:save_state("", false, false, false) == 0, "cannot save")
	close_session()
	s = load_session(out .. "/session", "halvorine")
	assert(s, "cannot open the saved session")
	-- The sources' memory starts empty again: fill it as before.
	for _, name in ipairs(sidechain and {"Voice", "Carrier"} or {"Voice"}) do
		local route = s:route_by_name(name)
		assert(not route:isnil(), "no track " .. name)
		local shm = route:nth_plugin(0):to_insert():plugin(0):to_luaproc():shmem()
		local channel = 0
		for readable in ARDOUR.Readable.load(s, os.getenv("HALVORINE_INPUT")):iter() do
			assert(readable:read(shm:to_float(4 + channel * 1048576), 0, frames, 0) == frames)
			channel = channel + 1
		end
		shm:atomic_set_int(2, name == "Voice" and 0 or 1)
		shm:atomic_set_int(1, 0)
		shm:atomic_set_int(0, frames)
	end
end

local export = s:simple_export()
assert(export:set_preset(os.getenv("HALVORINE_PRESET")), "no export preset")
export:set_folder(out .. "/processed")
export:set_range(0, frames)
assert(export:run_export(), "export failed")
print("exported processed")
close_session()
