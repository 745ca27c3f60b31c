#include "midi_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include "error.h"

namespace halvorine::host {

bool parsePitchName(const std::string& name, int& key) {
    static constexpr int kSemitone[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
    if (name.empty()) return false;
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    if (letter < 'A' || letter > 'G') return false;
    int semitone = kSemitone[letter - 'A'];
    std::size_t i = 1;
    for (; i < name.size() && (name[i] == '#' || name[i] == 'b'); ++i) semitone += name[i] == '#' ? 1 : -1;
    const bool negative = i < name.size() && name[i] == '-';
    if (negative) ++i;
    if (i == name.size() || name.size() - i > 2) return false;
    int octave = 0;
    for (; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return false;
        octave = octave * 10 + (name[i] - '0');
    }
    if (negative) octave = -octave;
    const int k = (octave + 1) * 12 + semitone;
    if (k < 0 || k > 127) return false;
    key = k;
    return true;
}

std::vector<int> parseNoteList(const std::string& text) {
    std::vector<int> keys;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ' || text[i] == ',' || text[i] == '\t') {
            ++i;
            continue;
        }
        const std::size_t end = text.find_first_of(" ,\t", i);
        const std::string word = text.substr(i, end == std::string::npos ? std::string::npos : end - i);
        int key = 0;
        if (!parsePitchName(word, key)) {
            usageError("--notes: '" + word + "' is no pitch from C-1 to G9; name each note as a"
                       " letter, '#' or 'b' and an octave, middle C being C4 ('A3 C#4 Eb4')");
        }
        keys.push_back(key);
        i = end == std::string::npos ? text.size() : end;
    }
    if (keys.empty()) usageError("--notes needs at least one note, such as \"A3 C4 E4\"");
    return keys;
}

namespace {

constexpr std::size_t kLargestFile = 64u << 20;
constexpr std::uint32_t kDefaultTempo = 500000;  // microseconds a quarter note: 120 a minute

// A message at a tick of the file, or a tempo from that tick on.
struct Timed {
    std::uint64_t tick;
    std::uint32_t tempo;  // 0: a message
    std::uint8_t data[3];
};

class Reader {
public:
    Reader(const std::string& path, std::vector<unsigned char> bytes)
        : path_(path), bytes_(std::move(bytes)) {}

    [[noreturn]] void bad(const std::string& what) const {
        fail("MIDI file '" + path_ + "': " + what);
    }

    std::uint32_t be(std::size_t at, int count) const {
        std::uint32_t v = 0;
        for (int i = 0; i < count; ++i) v = v << 8 | bytes_[at + static_cast<std::size_t>(i)];
        return v;
    }

    std::vector<Timed> read(int& format, std::uint32_t& division) {
        if (bytes_.size() < 8 || std::memcmp(bytes_.data(), "MThd", 4) != 0) {
            fail("'" + path_ + "' is not a Standard MIDI File: it does not begin with an MThd header");
        }
        const std::uint32_t headerLength = be(4, 4);
        if (headerLength < 6) bad("its header is " + std::to_string(headerLength) + " bytes long, not 6");
        if (headerLength > bytes_.size() - 8) bad("its header runs past the end of the file");
        format = static_cast<int>(be(8, 2));
        const std::uint32_t tracks = be(10, 2);
        division = be(12, 2);
        if (format == 2) bad("format 2 (independent patterns) is not supported; give a format 0 or 1 file");
        if (format > 2) bad("unknown format " + std::to_string(format));
        if (tracks == 0) bad("its header declares no tracks");
        if (format == 0 && tracks != 1) bad("format 0 has one track, but its header declares " + std::to_string(tracks));
        if ((division & 0x8000u) == 0 && division == 0) bad("its header gives 0 ticks a quarter note");

        std::vector<Timed> events;
        std::size_t at = 8 + headerLength;
        std::uint32_t found = 0;
        while (found < tracks) {
            if (at == bytes_.size()) {
                bad("its header declares " + std::to_string(tracks) + " tracks, but the file ends after " +
                    std::to_string(found));
            }
            if (bytes_.size() - at < 8) bad("a chunk header is cut off at byte " + std::to_string(at));
            const std::uint32_t length = be(at + 4, 4);
            if (length > bytes_.size() - at - 8) {
                bad("the chunk at byte " + std::to_string(at) + " gives a length of " + std::to_string(length) +
                    " bytes, past the end of the file");
            }
            if (std::memcmp(bytes_.data() + at, "MTrk", 4) == 0) {
                ++found;
                readTrack(found, at + 8, at + 8 + length, events);
            }  // chunks of other types are skipped, as the format asks
            at += 8 + length;
        }
        return events;
    }

private:
    // Reads a variable-length number of at most four bytes.
    std::uint32_t number(std::size_t& at, std::size_t end, std::uint32_t track) const {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            if (at >= end) bad("track " + std::to_string(track) + " ends inside a number at byte " + std::to_string(at));
            const unsigned char b = bytes_[at++];
            v = v << 7 | (b & 0x7Fu);
            if ((b & 0x80u) == 0) return v;
        }
        bad("track " + std::to_string(track) + " has a number longer than four bytes at byte " + std::to_string(at - 4));
    }

