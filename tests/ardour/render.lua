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
-- HALVORINE_SET ("Carrier=1,Drone=0@0,Drone=46@44100"): parameters by name,
-- values in the plug-in's units; "@FRAME" makes a value an automation point
-- from which it holds, moved back to the start of its processing cycle.
-- HALVORINE_SYNTH, for the plug-in's synth:
--   drone: a mono track plays channel 1 into the plug-in. Where the Drone
--     parameter is automated to a key, HALVORINE_DRONE_KEY (57 for A3), the
--     note it holds is written as a Standard MIDI File,
--     HALVORINE_OUT/notes.mid, at its frame.
--   notes: the plug-in is an insert on a MIDI track, whose MIDI region holds
--     HALVORINE_NOTES ("START:LENGTH:KEY:VELOCITY ...", ticks of 1920 a
--     quarter note at 120 a minute); a mono track plays channel 1 into the
--     insert's sidechain, which the pin map routes to the main input. The
--     notes are written as a Standard MIDI File too, HALVORINE_OUT/notes.mid.
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

-- Writes HALVORINE_OUT/notes.mid, a Standard MIDI File of one track at
-- `division` ticks a quarter note (120 a minute): events are { tick, order,
-- message bytes }, in time order.
local function write_midi(division, events)
	local function vlq(n)
		local bytes = string.char(n & 0x7f)
		n = n >> 7
		while n > 0 do
			bytes = string.char(0x80 | (n & 0x7f)) .. bytes
			n = n >> 7
		end
		return bytes
	end
	local body, tick = {}, 0
	for _, e in ipairs(events) do
		body[#body + 1] = vlq(e[1] - tick) .. e[3]
		tick = e[1]
	end
	body = table.concat(body) .. "\0\xff\x2f\0"
	local file = assert(io.open(out .. "/notes.mid", "wb"))
	file:write("MThd", string.pack(">I4I2I2I2", 6, 0, 1, division), "MTrk", string.pack(">I4", #body), body)
	file:close()
end

local synth = os.getenv("HALVORINE_SYNTH")
local track
if synth == "notes" then
	track = s:new_midi_track(ARDOUR.ChanCount(ARDOUR.DataType("midi"), 1), ARDOUR.ChanCount(ARDOUR.DataType("audio"), 2),
	                         false, ARDOUR.PluginInfo(), nil, nil, 1, "Notes", ARDOUR.PresentationInfo.max_order,
	                         ARDOUR.TrackMode.Normal, false, false):front()
	playing("Voice", 1, 1, 0)
	-- An empty region, as the editor's pen draws one, then the notes in it.
	local region = track:bounce_range(0, frames, ARDOUR.InterThreadInfo(), ARDOUR.LuaAPI.nil_proc(), false, "notes")
	assert(not region:isnil(), "no MIDI region")
	track:playlist():add_region(region, Temporal.timepos_t(0), 1, false)
	local model = region:to_midiregion():model()
	local command = model:new_note_diff_command("notes")
	local events = {}
	for start, length, key, velocity in os.getenv("HALVORINE_NOTES"):gmatch("(%d+):(%d+):(%d+):(%d+)") do
		start, length, key, velocity = tonumber(start), tonumber(length), tonumber(key), tonumber(velocity)
		command:add(ARDOUR.LuaAPI.new_noteptr(0, Temporal.Beats(start // 1920, start % 1920),
		                                      Temporal.Beats(length // 1920, length % 1920), key, velocity))
		events[#events + 1] = { start + length, 0, string.char(0x80, key, 64) }
		events[#events + 1] = { start, 1, string.char(0x90, key, velocity) }
	end
	model:apply_command(s, command)
	-- The same notes as Ardour plays them: note-offs first at a tick, with
	-- the release velocity 64 its notes have.
	table.sort(events, function (a, b) return a[1] < b[1] or (a[1] == b[1] and a[2] < b[2]) end)
	write_midi(1920, events)
else
	track = playing("Voice", (sidechain or synth) and 1 or 2, 2, 0)
end
assert(track:add_processor_by_index(effect, synth == "notes" and 0 or 1, nil, true) == 0)

-- Parameters by name: find each one's control.
local controls = {}
for id = 0, 255 do
	local control = effect:to_automatable():automation_control(
		Evoral.Parameter(ARDOUR.AutomationType.PluginAutomation, 0, id), false)
	if not control:isnil() then controls[control:name()] = control end
end
for name, value, at in (os.getenv("HALVORINE_SET") or ""):gmatch("([^,=]+)=([-%d.]+)@?(%d*)") do
	local control = assert(controls[name], "no parameter " .. name)
	if at == "" then
		control:set_value(tonumber(value), PBD.GroupControlDisposition.NoGroup)
	else
		-- A step: the value holds from its frame to the next point. Ardour
		-- hands a plug-in the automation's value at the start of each cycle,
		-- so the point moves back to the start of its cycle.
		at = tonumber(at)
		at = at - at % s:get_block_size()
		control:alist():set_interpolation(Evoral.InterpolationStyle.Discrete)
		control:alist():add(Temporal.timepos_t(at), tonumber(value), false, false)
		control:set_automation_state(ARDOUR.AutoState.Play)
		print(string.format("automation: %s=%s from frame %d.", name, value, at))
		-- The drone sounds as a held note of velocity 127 from there: the
		-- same note as a MIDI file, a tick a frame (22050 a quarter note).
		local key = tonumber(os.getenv("HALVORINE_DRONE_KEY") or "")
		if name == "Drone" and key and tonumber(value) > 0 then
			write_midi(22050, { { at, 1, string.char(0x90, key, 127) } })
		end
	end
end

if synth == "notes" then
	local voice = s:route_by_name("Voice"):to_track()
	assert(track:add_sidechain(effect), "no sidechain")
	local insert = effect:to_plugininsert()
	local input = insert:sidechain_input()
	assert(not input:isnil() and input:n_ports():n_audio() >= 1, "no sidechain input")
	voice:output():disconnect_all(nil)
	for k = 0, input:n_ports():n_audio() - 1 do
		assert(input:connect(input:audio(k), voice:output():audio(0):name(), nil) == 0)
	end
	-- The track carries no audio before the insert, so the sidechain's
	-- first port is the insert's first audio channel: the pin map takes it
	-- to every main input pin, and the notes to the note input.
	local plugin = insert:plugin(0)
	local audio, midi = ARDOUR.DataType("audio"), ARDOUR.DataType("midi")
	local map, mains = ARDOUR.ChanMapping(), {}
	for k = 0, insert:natural_input_streams():n_audio() - 1 do
		if not plugin:describe_io_port(audio, true, k).is_sidechain then
			map:set(audio, k, 0)
			mains[#mains + 1] = k
		end
	end
	map:set(midi, 0, 0)
	insert:set_input_map(0, map)
	local used = insert:input_map(0)
	for _, k in ipairs(mains) do assert(used:get(audio, k) == 0, "pin " .. k .. " is not mapped") end
	assert(used:get(midi, 0) == 0, "the note input is not mapped")
	print("pin map: main pins " .. table.concat(mains, ",") .. " <- the sidechain, note input <- the region.")
end
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
-- Under load Ardour now and then writes a wild sample into an export (1e22
-- and up): the file is judged here, so that only that fault is retried.
local written, channels = nil, 0
for readable in ARDOUR.Readable.load(s, out .. "/processed/halvorine.wav"):iter() do
	local n = readable:readable_length()
	written = written and math.min(written, n) or n
	local shm = ARDOUR.DSP.DspShm(n)
	assert(readable:read(shm:to_float(0), 0, n, 0) == n)
	local data = shm:to_float(0):array()
	for i = 1, n do
		local v = data[i]
		if v ~= v or v > 1e3 or v < -1e3 then
			print(string.format("wild sample %g at frame %d of channel %d", v, i - 1, channels + 1))
			return
		end
	end
	channels = channels + 1
end
assert(channels == 2 and written == frames, "the export holds " .. tostring(written) .. " frames, not " .. frames)
print("exported processed")
close_session()
