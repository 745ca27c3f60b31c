// The VST 3 interfaces this plug-in implements or calls, declared from the
// format's public documentation: the binary layout of each structure, the
// order of each interface's methods (the vtable is the contract), and the
// identifiers hosts ask for. Only what Halvorine uses is here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(_WIN32) && !defined(_WIN64)
#define HALVORINE_VST3_CALL __stdcall
#else
#define HALVORINE_VST3_CALL
#endif

namespace halvorine::vst3 {

using int8 = std::int8_t;
using uint8 = std::uint8_t;
using int16 = std::int16_t;
using uint16 = std::uint16_t;
using int32 = std::int32_t;
using uint32 = std::uint32_t;
using int64 = std::int64_t;
using uint64 = std::uint64_t;
using tresult = int32;
using TBool = uint8;
using char16 = char16_t;
using String128 = char16[128];
using TUID = char[16];
using FIDString = const char*;
using ParamID = uint32;
using ParamValue = double;
using UnitID = int32;
using ProgramListID = int32;
using SpeakerArrangement = uint64;

// Result codes: COM's on Windows, small numbers elsewhere.
#ifdef _WIN32
inline constexpr tresult kNoInterface = static_cast<tresult>(0x80004002L);
inline constexpr tresult kResultOk = 0;
inline constexpr tresult kResultTrue = 0;
inline constexpr tresult kResultFalse = 1;
inline constexpr tresult kInvalidArgument = static_cast<tresult>(0x80070057L);
inline constexpr tresult kNotImplemented = static_cast<tresult>(0x80004001L);
inline constexpr tresult kInternalError = static_cast<tresult>(0x80004005L);
inline constexpr tresult kNotInitialized = static_cast<tresult>(0x8000FFFFL);
inline constexpr tresult kOutOfMemory = static_cast<tresult>(0x8007000EL);
#else
inline constexpr tresult kNoInterface = -1;
inline constexpr tresult kResultOk = 0;
inline constexpr tresult kResultTrue = 0;
inline constexpr tresult kResultFalse = 1;
inline constexpr tresult kInvalidArgument = 2;
inline constexpr tresult kNotImplemented = 3;
inline constexpr tresult kInternalError = 4;
inline constexpr tresult kNotInitialized = 5;
inline constexpr tresult kOutOfMemory = 6;
#endif

// An identifier from its four 32-bit words as the documentation writes
// them. On Windows the first eight bytes take the GUID's order (a
// little-endian word, then two little-endian halves); elsewhere every word
// is big-endian.
struct Uid {
    char bytes[16];
    bool matches(const char* other) const { return other && std::memcmp(bytes, other, 16) == 0; }
};

constexpr Uid makeUid(uint32 a, uint32 b, uint32 c, uint32 d) {
    auto byte = [](uint32 word, int shift) { return static_cast<char>((word >> shift) & 0xFF); };
#ifdef _WIN32
    return Uid{{byte(a, 0), byte(a, 8), byte(a, 16), byte(a, 24), byte(b, 16), byte(b, 24),
                byte(b, 0), byte(b, 8), byte(c, 24), byte(c, 16), byte(c, 8), byte(c, 0),
                byte(d, 24), byte(d, 16), byte(d, 8), byte(d, 0)}};
#else
    return Uid{{byte(a, 24), byte(a, 16), byte(a, 8), byte(a, 0), byte(b, 24), byte(b, 16),
                byte(b, 8), byte(b, 0), byte(c, 24), byte(c, 16), byte(c, 8), byte(c, 0),
                byte(d, 24), byte(d, 16), byte(d, 8), byte(d, 0)}};
#endif
}

#define HALVORINE_VST3_IID(a, b, c, d) \
    static constexpr Uid iid = makeUid(a, b, c, d)

// ------------------------------------------------------------------ base

class FUnknown {
public:
    virtual tresult HALVORINE_VST3_CALL queryInterface(const TUID interfaceId, void** obj) = 0;
    virtual uint32 HALVORINE_VST3_CALL addRef() = 0;
    virtual uint32 HALVORINE_VST3_CALL release() = 0;
    HALVORINE_VST3_IID(0x00000000, 0x00000000, 0xC0000000, 0x00000046);

protected:
    ~FUnknown() = default;
};

class IBStream : public FUnknown {
public:
    enum { kIBSeekSet = 0, kIBSeekCur, kIBSeekEnd };
    virtual tresult HALVORINE_VST3_CALL read(void* buffer, int32 numBytes, int32* numBytesRead) = 0;
    virtual tresult HALVORINE_VST3_CALL write(void* buffer, int32 numBytes,
                                              int32* numBytesWritten) = 0;
    virtual tresult HALVORINE_VST3_CALL seek(int64 pos, int32 mode, int64* result) = 0;
    virtual tresult HALVORINE_VST3_CALL tell(int64* pos) = 0;
    HALVORINE_VST3_IID(0xC3BF6EA2, 0x30994752, 0x9B6BF990, 0x1EE33E9B);

protected:
    ~IBStream() = default;
};

// What a host tells about a state stream, asked of the stream itself
// (queryInterface on the IBStream). Its attribute list holds the string
// kStateTypeAttribute: kStateTypeProject when the state goes into or comes
// from a project, kStateTypePreset when it is a preset file.
class IAttributeList : public FUnknown {
public:
    using AttrID = const char*;
    virtual tresult HALVORINE_VST3_CALL setInt(AttrID id, int64 value) = 0;
    virtual tresult HALVORINE_VST3_CALL getInt(AttrID id, int64& value) = 0;
    virtual tresult HALVORINE_VST3_CALL setFloat(AttrID id, double value) = 0;
    virtual tresult HALVORINE_VST3_CALL getFloat(AttrID id, double& value) = 0;
    virtual tresult HALVORINE_VST3_CALL setString(AttrID id, const char16* string) = 0;
    virtual tresult HALVORINE_VST3_CALL getString(AttrID id, char16* string, uint32 sizeInBytes) = 0;
    virtual tresult HALVORINE_VST3_CALL setBinary(AttrID id, const void* data, uint32 sizeInBytes) = 0;
    virtual tresult HALVORINE_VST3_CALL getBinary(AttrID id, const void*& data, uint32& sizeInBytes) = 0;
    HALVORINE_VST3_IID(0x1E5F0AEB, 0xCC7F4533, 0xA2544011, 0x38AD5EE4);

protected:
    ~IAttributeList() = default;
};

class IStreamAttributes : public FUnknown {
public:
    virtual tresult HALVORINE_VST3_CALL getFileName(String128 name) = 0;
    virtual IAttributeList* HALVORINE_VST3_CALL getAttributes() = 0;
    HALVORINE_VST3_IID(0xD6CE2FFC, 0xEFAF4B8C, 0x9E74F1BB, 0x12DA44B4);

protected:
    ~IStreamAttributes() = default;
};

inline constexpr const char* kStateTypeAttribute = "StateType";
inline constexpr const char16* kStateTypeProject = u"Project";
inline constexpr const char16* kStateTypePreset = u"Default";

class IPluginBase : public FUnknown {
public:
    virtual tresult HALVORINE_VST3_CALL initialize(FUnknown* context) = 0;
    virtual tresult HALVORINE_VST3_CALL terminate() = 0;
    HALVORINE_VST3_IID(0x22888DDB, 0x156E45AE, 0x8358B348, 0x08190625);

protected:
    ~IPluginBase() = default;
};

// --------------------------------------------------------------- factory

struct PFactoryInfo {
    enum { kNoFlags = 0, kClassesDiscardable = 1 << 0, kComponentNonDiscardable = 1 << 3,
           kUnicode = 1 << 4 };
    char vendor[64];
    char url[256];
    char email[128];
    int32 flags;
};

struct PClassInfo {
    enum { kManyInstances = 0x7FFFFFFF };
    TUID cid;
    int32 cardinality;
    char category[32];
    char name[64];
};

struct PClassInfo2 {
    TUID cid;
    int32 cardinality;
    char category[32];
    char name[64];
    uint32 classFlags;
    char subCategories[128];
    char vendor[64];
    char version[64];
    char sdkVersion[64];
};

class IPluginFactory : public FUnknown {
public:
    virtual tresult HALVORINE_VST3_CALL getFactoryInfo(PFactoryInfo* info) = 0;
    virtual int32 HALVORINE_VST3_CALL countClasses() = 0;
    virtual tresult HALVORINE_VST3_CALL getClassInfo(int32 index, PClassInfo* info) = 0;
    virtual tresult HALVORINE_VST3_CALL createInstance(FIDString cid, FIDString interfaceId,
                                                       void** obj) = 0;
    HALVORINE_VST3_IID(0x7A4D811C, 0x52114A1F, 0xAED9D2EE, 0x0B43BF9F);

protected:
    ~IPluginFactory() = default;
};

class IPluginFactory2 : public IPluginFactory {
public:
    virtual tresult HALVORINE_VST3_CALL getClassInfo2(int32 index, PClassInfo2* info) = 0;
    HALVORINE_VST3_IID(0x0007B650, 0xF24B4C0B, 0xA464EDB9, 0xF00B2ABB);

protected:
    ~IPluginFactory2() = default;
};

// ------------------------------------------------------------- component

enum MediaTypes : int32 { kAudio = 0, kEvent = 1 };
enum BusDirections : int32 { kInput = 0, kOutput = 1 };
enum BusTypes : int32 { kMain = 0, kAux = 1 };

struct BusInfo {
    enum BusFlags : uint32 { kDefaultActive = 1 << 0 };
    int32 mediaType;
    int32 direction;
    int32 channelCount;
    String128 name;
    int32 busType;
    uint32 flags;
};

struct RoutingInfo {
    int32 mediaType;
    int32 busIndex;
    int32 channel;
};

class IComponent : public IPluginBase {
public:
    virtual tresult HALVORINE_VST3_CALL getControllerClassId(TUID classId) = 0;
    virtual tresult HALVORINE_VST3_CALL setIoMode(int32 mode) = 0;
    virtual int32 HALVORINE_VST3_CALL getBusCount(int32 type, int32 dir) = 0;
    virtual tresult HALVORINE_VST3_CALL getBusInfo(int32 type, int32 dir, int32 index,
                                                   BusInfo& bus) = 0;
    virtual tresult HALVORINE_VST3_CALL getRoutingInfo(RoutingInfo& inInfo,
                                                       RoutingInfo& outInfo) = 0;
    virtual tresult HALVORINE_VST3_CALL activateBus(int32 type, int32 dir, int32 index,
                                                    TBool state) = 0;
    virtual tresult HALVORINE_VST3_CALL setActive(TBool state) = 0;
    virtual tresult HALVORINE_VST3_CALL setState(IBStream* state) = 0;
    virtual tresult HALVORINE_VST3_CALL getState(IBStream* state) = 0;
    HALVORINE_VST3_IID(0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802);

protected:
    ~IComponent() = default;
};

// ------------------------------------------------------------- processing

namespace speaker {
inline constexpr SpeakerArrangement kEmpty = 0;  // a bus with no channels
inline constexpr SpeakerArrangement kLeft = 1 << 0;
inline constexpr SpeakerArrangement kRight = 1 << 1;
inline constexpr SpeakerArrangement kCentre = 1 << 19;
inline constexpr SpeakerArrangement kMono = kCentre;
inline constexpr SpeakerArrangement kStereo = kLeft | kRight;
}  // namespace speaker

enum SymbolicSampleSizes : int32 { kSample32 = 0, kSample64 = 1 };
enum ProcessModes : int32 { kRealtime = 0, kPrefetch = 1, kOffline = 2 };

struct ProcessSetup {
    int32 processMode;
    int32 symbolicSampleSize;
    int32 maxSamplesPerBlock;
    double sampleRate;
};

struct AudioBusBuffers {
    int32 numChannels;
    uint64 silenceFlags;
    union {
        float** channelBuffers32;
        double** channelBuffers64;
    };
};

class IParamValueQueue : public FUnknown {
public:
    virtual ParamID HALVORINE_VST3_CALL getParameterId() = 0;
    virtual int32 HALVORINE_VST3_CALL getPointCount() = 0;
    virtual tresult HALVORINE_VST3_CALL getPoint(int32 index, int32& sampleOffset,
                                                 ParamValue& value) = 0;
    virtual tresult HALVORINE_VST3_CALL addPoint(int32 sampleOffset, ParamValue value,
                                                 int32& index) = 0;
    HALVORINE_VST3_IID(0x01263A18, 0xED074F6F, 0x98C9D356, 0x4686F9BA);

protected:
    ~IParamValueQueue() = default;
};

class IParameterChanges : public FUnknown {
public:
    virtual int32 HALVORINE_VST3_CALL getParameterCount() = 0;
    virtual IParamValueQueue* HALVORINE_VST3_CALL getParameterData(int32 index) = 0;
    virtual IParamValueQueue* HALVORINE_VST3_CALL addParameterData(const ParamID& id,
                                                                   int32& index) = 0;
    HALVORINE_VST3_IID(0xA4779663, 0x0BB64A56, 0xB44384A8, 0x466FEB9D);

protected:
    ~IParameterChanges() = default;
};

// ------------------------------------------------------------------ events

struct NoteOnEvent {
    int16 channel;
    int16 pitch;  // 0..127
    float tuning;
    float velocity;  // 0..1
    int32 length;
    int32 noteId;
};

struct NoteOffEvent {
    int16 channel;
    int16 pitch;
    float velocity;
    int32 noteId;
    float tuning;
};

// The other event kinds, by their largest layout: only their size matters
// here (the union's), never their fields.
struct NoteExpressionTextEvent {
    uint32 typeId;
    int32 noteId;
    uint32 textLen;
    const char16* text;
};

struct Event {
    enum EventTypes : uint16 { kNoteOnEvent = 0, kNoteOffEvent = 1 };
    int32 busIndex;
    int32 sampleOffset;
    double ppqPosition;
    uint16 flags;
    uint16 type;
    union {
        NoteOnEvent noteOn;
        NoteOffEvent noteOff;
        NoteExpressionTextEvent noteExpressionText;
        double alignment;
    };
};

class IEventList : public FUnknown {
public:
    virtual int32 HALVORINE_VST3_CALL getEventCount() = 0;
    virtual tresult HALVORINE_VST3_CALL getEvent(int32 index, Event& e) = 0;
    virtual tresult HALVORINE_VST3_CALL addEvent(Event& e) = 0;
    HALVORINE_VST3_IID(0x3A2C4214, 0x346349FE, 0xB2C4F397, 0xB9695A44);

protected:
    ~IEventList() = default;
};

// Which parameter a MIDI controller of an event bus drives; the host turns
// those messages into changes of that parameter.
using CtrlNumber = int16;
enum ControllerNumbers : CtrlNumber { kCtrlSustainOnOff = 64, kCtrlAllNotesOff = 123, kPitchBend = 129 };

class IMidiMapping : public FUnknown {
public:
    virtual tresult HALVORINE_VST3_CALL getMidiControllerAssignment(int32 busIndex, int16 channel,
                                                                    CtrlNumber midiControllerNumber,
                                                                    ParamID& id) = 0;
    HALVORINE_VST3_IID(0xDF0FF9F7, 0x49B74669, 0xB63AB732, 0x7ADBF5E5);

protected:
    ~IMidiMapping() = default;
};

struct ProcessData {
    int32 processMode;
    int32 symbolicSampleSize;
    int32 numSamples;
    int32 numInputs;
    int32 numOutputs;
    AudioBusBuffers* inputs;
    AudioBusBuffers* outputs;
    IParameterChanges* inputParameterChanges;
    IParameterChanges* outputParameterChanges;
    IEventList* inputEvents;
    void* outputEvents;
    void* processContext;
};

class IAudioProcessor : public FUnknown {
public:
    virtual tresult HALVORINE_VST3_CALL setBusArrangements(SpeakerArrangement* inputs,
                                                           int32 numIns,
                                                           SpeakerArrangement* outputs,
                                                           int32 numOuts) = 0;
    virtual tresult HALVORINE_VST3_CALL getBusArrangement(int32 dir, int32 index,
                                                          SpeakerArrangement& arr) = 0;
    virtual tresult HALVORINE_VST3_CALL canProcessSampleSize(int32 symbolicSampleSize) = 0;
    virtual uint32 HALVORINE_VST3_CALL getLatencySamples() = 0;
    virtual tresult HALVORINE_VST3_CALL setupProcessing(ProcessSetup& setup) = 0;
    virtual tresult HALVORINE_VST3_CALL setProcessing(TBool state) = 0;
    virtual tresult HALVORINE_VST3_CALL process(ProcessData& data) = 0;
    virtual uint32 HALVORINE_VST3_CALL getTailSamples() = 0;
    HALVORINE_VST3_IID(0x42043F99, 0xB7DA453C, 0xA569E79D, 0x9AAEC33D);

protected:
    ~IAudioProcessor() = default;
};

// ------------------------------------------------------------- controller

struct ParameterInfo {
    enum ParameterFlags : int32 {
        kNoFlags = 0,
        kCanAutomate = 1 << 0,
        kIsReadOnly = 1 << 1,
        kIsWrapAround = 1 << 2,
        kIsList = 1 << 3,
        kIsHidden = 1 << 4,
        kIsProgramChange = 1 << 15,
        kIsBypass = 1 << 16,
    };
    ParamID id;
    String128 title;
    String128 shortTitle;
    String128 units;
    int32 stepCount;
    ParamValue defaultNormalizedValue;
    UnitID unitId;
    int32 flags;
};

enum RestartFlags : int32 { kReloadComponent = 1 << 0, kIoChanged = 1 << 1,
                            kParamValuesChanged = 1 << 2, kLatencyChanged = 1 << 3,
                            kParamTitlesChanged = 1 << 4 };

class IComponentHandler : public FUnknown {
public:
    virtual tresult HALVORINE_VST3_CALL beginEdit(ParamID id) = 0;
    virtual tresult HALVORINE_VST3_CALL performEdit(ParamID id, ParamValue valueNormalized) = 0;
    virtual tresult HALVORINE_VST3_CALL endEdit(ParamID id) = 0;
    virtual tresult HALVORINE_VST3_CALL restartComponent(int32 flags) = 0;
    HALVORINE_VST3_IID(0x93A0BEA3, 0x0BD045DB, 0x8E890B0C, 0xC1E46AC6);

protected:
    ~IComponentHandler() = default;
};

class IPlugView;

class IEditController : public IPluginBase {
public:
    virtual tresult HALVORINE_VST3_CALL setComponentState(IBStream* state) = 0;
    virtual tresult HALVORINE_VST3_CALL setState(IBStream* state) = 0;
    virtual tresult HALVORINE_VST3_CALL getState(IBStream* state) = 0;
    virtual int32 HALVORINE_VST3_CALL getParameterCount() = 0;
    virtual tresult HALVORINE_VST3_CALL getParameterInfo(int32 paramIndex,
                                                         ParameterInfo& info) = 0;
    virtual tresult HALVORINE_VST3_CALL getParamStringByValue(ParamID id,
                                                              ParamValue valueNormalized,
                                                              String128 string) = 0;
    virtual tresult HALVORINE_VST3_CALL getParamValueByString(ParamID id, char16* string,
                                                              ParamValue& valueNormalized) = 0;
    virtual ParamValue HALVORINE_VST3_CALL normalizedParamToPlain(ParamID id,
                                                                  ParamValue valueNormalized) = 0;
    virtual ParamValue HALVORINE_VST3_CALL plainParamToNormalized(ParamID id,
                                                                  ParamValue plainValue) = 0;
    virtual ParamValue HALVORINE_VST3_CALL getParamNormalized(ParamID id) = 0;
    virtual tresult HALVORINE_VST3_CALL setParamNormalized(ParamID id, ParamValue value) = 0;
    virtual tresult HALVORINE_VST3_CALL setComponentHandler(IComponentHandler* handler) = 0;
    virtual IPlugView* HALVORINE_VST3_CALL createView(FIDString name) = 0;
    HALVORINE_VST3_IID(0xDCD7BBE3, 0x7742448D, 0xA874AACC, 0x979C759E);

protected:
    ~IEditController() = default;
};

// Units and program lists: how hosts find the presets.
inline constexpr UnitID kRootUnitId = 0;
inline constexpr UnitID kNoParentUnitId = -1;
inline constexpr ProgramListID kNoProgramListId = -1;

struct UnitInfo {
    UnitID id;
    UnitID parentUnitId;
    String128 name;
    ProgramListID programListId;
};

struct ProgramListInfo {
    ProgramListID id;
    String128 name;
    int32 programCount;
};

class IUnitInfo : public FUnknown {
public:
    virtual int32 HALVORINE_VST3_CALL getUnitCount() = 0;
    virtual tresult HALVORINE_VST3_CALL getUnitInfo(int32 unitIndex, UnitInfo& info) = 0;
    virtual int32 HALVORINE_VST3_CALL getProgramListCount() = 0;
    virtual tresult HALVORINE_VST3_CALL getProgramListInfo(int32 listIndex,
                                                           ProgramListInfo& info) = 0;
    virtual tresult HALVORINE_VST3_CALL getProgramName(ProgramListID listId, int32 programIndex,
                                                       String128 name) = 0;
    virtual tresult HALVORINE_VST3_CALL getProgramInfo(ProgramListID listId, int32 programIndex,
                                                       const char* attributeId,
                                                       String128 attributeValue) = 0;
    virtual tresult HALVORINE_VST3_CALL hasProgramPitchNames(ProgramListID listId,
                                                             int32 programIndex) = 0;
    virtual tresult HALVORINE_VST3_CALL getProgramPitchName(ProgramListID listId,
                                                            int32 programIndex, int16 midiPitch,
                                                            String128 name) = 0;
    virtual UnitID HALVORINE_VST3_CALL getSelectedUnit() = 0;
    virtual tresult HALVORINE_VST3_CALL selectUnit(UnitID unitId) = 0;
    virtual tresult HALVORINE_VST3_CALL getUnitByBus(int32 type, int32 dir, int32 busIndex,
                                                     int32 channel, UnitID& unitId) = 0;
    virtual tresult HALVORINE_VST3_CALL setUnitProgramData(int32 listOrUnitId,
                                                           int32 programIndex,
                                                           IBStream* data) = 0;
    HALVORINE_VST3_IID(0x3D4BD6B5, 0x913A4FD2, 0xA886E768, 0xA5EB92C1);

protected:
    ~IUnitInfo() = default;
};

// ------------------------------------------------------------------ view

inline constexpr const char* kPlatformTypeHWND = "HWND";
inline constexpr const char* kPlatformTypeX11EmbedWindowID = "X11EmbedWindowID";

struct ViewRect {
    int32 left;
    int32 top;
    int32 right;
    int32 bottom;
};

class IPlugFrame;

class IPlugView : public FUnknown {
public:
    virtual tresult HALVORINE_VST3_CALL isPlatformTypeSupported(FIDString type) = 0;
    virtual tresult HALVORINE_VST3_CALL attached(void* parent, FIDString type) = 0;
    virtual tresult HALVORINE_VST3_CALL removed() = 0;
    virtual tresult HALVORINE_VST3_CALL onWheel(float distance) = 0;
    virtual tresult HALVORINE_VST3_CALL onKeyDown(char16 key, int16 keyCode, int16 modifiers) = 0;
    virtual tresult HALVORINE_VST3_CALL onKeyUp(char16 key, int16 keyCode, int16 modifiers) = 0;
    virtual tresult HALVORINE_VST3_CALL getSize(ViewRect* size) = 0;
    virtual tresult HALVORINE_VST3_CALL onSize(ViewRect* newSize) = 0;
    virtual tresult HALVORINE_VST3_CALL onFocus(TBool state) = 0;
    virtual tresult HALVORINE_VST3_CALL setFrame(IPlugFrame* frame) = 0;
    virtual tresult HALVORINE_VST3_CALL canResize() = 0;
    virtual tresult HALVORINE_VST3_CALL checkSizeConstraint(ViewRect* rect) = 0;
    HALVORINE_VST3_IID(0x5BC32507, 0xD06049EA, 0xA6151B52, 0x2B755B29);

protected:
    ~IPlugView() = default;
};

class IPlugFrame : public FUnknown {
public:
    virtual tresult HALVORINE_VST3_CALL resizeView(IPlugView* view, ViewRect* newSize) = 0;
    HALVORINE_VST3_IID(0x367FAF01, 0xAFA94693, 0x8D4DA2A0, 0xED0882A3);

protected:
    ~IPlugFrame() = default;
};

// The host's scale factor for the view's contents (a HiDPI screen, or a
// host that enlarges plug-ins): called before or after attached().
class IPlugViewContentScaleSupport : public FUnknown {
public:
    using ScaleFactor = float;
    virtual tresult HALVORINE_VST3_CALL setContentScaleFactor(ScaleFactor factor) = 0;
    HALVORINE_VST3_IID(0x65ED9690, 0x8AC44525, 0x8AADEF7A, 0x72EA703F);

protected:
    ~IPlugViewContentScaleSupport() = default;
};

// Linux: the host's run loop delivers file-descriptor readiness and timers
// on its user-interface thread.
namespace linux_ui {
using FileDescriptor = int;

class IEventHandler : public FUnknown {
public:
    virtual void HALVORINE_VST3_CALL onFDIsSet(FileDescriptor fd) = 0;
    HALVORINE_VST3_IID(0x561E65C9, 0x13A0496F, 0x813A2C35, 0x654D7983);

protected:
    ~IEventHandler() = default;
};

class ITimerHandler : public FUnknown {
public:
    virtual void HALVORINE_VST3_CALL onTimer() = 0;
    HALVORINE_VST3_IID(0x10BDD94F, 0x41424774, 0x821FAD8F, 0xECA72CA9);

protected:
    ~ITimerHandler() = default;
};

class IRunLoop : public FUnknown {
public:
    virtual tresult HALVORINE_VST3_CALL registerEventHandler(IEventHandler* handler,
                                                             FileDescriptor fd) = 0;
    virtual tresult HALVORINE_VST3_CALL unregisterEventHandler(IEventHandler* handler) = 0;
    virtual tresult HALVORINE_VST3_CALL registerTimer(ITimerHandler* handler,
                                                      uint64 milliseconds) = 0;
    virtual tresult HALVORINE_VST3_CALL unregisterTimer(ITimerHandler* handler) = 0;
    HALVORINE_VST3_IID(0x18C35366, 0x97764F1A, 0x9C5B8385, 0x7A871389);

protected:
    ~IRunLoop() = default;
};
}  // namespace linux_ui

// The layouts hosts were built against; a host and this plug-in share no
// header, so a slip here would show only in a real host.
static_assert(sizeof(PFactoryInfo) == 452 && sizeof(PClassInfo) == 116 &&
              sizeof(PClassInfo2) == 440);
static_assert(sizeof(BusInfo) == 276 && sizeof(UnitInfo) == 268 &&
              sizeof(ProgramListInfo) == 264 && sizeof(ViewRect) == 16);
static_assert(sizeof(ParameterInfo) == 792 && offsetof(ParameterInfo, stepCount) == 772 &&
              offsetof(ParameterInfo, defaultNormalizedValue) == 776);
#if defined(_WIN32) || defined(__x86_64__) || defined(__aarch64__)
static_assert(offsetof(ProcessSetup, sampleRate) == 16 && sizeof(ProcessSetup) == 24);
static_assert(offsetof(AudioBusBuffers, silenceFlags) == 8);
#endif
#if defined(__x86_64__) || defined(_WIN64) || defined(__aarch64__)
static_assert(offsetof(AudioBusBuffers, channelBuffers32) == 16 && sizeof(AudioBusBuffers) == 24);
static_assert(offsetof(ProcessData, inputs) == 24 && offsetof(ProcessData, processContext) == 72);
#endif

}  // namespace halvorine::vst3