    void readTrack(std::uint32_t track, std::size_t at, std::size_t end, std::vector<Timed>& events) const {
        const std::string where = "track " + std::to_string(track);
        std::uint64_t tick = 0;
        unsigned running = 0;  // the status a data byte repeats; 0: none
        while (at < end) {
            tick += number(at, end, track);
            if (tick > (std::uint64_t{1} << 40)) bad(where + " runs too long");
            if (at >= end) bad(where + " ends after a delta time, without its event");
            const std::size_t start = at;
            unsigned status = bytes_[at];
            if (status < 0x80) {
                if (running == 0) {
                    bad(where + " has a data byte where a status byte belongs at byte " + std::to_string(at) +
                        " (running status with no channel message before it)");
                }
                status = running;
            } else {
                ++at;
            }
            if (status == 0xFF) {  // meta event
                running = 0;
                if (at >= end) bad(where + " ends inside a meta event at byte " + std::to_string(start));
                const unsigned type = bytes_[at++];
                const std::uint32_t length = number(at, end, track);
                if (length > end - at) {
                    bad(where + ": the meta event at byte " + std::to_string(start) + " gives a length of " +
                        std::to_string(length) + " bytes, past the end of the track");
                }
                if (type == 0x2F) return;  // end of track
                if (type == 0x51) {
                    if (length != 3) bad(where + ": a tempo at byte " + std::to_string(start) + " is not 3 bytes long");
                    const std::uint32_t tempo = be(at, 3);
                    if (tempo == 0) bad(where + ": a tempo of 0 at byte " + std::to_string(start));
                    events.push_back({tick, tempo, {}});
                }
                at += length;
            } else if (status == 0xF0 || status == 0xF7) {  // sysex, left out
                running = 0;
                const std::uint32_t length = number(at, end, track);
                if (length > end - at) {
                    bad(where + ": the sysex at byte " + std::to_string(start) + " gives a length of " +
                        std::to_string(length) + " bytes, past the end of the track");
                }
                at += length;
            } else if (status >= 0xF0) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "0x%02X", status);
                bad(where + " has the status byte " + hex + " at byte " + std::to_string(start) +
                    ", which no MIDI file holds");
            } else {  // a channel message
                running = status;
                const std::size_t count = (status & 0xF0u) == 0xC0u || (status & 0xF0u) == 0xD0u ? 1 : 2;
                if (end - at < count) bad(where + " ends inside a message at byte " + std::to_string(start));
                Timed e{tick, 0, {static_cast<std::uint8_t>(status), 0, 0}};
                for (std::size_t i = 0; i < count; ++i) {
                    const unsigned char b = bytes_[at++];
                    if (b >= 0x80) {
                        bad(where + ": the message at byte " + std::to_string(start) +
                            " is cut short by a status byte");
                    }
                    e.data[1 + i] = b;
                }
                events.push_back(e);
            }
        }
    }

    std::string path_;
    std::vector<unsigned char> bytes_;
};

