#include "importer/VideoWire.h"

#include "formats/ImageLimits.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vistamaze::videowire {
namespace {

constexpr std::size_t kHeadValues = 8;

std::uint32_t KindCode(const char (&kind)[5]) {
    std::uint32_t code = 0;
    std::memcpy(&code, kind, 4);
    return code;
}

// One record: its head, whose value is the size, and `size` bytes of `data`.
std::vector<std::byte> Record(const char (&kind)[5], const void* data, std::uint32_t size) {
    const auto head = RecordHead(kind, size);
    std::vector<std::byte> out(head.size() + size);
    std::memcpy(out.data(), head.data(), head.size());
    if (size > 0) {
        std::memcpy(out.data() + head.size(), data, size);
    }
    return out;
}

[[noreturn]] void Damaged(const std::string& what) {
    throw Error("the stream is damaged: " + what);
}

// The cause as one line of printable text.
std::string OneLine(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            c = ' ';
        }
    }
    return text;
}

}  // namespace

std::array<std::byte, 8> RecordHead(const char (&kind)[5], std::uint32_t value) {
    std::array<std::byte, 8> head{};
    const std::uint32_t code = KindCode(kind);
    std::memcpy(head.data(), &code, 4);
    std::memcpy(head.data() + 4, &value, 4);
    return head;
}

std::vector<std::byte> EncodeHead(const Facts& f) {
    const std::array<std::uint32_t, kHeadValues> values{
        f.width, f.height, f.rateNum, f.rateDen, f.frames, f.grey ? 1U : 0U, f.soundChannels, f.soundRate};
    return Record("HEAD", values.data(), sizeof values);
}

std::vector<std::byte> EncodeFailure(const std::string& cause) {
    const std::string text = OneLine(cause.substr(0, kMaxCauseBytes));
    return Record("FAIL", text.data(), static_cast<std::uint32_t>(text.size()));
}

std::vector<std::byte> EncodeOutOfMemory() {
    const auto head = RecordHead("NMEM", 0);
    return {head.begin(), head.end()};
}

void StreamReader::ReadAll(std::span<std::byte> bytes) {
    if (!read_(bytes)) {
        throw StreamEnded();
    }
}

StreamReader::StreamReader(ReadExactly read) : read_(std::move(read)) {
    std::array<std::uint32_t, 2> head{};
    ReadAll(std::as_writable_bytes(std::span(head)));
    if (head[0] == KindCode("HEAD") && head[1] != kHeadValues * 4) {
        Damaged("its head record is " + std::to_string(head[1]) + " bytes long");
    }
    if (head[0] != KindCode("HEAD")) {
        ThrowReport(head[0], head[1], "it does not begin with the video's facts");
    }
    std::array<std::uint32_t, kHeadValues> v{};
    ReadAll(std::as_writable_bytes(std::span(v)));
    facts_ = Facts{v[0], v[1], v[2], v[3], v[4], v[5] != 0, v[6], v[7]};
    if (facts_.width == 0 || facts_.height == 0 || facts_.width > kMaxPictureSide ||
        facts_.height > kMaxPictureSide ||
        std::uint64_t{facts_.width} * facts_.height > static_cast<std::uint64_t>(kMaxPicturePixels)) {
        throw Error("its frames are " + std::to_string(facts_.width) + " x " + std::to_string(facts_.height) +
                    " pixels, more than a depth map may have (6000 x 4000, 32768 a side)");
    }
    if (facts_.frames > kMaxVideoFrames) {
        throw Error("it claims more than the " + std::to_string(kMaxVideoFrames) +
                    " frames a depth video may have");
    }
    if ((facts_.rateNum == 0) != (facts_.rateDen == 0) || v[5] > 1 ||
        facts_.soundChannels > kMaxSoundChannels ||
        (facts_.soundChannels > 0 && (facts_.soundRate == 0 || facts_.soundRate > kMaxSoundRate))) {
        Damaged("the video's facts are out of range");
    }
}

StreamReader::Record StreamReader::Next() {
    if (done_) {
        Damaged("it goes on after its end");
    }
    std::array<std::uint32_t, 2> head{};
    ReadAll(std::as_writable_bytes(std::span(head)));
    const std::uint32_t kind = head[0];
    const std::uint32_t value = head[1];
    if (kind == KindCode("SOND")) {
        if (facts_.soundChannels == 0 || frames_ > 0 || value == 0 || value > kMaxSoundChunkFrames) {
            Damaged("a sound record is out of place or size");
        }
        sound_.resize(std::size_t{value} * facts_.soundChannels);
        ReadAll(std::as_writable_bytes(std::span(sound_)));
        for (float& s : sound_) {
            s = std::isfinite(s) ? std::clamp(s, -1.0F, 1.0F) : 0.0F;
        }
        return Sound{sound_};
    }
    if (kind == KindCode("FRAM") && value == 0) {
        if (frames_ == kMaxVideoFrames) {
            throw Error("it holds more than the " + std::to_string(kMaxVideoFrames) +
                        " frames a depth video may have");
        }
        ++frames_;
        return ReadFrame();
    }
    if (kind == KindCode("DONE") && value == 0) {
        done_ = true;
        return Done{};
    }
    ThrowReport(kind, value, "a record of an unknown kind or size");
}

void StreamReader::ThrowReport(std::uint32_t kind, std::uint32_t value, const std::string& otherwise) {
    if (kind == KindCode("FAIL") && value <= kMaxCauseBytes) {
        std::string cause(value, '\0');
        ReadAll(std::as_writable_bytes(std::span(cause)));
        throw HelperFailure(OneLine(cause));
    }
    if (kind == KindCode("NMEM") && value == 0) {
        throw HelperOutOfMemory();
    }
    Damaged(otherwise);
}

StreamReader::Frame StreamReader::ReadFrame() {
    const auto width = static_cast<int>(facts_.width);
    const auto height = static_cast<int>(facts_.height);
    Frame frame{PixelBuffer(width, height, 24)};
    const std::size_t rowBytes = static_cast<std::size_t>(width) * (facts_.grey ? 1 : 3);
    for (int y = height - 1; y >= 0; --y) {
        std::uint8_t* row = frame.picture.Row(y);
        if (!facts_.grey) {
            ReadAll(std::as_writable_bytes(std::span(row, rowBytes)));
            continue;
        }
        row_.resize(rowBytes);
        ReadAll(std::as_writable_bytes(std::span(row_)));
        for (std::size_t x = 0; x < rowBytes; ++x) {
            std::memset(row + x * 3, row_[x], 3);
        }
    }
    return frame;
}

}  // namespace vistamaze::videowire
