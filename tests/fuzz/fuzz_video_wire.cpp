// Fuzz target for the depth-video reader's side in the programs: the input is taken as the stream
// the video reader helper sends (importer/VideoWire.h) and read record by record to its end, as
// DepthVideo reads it. Every sound chunk and frame handed out must have the size the facts give.
#include "importer/VideoWire.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <variant>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::size_t offset = 0;
    const vistamaze::videowire::ReadExactly read = [&](std::span<std::byte> bytes) {
        if (bytes.size() > size - offset) {
            return false;
        }
        if (!bytes.empty()) {
            std::memcpy(bytes.data(), data + offset, bytes.size());
        }
        offset += bytes.size();
        return true;
    };
    using Reader = vistamaze::videowire::StreamReader;
    try {
        Reader reader(read);
        const auto& facts = reader.VideoFacts();
        for (;;) {
            Reader::Record record = reader.Next();
            if (const auto* sound = std::get_if<Reader::Sound>(&record)) {
                if (facts.soundChannels == 0 || sound->samples.size() % facts.soundChannels != 0 ||
                    std::any_of(sound->samples.begin(), sound->samples.end(),
                                [](float s) { return !(s >= -1.0F && s <= 1.0F); })) {
                    __builtin_trap();
                }
            } else if (const auto* frame = std::get_if<Reader::Frame>(&record)) {
                if (frame->picture.Width() != static_cast<int>(facts.width) ||
                    frame->picture.Height() != static_cast<int>(facts.height) ||
                    frame->picture.BitsPerPixel() != 24) {
                    __builtin_trap();
                }
            } else {
                break;
            }
        }
    } catch (const vistamaze::Error&) {
    }
    return 0;
}
