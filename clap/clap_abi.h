// The CLAP interface, as far as Halvorine uses it: the entry, the plug-in
// factory, the plug-in, the events, and the extensions it offers or asks its
// host for. Written from the format's public documentation; the layouts are
// those of CLAP 1.2: plain C structures, and functions in the C calling
// convention, which is the compilers' default on every target we build.
#pragma once

#include <cstddef>
#include <cstdint>

namespace halvorine::clap {

// Plain structures: their layout is the C one, whatever the namespace.
struct Version {
    std::uint32_t major, minor, revision;
};
inline constexpr Version kVersion{1, 2, 0};

using Id = std::uint32_t;
inline constexpr Id kInvalidId = 0xFFFFFFFFu;
inline constexpr std::size_t kNameSize = 256;
inline constexpr std::size_t kPathSize = 1024;

// --- entry and factories ------------------------------------------------
struct PluginEntry {
    Version clap_version;
    bool(*init)(const char* plugin_path);
    void(*deinit)();
    const void*(*get_factory)(const char* factory_id);
};

struct Host {
    Version clap_version;
    void* host_data;
    const char* name;
    const char* vendor;
    const char* url;
    const char* version;
    const void*(*get_extension)(const Host* host, const char* extension_id);
    void(*request_restart)(const Host* host);
    void(*request_process)(const Host* host);
    void(*request_callback)(const Host* host);
};

struct PluginDescriptor {
    Version clap_version;
    const char* id;
    const char* name;
    const char* vendor;
    const char* url;
    const char* manual_url;
    const char* support_url;
    const char* version;
    const char* description;
    const char* const* features;  // null-terminated
};

// --- events ------------------------------------------------------------------
struct EventHeader {
    std::uint32_t size;  // of the whole event
    std::uint32_t time;  // frame offset in the block
    std::uint16_t space_id;
    std::uint16_t type;
    std::uint32_t flags;
};
inline constexpr std::uint16_t kCoreEventSpace = 0;
enum : std::uint16_t {
    kEventNoteOn = 0,
    kEventNoteOff = 1,
    kEventNoteChoke = 2,
    kEventNoteEnd = 3,
    kEventParamValue = 5,
    kEventParamMod = 6,
    kEventParamGestureBegin = 7,
    kEventParamGestureEnd = 8,
    kEventMidi = 10,
};
enum : std::uint32_t { kEventIsLive = 1u << 0, kEventDontRecord = 1u << 1 };

struct EventParamValue {
    EventHeader header;
    Id param_id;
    void* cookie;
    std::int32_t note_id;  // -1: every note
    std::int16_t port_index, channel, key;
    double value;
};

// A modulation on top of a parameter's value: `amount` in the parameter's
// value axis; 0 ends it.
struct EventParamMod {
    EventHeader header;
    Id param_id;
    void* cookie;
    std::int32_t note_id;  // -1: every note
    std::int16_t port_index, channel, key;
    double amount;
};

struct EventParamGesture {
    EventHeader header;
    Id param_id;
};

// A note on, off or choke; -1 in a field matches every note, port, channel
// or key.
struct EventNote {
    EventHeader header;
    std::int32_t note_id;
    std::int16_t port_index, channel, key;
    double velocity;  // 0..1
};

// A MIDI 1.0 message of up to three bytes.
struct EventMidi {
    EventHeader header;
    std::uint16_t port_index;
    std::uint8_t data[3];
};

struct InputEvents {
    void* ctx;
    std::uint32_t(*size)(const InputEvents* list);
    const EventHeader*(*get)(const InputEvents* list, std::uint32_t index);
};

struct OutputEvents {
    void* ctx;
    bool(*try_push)(const OutputEvents* list, const EventHeader* event);
};

// --- processing --------------------------------------------------------------
struct AudioBuffer {
    float** data32;
    double** data64;
    std::uint32_t channel_count;
    std::uint32_t latency;
    std::uint64_t constant_mask;
};

using ProcessStatus = std::int32_t;
enum : ProcessStatus {
    kProcessError = 0,
    kProcessContinue = 1,
    kProcessContinueIfNotQuiet = 2,
    kProcessTail = 3,
    kProcessSleep = 4,
};

struct Process {
    std::int64_t steady_time;
    std::uint32_t frames_count;
    const void* transport;
    const AudioBuffer* audio_inputs;
    AudioBuffer* audio_outputs;
    std::uint32_t audio_inputs_count;
    std::uint32_t audio_outputs_count;
    const InputEvents* in_events;
    const OutputEvents* out_events;
};

struct Plugin {
    const PluginDescriptor* desc;
    void* plugin_data;
    bool(*init)(const Plugin* plugin);
    void(*destroy)(const Plugin* plugin);
    bool(*activate)(const Plugin* plugin, double sample_rate,
                                       std::uint32_t min_frames, std::uint32_t max_frames);
    void(*deactivate)(const Plugin* plugin);
    bool(*start_processing)(const Plugin* plugin);
    void(*stop_processing)(const Plugin* plugin);
    void(*reset)(const Plugin* plugin);
    ProcessStatus(*process)(const Plugin* plugin, const Process* process);
    const void*(*get_extension)(const Plugin* plugin, const char* id);
    void(*on_main_thread)(const Plugin* plugin);
};

struct PluginFactory {
    std::uint32_t(*get_plugin_count)(const PluginFactory* factory);
    const PluginDescriptor*(*get_plugin_descriptor)(const PluginFactory* factory,
                                                                      std::uint32_t index);
    const Plugin*(*create_plugin)(const PluginFactory* factory,
                                                     const Host* host, const char* plugin_id);
};

// --- audio-ports -------------------------------------------------------------
enum : std::uint32_t { kAudioPortIsMain = 1u << 0 };
struct AudioPortInfo {
    Id id;
    char name[kNameSize];
    std::uint32_t flags;
    std::uint32_t channel_count;
    const char* port_type;  // "mono", "stereo"
    Id in_place_pair;
};
struct PluginAudioPorts {
    std::uint32_t(*count)(const Plugin* plugin, bool is_input);
    bool(*get)(const Plugin* plugin, std::uint32_t index, bool is_input,
                                  AudioPortInfo* info);
};

// --- note-ports ----------------------------------------------------------------
enum : std::uint32_t {
    kNoteDialectClap = 1u << 0,
    kNoteDialectMidi = 1u << 1,
    kNoteDialectMidiMpe = 1u << 2,
    kNoteDialectMidi2 = 1u << 3,
};
struct NotePortInfo {
    Id id;
    std::uint32_t supported_dialects;
    std::uint32_t preferred_dialect;
    char name[kNameSize];
};
struct PluginNotePorts {
    std::uint32_t(*count)(const Plugin* plugin, bool is_input);
    bool(*get)(const Plugin* plugin, std::uint32_t index, bool is_input, NotePortInfo* info);
};
struct HostNotePorts {
    std::uint32_t(*supported_dialects)(const Host* host);
    void(*rescan)(const Host* host, std::uint32_t flags);
};

// --- audio-ports-config --------------------------------------------------------
struct AudioPortsConfig {
    Id id;
    char name[kNameSize];
    std::uint32_t input_port_count;
    std::uint32_t output_port_count;
    bool has_main_input;
    std::uint32_t main_input_channel_count;
    const char* main_input_port_type;
    bool has_main_output;
    std::uint32_t main_output_channel_count;
    const char* main_output_port_type;
};
struct PluginAudioPortsConfig {
    std::uint32_t(*count)(const Plugin* plugin);
    bool(*get)(const Plugin* plugin, std::uint32_t index, AudioPortsConfig* config);
    bool(*select)(const Plugin* plugin, Id config_id);
};
struct PluginAudioPortsConfigInfo {
    Id(*current_config)(const Plugin* plugin);
    bool(*get)(const Plugin* plugin, Id config_id, std::uint32_t port_index, bool is_input,
               AudioPortInfo* info);
};

// --- params --------------------------------------------------------------------
enum : std::uint32_t {
    kParamIsStepped = 1u << 0,
    kParamIsBypass = 1u << 4,
    kParamIsAutomatable = 1u << 5,
    kParamIsModulatable = 1u << 10,
};
struct ParamInfo {
    Id id;
    std::uint32_t flags;
    void* cookie;
    char name[kNameSize];
    char module[kPathSize];
    double min_value, max_value, default_value;
};
struct PluginParams {
    std::uint32_t(*count)(const Plugin* plugin);
    bool(*get_info)(const Plugin* plugin, std::uint32_t index, ParamInfo* info);
    bool(*get_value)(const Plugin* plugin, Id id, double* value);
    bool(*value_to_text)(const Plugin* plugin, Id id, double value, char* out,
                                            std::uint32_t capacity);
    bool(*text_to_value)(const Plugin* plugin, Id id, const char* text,
                                            double* value);
    void(*flush)(const Plugin* plugin, const InputEvents* in,
                                    const OutputEvents* out);
};
enum : std::uint32_t { kParamRescanValues = 1u << 0, kParamRescanText = 1u << 1 };
struct HostParams {
    void(*rescan)(const Host* host, std::uint32_t flags);
    void(*clear)(const Host* host, Id id, std::uint32_t flags);
    void(*request_flush)(const Host* host);
};

// --- state ---------------------------------------------------------------------
struct OStream {
    void* ctx;
    std::int64_t(*write)(const OStream* stream, const void* buffer,
                                            std::uint64_t size);  // bytes written, -1 on error
};
struct IStream {
    void* ctx;
    std::int64_t(*read)(const IStream* stream, void* buffer,
                                           std::uint64_t size);  // bytes read, 0 at end, -1 on error
};
struct PluginState {
    bool(*save)(const Plugin* plugin, const OStream* stream);
    bool(*load)(const Plugin* plugin, const IStream* stream);
};
struct HostState {
    void(*mark_dirty)(const Host* host);
};

// --- latency, tail ---------------------------------------------------------------
struct PluginLatency {
    std::uint32_t(*get)(const Plugin* plugin);
};
struct PluginTail {
    std::uint32_t(*get)(const Plugin* plugin);
};

// --- gui -----------------------------------------------------------------------
struct Window {
    const char* api;  // "x11", "win32", ...
    union {
        void* cocoa;
        unsigned long x11;
        void* win32;
        void* ptr;
    };
};
struct GuiResizeHints {
    bool can_resize_horizontally;
    bool can_resize_vertically;
    bool preserve_aspect_ratio;
    std::uint32_t aspect_ratio_width, aspect_ratio_height;
};
struct PluginGui {
    bool(*is_api_supported)(const Plugin* plugin, const char* api,
                                               bool is_floating);
    bool(*get_preferred_api)(const Plugin* plugin, const char** api,
                                                bool* is_floating);
    bool(*create)(const Plugin* plugin, const char* api, bool is_floating);
    void(*destroy)(const Plugin* plugin);
    bool(*set_scale)(const Plugin* plugin, double scale);
    bool(*get_size)(const Plugin* plugin, std::uint32_t* width,
                                       std::uint32_t* height);
    bool(*can_resize)(const Plugin* plugin);
    bool(*get_resize_hints)(const Plugin* plugin, GuiResizeHints* hints);
    bool(*adjust_size)(const Plugin* plugin, std::uint32_t* width,
                                          std::uint32_t* height);
    bool(*set_size)(const Plugin* plugin, std::uint32_t width,
                                       std::uint32_t height);
    bool(*set_parent)(const Plugin* plugin, const Window* window);
    bool(*set_transient)(const Plugin* plugin, const Window* window);
    void(*suggest_title)(const Plugin* plugin, const char* title);
    bool(*show)(const Plugin* plugin);
    bool(*hide)(const Plugin* plugin);
};

struct HostGui {
    void (*resize_hints_changed)(const Host* host);
    bool (*request_resize)(const Host* host, std::uint32_t width, std::uint32_t height);
    bool (*request_show)(const Host* host);
    bool (*request_hide)(const Host* host);
    void (*closed)(const Host* host, bool was_destroyed);
};

// --- timer-support, posix-fd-support, thread-check -------------------------------
struct PluginTimerSupport {
    void(*on_timer)(const Plugin* plugin, Id timer_id);
};
struct HostTimerSupport {
    bool(*register_timer)(const Host* host, std::uint32_t period_ms, Id* timer_id);
    bool(*unregister_timer)(const Host* host, Id timer_id);
};
enum : std::uint32_t { kFdRead = 1u << 0, kFdWrite = 1u << 1, kFdError = 1u << 2 };
struct PluginPosixFdSupport {
    void(*on_fd)(const Plugin* plugin, int fd, std::uint32_t flags);
};
struct HostPosixFdSupport {
    bool(*register_fd)(const Host* host, int fd, std::uint32_t flags);
    bool(*modify_fd)(const Host* host, int fd, std::uint32_t flags);
    bool(*unregister_fd)(const Host* host, int fd);
};
struct HostThreadCheck {
    bool(*is_main_thread)(const Host* host);
    bool(*is_audio_thread)(const Host* host);
};

// --- presets -------------------------------------------------------------------
enum : std::uint32_t { kPresetLocationFile = 0, kPresetLocationPlugin = 1 };
enum : std::uint32_t { kPresetIsFactoryContent = 1u << 0 };

struct PluginPresetLoad {
    bool(*from_location)(const Plugin* plugin, std::uint32_t location_kind,
                                            const char* location, const char* load_key);
};
struct HostPresetLoad {
    void(*on_error)(const Host* host, std::uint32_t location_kind,
                                       const char* location, const char* load_key,
                                       std::int32_t os_error, const char* message);
    void(*loaded)(const Host* host, std::uint32_t location_kind,
                                     const char* location, const char* load_key);
};

struct UniversalPluginId {
    const char* abi;  // "clap"
    const char* id;
};
struct PresetMetadataReceiver {
    void* receiver_data;
    void(*on_error)(const PresetMetadataReceiver* receiver, std::int32_t os_error,
                                       const char* message);
    bool(*begin_preset)(const PresetMetadataReceiver* receiver, const char* name,
                                           const char* load_key);
    void(*add_plugin_id)(const PresetMetadataReceiver* receiver,
                                            const UniversalPluginId* plugin_id);
    void(*set_soundpack_id)(const PresetMetadataReceiver* receiver,
                                               const char* soundpack_id);
    void(*set_flags)(const PresetMetadataReceiver* receiver, std::uint32_t flags);
    void(*add_creator)(const PresetMetadataReceiver* receiver, const char* creator);
    void(*set_description)(const PresetMetadataReceiver* receiver,
                                              const char* description);
    void(*set_timestamps)(const PresetMetadataReceiver* receiver,
                                             std::uint64_t created, std::uint64_t modified);
    void(*add_feature)(const PresetMetadataReceiver* receiver, const char* feature);
    void(*add_extra_info)(const PresetMetadataReceiver* receiver, const char* key,
                                             const char* value);
};
struct PresetFiletype {
    const char* name;
    const char* description;
    const char* file_extension;
};
struct PresetLocation {
    std::uint32_t flags;
    const char* name;
    std::uint32_t kind;
    const char* location;  // null for presets inside the plug-in
};
struct PresetSoundpack;
struct PresetProviderDescriptor {
    Version clap_version;
    const char* id;
    const char* name;
    const char* vendor;
};
struct PresetProvider {
    const PresetProviderDescriptor* desc;
    void* provider_data;
    bool(*init)(const PresetProvider* provider);
    void(*destroy)(const PresetProvider* provider);
    bool(*get_metadata)(const PresetProvider* provider,
                                           std::uint32_t location_kind, const char* location,
                                           const PresetMetadataReceiver* receiver);
    const void*(*get_extension)(const PresetProvider* provider, const char* id);
};
struct PresetIndexer {
    Version clap_version;
    const char* name;
    const char* vendor;
    const char* url;
    const char* version;
    void* indexer_data;
    bool(*declare_filetype)(const PresetIndexer* indexer,
                                               const PresetFiletype* filetype);
    bool(*declare_location)(const PresetIndexer* indexer,
                                               const PresetLocation* location);
    bool(*declare_soundpack)(const PresetIndexer* indexer,
                                                const PresetSoundpack* soundpack);
    const void*(*get_extension)(const PresetIndexer* indexer, const char* id);
};
struct PresetDiscoveryFactory {
    std::uint32_t(*count)(const PresetDiscoveryFactory* factory);
    const PresetProviderDescriptor*(*get_descriptor)(
        const PresetDiscoveryFactory* factory, std::uint32_t index);
    const PresetProvider*(*create)(const PresetDiscoveryFactory* factory,
                                                      const PresetIndexer* indexer,
                                                      const char* provider_id);
};

// Identifiers of factories and extensions.
inline constexpr const char kPluginFactoryId[] = "clap.plugin-factory";
inline constexpr const char kPresetDiscoveryFactoryId[] = "clap.preset-discovery-factory/2";
inline constexpr const char kPresetDiscoveryFactoryIdDraft[] = "clap.preset-discovery-factory/draft-2";
inline constexpr const char kExtAudioPorts[] = "clap.audio-ports";
inline constexpr const char kExtAudioPortsConfig[] = "clap.audio-ports-config";
inline constexpr const char kExtAudioPortsConfigInfo[] = "clap.audio-ports-config-info/1";
inline constexpr const char kExtAudioPortsConfigInfoDraft[] = "clap.audio-ports-config-info/draft-0";
inline constexpr const char kExtParams[] = "clap.params";
inline constexpr const char kExtNotePorts[] = "clap.note-ports";
inline constexpr const char kExtState[] = "clap.state";
inline constexpr const char kExtLatency[] = "clap.latency";
inline constexpr const char kExtTail[] = "clap.tail";
inline constexpr const char kExtGui[] = "clap.gui";
inline constexpr const char kExtTimerSupport[] = "clap.timer-support";
inline constexpr const char kExtPosixFdSupport[] = "clap.posix-fd-support";
inline constexpr const char kExtThreadCheck[] = "clap.thread-check";
inline constexpr const char kExtPresetLoad[] = "clap.preset-load/2";
inline constexpr const char kExtPresetLoadDraft[] = "clap.preset-load.draft/2";
inline constexpr const char kWindowApiX11[] = "x11";
inline constexpr const char kWindowApiWin32[] = "win32";
inline constexpr const char kPortMono[] = "mono";
inline constexpr const char kPortStereo[] = "stereo";

}  // namespace halvorine::clap
