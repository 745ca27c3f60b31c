// The CLAP interface, as far as Halvorine uses it: the entry, the plug-in
// factory, the plug-in, the events, and the extensions it offers or asks its
// host for. Written from the format's public documentation; the layouts are
// those of CLAP 1.2 (plain C structures, the C calling convention).
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define HALVORINE_CLAP_ABI __cdecl
#else
#define HALVORINE_CLAP_ABI
#endif

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
    bool(HALVORINE_CLAP_ABI* init)(const char* plugin_path);
    void(HALVORINE_CLAP_ABI* deinit)();
    const void*(HALVORINE_CLAP_ABI* get_factory)(const char* factory_id);
};

struct Host {
    Version clap_version;
    void* host_data;
    const char* name;
    const char* vendor;
    const char* url;
    const char* version;
    const void*(HALVORINE_CLAP_ABI* get_extension)(const Host* host, const char* extension_id);
    void(HALVORINE_CLAP_ABI* request_restart)(const Host* host);
    void(HALVORINE_CLAP_ABI* request_process)(const Host* host);
    void(HALVORINE_CLAP_ABI* request_callback)(const Host* host);
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
    kEventParamValue = 5,
    kEventParamMod = 6,
    kEventParamGestureBegin = 7,
    kEventParamGestureEnd = 8,
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

struct EventParamGesture {
    EventHeader header;
    Id param_id;
};

struct InputEvents {
    void* ctx;
    std::uint32_t(HALVORINE_CLAP_ABI* size)(const InputEvents* list);
    const EventHeader*(HALVORINE_CLAP_ABI* get)(const InputEvents* list, std::uint32_t index);
};

struct OutputEvents {
    void* ctx;
    bool(HALVORINE_CLAP_ABI* try_push)(const OutputEvents* list, const EventHeader* event);
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
    bool(HALVORINE_CLAP_ABI* init)(const Plugin* plugin);
    void(HALVORINE_CLAP_ABI* destroy)(const Plugin* plugin);
    bool(HALVORINE_CLAP_ABI* activate)(const Plugin* plugin, double sample_rate,
                                       std::uint32_t min_frames, std::uint32_t max_frames);
    void(HALVORINE_CLAP_ABI* deactivate)(const Plugin* plugin);
    bool(HALVORINE_CLAP_ABI* start_processing)(const Plugin* plugin);
    void(HALVORINE_CLAP_ABI* stop_processing)(const Plugin* plugin);
    void(HALVORINE_CLAP_ABI* reset)(const Plugin* plugin);
    ProcessStatus(HALVORINE_CLAP_ABI* process)(const Plugin* plugin, const Process* process);
    const void*(HALVORINE_CLAP_ABI* get_extension)(const Plugin* plugin, const char* id);
    void(HALVORINE_CLAP_ABI* on_main_thread)(const Plugin* plugin);
};

struct PluginFactory {
    std::uint32_t(HALVORINE_CLAP_ABI* get_plugin_count)(const PluginFactory* factory);
    const PluginDescriptor*(HALVORINE_CLAP_ABI* get_plugin_descriptor)(const PluginFactory* factory,
                                                                      std::uint32_t index);
    const Plugin*(HALVORINE_CLAP_ABI* create_plugin)(const PluginFactory* factory,
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
    std::uint32_t(HALVORINE_CLAP_ABI* count)(const Plugin* plugin, bool is_input);
    bool(HALVORINE_CLAP_ABI* get)(const Plugin* plugin, std::uint32_t index, bool is_input,
                                  AudioPortInfo* info);
};

// --- params --------------------------------------------------------------------
enum : std::uint32_t {
    kParamIsStepped = 1u << 0,
    kParamIsAutomatable = 1u << 5,
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
    std::uint32_t(HALVORINE_CLAP_ABI* count)(const Plugin* plugin);
    bool(HALVORINE_CLAP_ABI* get_info)(const Plugin* plugin, std::uint32_t index, ParamInfo* info);
    bool(HALVORINE_CLAP_ABI* get_value)(const Plugin* plugin, Id id, double* value);
    bool(HALVORINE_CLAP_ABI* value_to_text)(const Plugin* plugin, Id id, double value, char* out,
                                            std::uint32_t capacity);
    bool(HALVORINE_CLAP_ABI* text_to_value)(const Plugin* plugin, Id id, const char* text,
                                            double* value);
    void(HALVORINE_CLAP_ABI* flush)(const Plugin* plugin, const InputEvents* in,
                                    const OutputEvents* out);
};
enum : std::uint32_t { kParamRescanValues = 1u << 0, kParamRescanText = 1u << 1 };
struct HostParams {
    void(HALVORINE_CLAP_ABI* rescan)(const Host* host, std::uint32_t flags);
    void(HALVORINE_CLAP_ABI* clear)(const Host* host, Id id, std::uint32_t flags);
    void(HALVORINE_CLAP_ABI* request_flush)(const Host* host);
};

// --- state ---------------------------------------------------------------------
struct OStream {
    void* ctx;
    std::int64_t(HALVORINE_CLAP_ABI* write)(const OStream* stream, const void* buffer,
                                            std::uint64_t size);  // bytes written, -1 on error
};
struct IStream {
    void* ctx;
    std::int64_t(HALVORINE_CLAP_ABI* read)(const IStream* stream, void* buffer,
                                           std::uint64_t size);  // bytes read, 0 at end, -1 on error
};
struct PluginState {
    bool(HALVORINE_CLAP_ABI* save)(const Plugin* plugin, const OStream* stream);
    bool(HALVORINE_CLAP_ABI* load)(const Plugin* plugin, const IStream* stream);
};
struct HostState {
    void(HALVORINE_CLAP_ABI* mark_dirty)(const Host* host);
};

// --- latency, tail ---------------------------------------------------------------
struct PluginLatency {
    std::uint32_t(HALVORINE_CLAP_ABI* get)(const Plugin* plugin);
};
struct PluginTail {
    std::uint32_t(HALVORINE_CLAP_ABI* get)(const Plugin* plugin);
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
    bool(HALVORINE_CLAP_ABI* is_api_supported)(const Plugin* plugin, const char* api,
                                               bool is_floating);
    bool(HALVORINE_CLAP_ABI* get_preferred_api)(const Plugin* plugin, const char** api,
                                                bool* is_floating);
    bool(HALVORINE_CLAP_ABI* create)(const Plugin* plugin, const char* api, bool is_floating);
    void(HALVORINE_CLAP_ABI* destroy)(const Plugin* plugin);
    bool(HALVORINE_CLAP_ABI* set_scale)(const Plugin* plugin, double scale);
    bool(HALVORINE_CLAP_ABI* get_size)(const Plugin* plugin, std::uint32_t* width,
                                       std::uint32_t* height);
    bool(HALVORINE_CLAP_ABI* can_resize)(const Plugin* plugin);
    bool(HALVORINE_CLAP_ABI* get_resize_hints)(const Plugin* plugin, GuiResizeHints* hints);
    bool(HALVORINE_CLAP_ABI* adjust_size)(const Plugin* plugin, std::uint32_t* width,
                                          std::uint32_t* height);
    bool(HALVORINE_CLAP_ABI* set_size)(const Plugin* plugin, std::uint32_t width,
                                       std::uint32_t height);
    bool(HALVORINE_CLAP_ABI* set_parent)(const Plugin* plugin, const Window* window);
    bool(HALVORINE_CLAP_ABI* set_transient)(const Plugin* plugin, const Window* window);
    void(HALVORINE_CLAP_ABI* suggest_title)(const Plugin* plugin, const char* title);
    bool(HALVORINE_CLAP_ABI* show)(const Plugin* plugin);
    bool(HALVORINE_CLAP_ABI* hide)(const Plugin* plugin);
};

// --- timer-support, posix-fd-support, thread-check -------------------------------
struct PluginTimerSupport {
    void(HALVORINE_CLAP_ABI* on_timer)(const Plugin* plugin, Id timer_id);
};
struct HostTimerSupport {
    bool(HALVORINE_CLAP_ABI* register_timer)(const Host* host, std::uint32_t period_ms, Id* timer_id);
    bool(HALVORINE_CLAP_ABI* unregister_timer)(const Host* host, Id timer_id);
};
enum : std::uint32_t { kFdRead = 1u << 0, kFdWrite = 1u << 1, kFdError = 1u << 2 };
struct PluginPosixFdSupport {
    void(HALVORINE_CLAP_ABI* on_fd)(const Plugin* plugin, int fd, std::uint32_t flags);
};
struct HostPosixFdSupport {
    bool(HALVORINE_CLAP_ABI* register_fd)(const Host* host, int fd, std::uint32_t flags);
    bool(HALVORINE_CLAP_ABI* modify_fd)(const Host* host, int fd, std::uint32_t flags);
    bool(HALVORINE_CLAP_ABI* unregister_fd)(const Host* host, int fd);
};
struct HostThreadCheck {
    bool(HALVORINE_CLAP_ABI* is_main_thread)(const Host* host);
    bool(HALVORINE_CLAP_ABI* is_audio_thread)(const Host* host);
};

// --- presets -------------------------------------------------------------------
enum : std::uint32_t { kPresetLocationFile = 0, kPresetLocationPlugin = 1 };
enum : std::uint32_t { kPresetIsFactoryContent = 1u << 0 };

struct PluginPresetLoad {
    bool(HALVORINE_CLAP_ABI* from_location)(const Plugin* plugin, std::uint32_t location_kind,
                                            const char* location, const char* load_key);
};
struct HostPresetLoad {
    void(HALVORINE_CLAP_ABI* on_error)(const Host* host, std::uint32_t location_kind,
                                       const char* location, const char* load_key,
                                       std::int32_t os_error, const char* message);
    void(HALVORINE_CLAP_ABI* loaded)(const Host* host, std::uint32_t location_kind,
                                     const char* location, const char* load_key);
};

struct UniversalPluginId {
    const char* abi;  // "clap"
    const char* id;
};
struct PresetMetadataReceiver {
    void* receiver_data;
    void(HALVORINE_CLAP_ABI* on_error)(const PresetMetadataReceiver* receiver, std::int32_t os_error,
                                       const char* message);
    bool(HALVORINE_CLAP_ABI* begin_preset)(const PresetMetadataReceiver* receiver, const char* name,
                                           const char* load_key);
    void(HALVORINE_CLAP_ABI* add_plugin_id)(const PresetMetadataReceiver* receiver,
                                            const UniversalPluginId* plugin_id);
    void(HALVORINE_CLAP_ABI* set_soundpack_id)(const PresetMetadataReceiver* receiver,
                                               const char* soundpack_id);
    void(HALVORINE_CLAP_ABI* set_flags)(const PresetMetadataReceiver* receiver, std::uint32_t flags);
    void(HALVORINE_CLAP_ABI* add_creator)(const PresetMetadataReceiver* receiver, const char* creator);
    void(HALVORINE_CLAP_ABI* set_description)(const PresetMetadataReceiver* receiver,
                                              const char* description);
    void(HALVORINE_CLAP_ABI* set_timestamps)(const PresetMetadataReceiver* receiver,
                                             std::uint64_t created, std::uint64_t modified);
    void(HALVORINE_CLAP_ABI* add_feature)(const PresetMetadataReceiver* receiver, const char* feature);
    void(HALVORINE_CLAP_ABI* add_extra_info)(const PresetMetadataReceiver* receiver, const char* key,
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
    bool(HALVORINE_CLAP_ABI* init)(const PresetProvider* provider);
    void(HALVORINE_CLAP_ABI* destroy)(const PresetProvider* provider);
    bool(HALVORINE_CLAP_ABI* get_metadata)(const PresetProvider* provider,
                                           std::uint32_t location_kind, const char* location,
                                           const PresetMetadataReceiver* receiver);
    const void*(HALVORINE_CLAP_ABI* get_extension)(const PresetProvider* provider, const char* id);
};
struct PresetIndexer {
    Version clap_version;
    const char* name;
    const char* vendor;
    const char* url;
    const char* version;
    void* indexer_data;
    bool(HALVORINE_CLAP_ABI* declare_filetype)(const PresetIndexer* indexer,
                                               const PresetFiletype* filetype);
    bool(HALVORINE_CLAP_ABI* declare_location)(const PresetIndexer* indexer,
                                               const PresetLocation* location);
    bool(HALVORINE_CLAP_ABI* declare_soundpack)(const PresetIndexer* indexer,
                                                const PresetSoundpack* soundpack);
    const void*(HALVORINE_CLAP_ABI* get_extension)(const PresetIndexer* indexer, const char* id);
};
struct PresetDiscoveryFactory {
    std::uint32_t(HALVORINE_CLAP_ABI* count)(const PresetDiscoveryFactory* factory);
    const PresetProviderDescriptor*(HALVORINE_CLAP_ABI* get_descriptor)(
        const PresetDiscoveryFactory* factory, std::uint32_t index);
    const PresetProvider*(HALVORINE_CLAP_ABI* create)(const PresetDiscoveryFactory* factory,
                                                      const PresetIndexer* indexer,
                                                      const char* provider_id);
};

// Identifiers of factories and extensions.
inline constexpr const char kPluginFactoryId[] = "clap.plugin-factory";
inline constexpr const char kPresetDiscoveryFactoryId[] = "clap.preset-discovery-factory/2";
inline constexpr const char kPresetDiscoveryFactoryIdDraft[] = "clap.preset-discovery-factory/draft-2";
inline constexpr const char kExtAudioPorts[] = "clap.audio-ports";
inline constexpr const char kExtParams[] = "clap.params";
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
