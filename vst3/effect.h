// The plug-in instance: one object that is both the processor (component and
// audio processor) and the edit controller with its program list, as hosts
// allow for effects whose two halves share a process. The processor half
// renders through the EffectCore; the controller half keeps the values the
// host and the editor see.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "bus_rules.h"
#include "effect_core.h"
#include "event_split.h"
#include "interfaces.h"
#include "note_events.h"
#include "parameter_table.h"

namespace halvorine::vst3 {

// IComponent and IEditController both declare setState and getState; these
// two layers give each pair its own implementation.
class ComponentSide : public IComponent {
public:
    tresult HALVORINE_VST3_CALL setState(IBStream* state) final { return loadBank(state); }
    tresult HALVORINE_VST3_CALL getState(IBStream* state) final { return saveBank(state); }

protected:
    ~ComponentSide() = default;
    virtual tresult loadBank(IBStream* state) = 0;
    virtual tresult saveBank(IBStream* state) = 0;
};

class ControllerSide : public IEditController {
public:
    // The controller keeps nothing beyond the component's state.
    tresult HALVORINE_VST3_CALL setState(IBStream*) final { return kResultOk; }
    tresult HALVORINE_VST3_CALL getState(IBStream*) final { return kResultOk; }

protected:
    ~ControllerSide() = default;
};

class Effect final : public ComponentSide,
                     public IAudioProcessor,
                     public ControllerSide,
                     public IUnitInfo,
                     public IMidiMapping {
public:
    // Parameters 0..8 are the named slots 0..8 (the editor's), 9..16 the
    // carrier synth's slots 11..18; the program change has its own id.
    static constexpr ParamID kProgramParameter = 100;
    static constexpr ParamID kBypassParameter = 101;  // the host's bypass switch
    static constexpr int kParameters = 9;
    static constexpr int kSlotIds = kParameters + engine::kSynthSlots;  // ids 0..16
    // What the host maps MIDI controllers of the event bus to: pitch bend,
    // the sustain pedal (CC 64) and all notes off (CC 123). Hidden; each
    // change plays the synth at its sample.
    static constexpr ParamID kBendParameter = 200;
    static constexpr ParamID kSustainParameter = 201;
    static constexpr ParamID kAllNotesOffParameter = 202;
    static constexpr int kMidiParameters = 3;
    static constexpr ProgramListID kProgramList = 1;

    Effect();

    // FUnknown.
    tresult HALVORINE_VST3_CALL queryInterface(const TUID interfaceId, void** obj) override;
    uint32 HALVORINE_VST3_CALL addRef() override;
    uint32 HALVORINE_VST3_CALL release() override;

    // IPluginBase (both halves).
    tresult HALVORINE_VST3_CALL initialize(FUnknown* context) override;
    tresult HALVORINE_VST3_CALL terminate() override;

    // IComponent.
    tresult HALVORINE_VST3_CALL getControllerClassId(TUID classId) override;
    tresult HALVORINE_VST3_CALL setIoMode(int32 mode) override;
    int32 HALVORINE_VST3_CALL getBusCount(int32 type, int32 dir) override;
    tresult HALVORINE_VST3_CALL getBusInfo(int32 type, int32 dir, int32 index,
                                           BusInfo& bus) override;
    tresult HALVORINE_VST3_CALL getRoutingInfo(RoutingInfo& inInfo, RoutingInfo& outInfo) override;
    tresult HALVORINE_VST3_CALL activateBus(int32 type, int32 dir, int32 index,
                                            TBool state) override;
    tresult HALVORINE_VST3_CALL setActive(TBool state) override;

    // IAudioProcessor.
    tresult HALVORINE_VST3_CALL setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                                   SpeakerArrangement* outputs,
                                                   int32 numOuts) override;
    tresult HALVORINE_VST3_CALL getBusArrangement(int32 dir, int32 index,
                                                  SpeakerArrangement& arr) override;
    tresult HALVORINE_VST3_CALL canProcessSampleSize(int32 symbolicSampleSize) override;
    uint32 HALVORINE_VST3_CALL getLatencySamples() override;
    tresult HALVORINE_VST3_CALL setupProcessing(ProcessSetup& setup) override;
    tresult HALVORINE_VST3_CALL setProcessing(TBool state) override;
    tresult HALVORINE_VST3_CALL process(ProcessData& data) override;
    uint32 HALVORINE_VST3_CALL getTailSamples() override;