std::vector<unsigned char> slurp(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) fail("cannot read MIDI file '" + path + "': " + std::strerror(errno));
    std::vector<unsigned char> bytes;
    unsigned char buf[65536];
    for (;;) {
        const std::size_t n = std::fread(buf, 1, sizeof buf, f);
        bytes.insert(bytes.end(), buf, buf + n);
        if (bytes.size() > kLargestFile) {
            std::fclose(f);
            fail("MIDI file '" + path + "' is larger than 64 MiB; that is no MIDI file");
        }
        if (n < sizeof buf) break;
    }
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) fail("cannot read MIDI file '" + path + "': a read error");
    return bytes;
}

}  // namespace

std::vector<NoteEvent> readMidiFile(const std::string& path, int sampleRate) {
    int format = 0;
    std::uint32_t division = 0;
    Reader reader(path, slurp(path));
    std::vector<Timed> timed = reader.read(format, division);
    std::stable_sort(timed.begin(), timed.end(),
                     [](const Timed& a, const Timed& b) { return a.tick < b.tick; });

    // Time at a tick is S / D seconds. With a metrical division S sums
    // ticks x microseconds a quarter over the tempo map and D is ticks a
    // quarter x 10^6; with an SMPTE one, S is ticks (x 1001 at 29.97
    // frames a second) and D ticks a second (x 1001). Frames are rounded
    // to the nearest, in whole numbers so that every build agrees.
    const bool smpte = (division & 0x8000u) != 0;
    std::uint64_t scale = 0, denominator = 0;
    if (smpte) {
        const int fps = -static_cast<int>(static_cast<std::int8_t>(division >> 8));
        const std::uint32_t perFrame = division & 0xFFu;
        if ((fps != 24 && fps != 25 && fps != 29 && fps != 30) || perFrame == 0) {
            reader.bad("its SMPTE time base (" + std::to_string(fps) + " frames a second, " +
                       std::to_string(perFrame) + " ticks a frame) is not one of 24, 25, 29.97 or 30");
        }
        scale = fps == 29 ? 1001 : 1;
        denominator = fps == 29 ? 30000ull * perFrame : static_cast<std::uint64_t>(fps) * perFrame;
    } else {
        denominator = static_cast<std::uint64_t>(division) * 1000000ull;
    }
    const auto rate = static_cast<std::uint64_t>(sampleRate);
    std::uint64_t sum = 0, lastTick = 0;
    std::uint32_t tempo = kDefaultTempo;
    std::vector<NoteEvent> out;
    for (const Timed& e : timed) {
        const std::uint64_t step = smpte ? scale : tempo;
        std::uint64_t add = 0;
        if (__builtin_mul_overflow(e.tick - lastTick, step, &add) || __builtin_add_overflow(sum, add, &sum)) {
            reader.bad("it runs too long");
        }
        lastTick = e.tick;
        if (e.tempo != 0) {
            tempo = e.tempo;
            continue;
        }
        const std::uint64_t whole = sum / denominator, part = sum % denominator;
        std::uint64_t frame = 0;
        if (__builtin_mul_overflow(whole, rate, &frame) || frame > (std::uint64_t{1} << 62)) {
            reader.bad("it runs too long");
        }
        std::uint64_t partFrames = 0;
        if (__builtin_mul_overflow(part, rate, &partFrames)) reader.bad("its time base is too fine for this rate");
        frame += (partFrames + denominator / 2) / denominator;
        NoteEvent n;
        n.frame = static_cast<std::int64_t>(frame);
        std::memcpy(n.data, e.data, sizeof n.data);
        out.push_back(n);
    }
    return out;
}

}  // namespace halvorine::host
