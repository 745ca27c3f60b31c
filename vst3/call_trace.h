// A record of the calls a host makes into the plug-in, in their order and
// with the thread each came on, to see what a host does. Off unless the
// environment variable HALVORINE_VST3_TRACE names a file when the instance
// is made. Recording takes a slot of a fixed ring (no lock, allocation or
// system call: the audio thread records too); terminate() appends the
// ring to that file, one call a line.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace halvorine::vst3 {

class CallTrace {
public:
    enum Kind : int {
        kSetState,           // id: the program current after it; value: 1 loaded, 0 refused
        kGetState,
        kSetComponentState,
        kSetParamNormalized,  // id, value
        kProcess,            // id: frames; value: parameter changes in the block
        kProcessChange,      // id, value; extra: the frame offset
        kSetActive,          // id: the state
        kSetupProcessing,    // value: the rate
        kSetProcessing,      // id: the state
        kValue,              // id, value: a slot's value as processing has it, after a state
        kActivateBus,        // id: direction * 10 + index; value: the state
        kSetBusArrangements, // id: inputs; value: the sidechain's arrangement; extra: the main's
    };

    CallTrace();
    bool on() const { return records_ != nullptr; }
    void record(Kind kind, int id = 0, double value = 0.0, int extra = 0) {
        if (records_) add(kind, id, value, extra);
    }
    // Appends the calls recorded so far to the file and starts again.
    // Not on the audio thread.
    void dump();

private:
    struct Record {
        std::atomic<std::uint64_t> thread{0};
        std::atomic<int> kind{-1}, id{0}, extra{0};
        std::atomic<double> value{0.0};
    };
    static constexpr std::uint64_t kCapacity = 1u << 18;

    void add(Kind kind, int id, double value, int extra);

    std::unique_ptr<Record[]> records_;
    std::atomic<std::uint64_t> next_{0};
    std::string path_;
};

}  // namespace halvorine::vst3