    // IEditController.
    tresult HALVORINE_VST3_CALL setComponentState(IBStream* state) override;
    int32 HALVORINE_VST3_CALL getParameterCount() override;
    tresult HALVORINE_VST3_CALL getParameterInfo(int32 paramIndex, ParameterInfo& info) override;
    tresult HALVORINE_VST3_CALL getParamStringByValue(ParamID id, ParamValue valueNormalized,
                                                      String128 string) override;
    tresult HALVORINE_VST3_CALL getParamValueByString(ParamID id, char16* string,
                                                      ParamValue& valueNormalized) override;
    ParamValue HALVORINE_VST3_CALL normalizedParamToPlain(ParamID id,
                                                          ParamValue valueNormalized) override;
    ParamValue HALVORINE_VST3_CALL plainParamToNormalized(ParamID id,
                                                          ParamValue plainValue) override;
    ParamValue HALVORINE_VST3_CALL getParamNormalized(ParamID id) override;
    tresult HALVORINE_VST3_CALL setParamNormalized(ParamID id, ParamValue value) override;
    tresult HALVORINE_VST3_CALL setComponentHandler(IComponentHandler* handler) override;
    IPlugView* HALVORINE_VST3_CALL createView(FIDString name) override;

    // IUnitInfo: one unit holding the program list.
    int32 HALVORINE_VST3_CALL getUnitCount() override;
    tresult HALVORINE_VST3_CALL getUnitInfo(int32 unitIndex, UnitInfo& info) override;
    int32 HALVORINE_VST3_CALL getProgramListCount() override;
    tresult HALVORINE_VST3_CALL getProgramListInfo(int32 listIndex, ProgramListInfo& info) override;
    tresult HALVORINE_VST3_CALL getProgramName(ProgramListID listId, int32 programIndex,
                                               String128 name) override;
    tresult HALVORINE_VST3_CALL getProgramInfo(ProgramListID listId, int32 programIndex,
                                               const char* attributeId,
                                               String128 attributeValue) override;
    tresult HALVORINE_VST3_CALL hasProgramPitchNames(ProgramListID listId,
                                                     int32 programIndex) override;
    tresult HALVORINE_VST3_CALL getProgramPitchName(ProgramListID listId, int32 programIndex,
                                                    int16 midiPitch, String128 name) override;
    UnitID HALVORINE_VST3_CALL getSelectedUnit() override;
    tresult HALVORINE_VST3_CALL selectUnit(UnitID unitId) override;
    tresult HALVORINE_VST3_CALL getUnitByBus(int32 type, int32 dir, int32 busIndex, int32 channel,
                                             UnitID& unitId) override;
    tresult HALVORINE_VST3_CALL setUnitProgramData(int32 listOrUnitId, int32 programIndex,
                                                   IBStream* data) override;

    // IMidiMapping.
    tresult HALVORINE_VST3_CALL getMidiControllerAssignment(int32 busIndex, int16 channel,
                                                            CtrlNumber number, ParamID& id) override;

    // The editor's side (user-interface thread): the values it shows, and
    // the user's gestures, which go on to the host.
    float controllerValue(int slot) const;
    void userBeginEdit(int index);
    void userPerformEdit(int index, float value);
    void userEndEdit(int index);

private:
    ~Effect();
    tresult loadBank(IBStream* state) override;
    tresult saveBank(IBStream* state) override;

    struct Bus {
        const float* channels[2];
        int count;
    };
    Bus inputBus(const ProcessData& data, int index, int offset) const;
    void collectChanges(IParameterChanges* changes);
    void collectNotes(IEventList* events, int frames);
    void apply(const common::Change& change);
    void render(const ProcessData& data, int start, int frames);
    void takeValuesFromCore();
    void loadProgramValues(int program);
    void markPending(int slot, float value);
    void clearPending();

    std::atomic<uint32> references_{1};
    EffectCore core_;

    // Processor half.
    std::atomic<int> mainChannels_{2};
    std::atomic<int> sideChannels_{2};
    std::atomic<int> outputChannels_{2};
    std::atomic<bool> sideActive_{false};
    common::BusInputs buses_;
    common::ChangeList changes_;
    common::NoteEvents notes_;
    common::Bypass bypass_;
    std::atomic<bool> active_{false};
    std::array<float, common::BusInputs::kMaxFrames> zeros_{};

    // Controller half. Values are the engine's (the editor shows them);
    // stepped parameters reach the host as whole steps (see effect.cpp).
    std::array<std::atomic<float>, kSlotIds> values_{};
    std::array<std::atomic<float>, kMidiParameters> midiValues_{};
    std::atomic<int> program_{0};
    IComponentHandler* handler_ = nullptr;

    // Values the host or the editor gave the controller that processing has
    // not received yet: hosts may save the state before their next process
    // call delivers them, and the state must hold them. They never reach the
    // sound from here (automation stays sample-accurate); saving lays them
    // over the bank. Per slot, one word: 0 for none, else the program they
    // belong to plus one in the high half and the value's bits in the low.
    // A change of that slot through process clears it; loading a state
    // clears all.
    std::array<std::atomic<std::uint64_t>, kSlotIds> pending_{};
    std::atomic<int> pendingProgram_{-1};  // the controller's program choice, or -1
    std::atomic<int> pendingBypass_{-1};   // the controller's bypass (0, 1), or -1
    std::atomic<bool> bypassShown_{false};  // the bypass as the controller shows it
    static_assert(std::atomic<std::uint64_t>::is_always_lock_free);
};

}  // namespace halvorine::vst3
