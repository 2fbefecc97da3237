#include "formats/GifReader.h"

#include "engine/Errors.h"
#include "formats/ImageLimits.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gif_lib.h>

namespace vistamaze {

namespace {

struct GifSource {
    std::span<const std::uint8_t> bytes;
    std::size_t pos = 0;
};

int ReadFromMemory(GifFileType* gif, GifByteType* out, int length) {
    auto& source = *static_cast<GifSource*>(gif->UserData);
    if (length <= 0 || source.pos >= source.bytes.size()) {
        return 0;
    }
    const std::size_t count = std::min(static_cast<std::size_t>(length), source.bytes.size() - source.pos);
    std::memcpy(out, source.bytes.data() + source.pos, count);
    source.pos += count;
    return static_cast<int>(count);
}

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using GifHandle = std::unique_ptr<GifFileType, GifCloser>;

[[noreturn]] void Reject(const std::string& reason) {
    throw InvalidPictureError("Invalid GIF file: " + reason);
}

[[noreturn]] void RejectGif(int errorCode) {
    const char* text = GifErrorString(errorCode);
    Reject(text != nullptr ? text : "unknown error");
}

// Skips one extension block, remembering the transparent colour of a graphics control block.
void ReadExtension(GifFileType* gif, int& transparentIndex) {
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) {
        RejectGif(gif->Error);
    }
    if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr) {
        GraphicsControlBlock control{};
        if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK) {
            transparentIndex = control.TransparentColor;
        }
    }
    while (block != nullptr) {
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) {
            RejectGif(gif->Error);
        }
    }
}

Bgr BackgroundOf(const GifFileType* gif) {
    const ColorMapObject* map = gif->SColorMap;
    if (map == nullptr || gif->SBackGroundColor < 0 || gif->SBackGroundColor >= map->ColorCount) {
        return {};
    }
    const GifColorType c = map->Colors[gif->SBackGroundColor];
    return {c.Blue, c.Green, c.Red};
}

// The order in which an interlaced frame stores its rows: four passes over the frame.
std::vector<int> RowOrder(int height, bool interlaced) {
    std::vector<int> order;
    order.reserve(static_cast<std::size_t>(height));
    if (!interlaced) {
        for (int y = 0; y < height; ++y) {
            order.push_back(y);
        }
        return order;
    }
    constexpr std::array<int, 4> kStart{0, 4, 2, 1};
    constexpr std::array<int, 4> kStep{8, 8, 4, 2};
    for (std::size_t pass = 0; pass < kStart.size(); ++pass) {
        for (int y = kStart[pass]; y < height; y += kStep[pass]) {
            order.push_back(y);
        }
    }
    return order;
}

// Reads the frame's rows in the order they are stored. The rows are kept as they arrive, so a
// damaged file fails before the picture's memory is taken.
std::vector<GifPixelType> ReadFrameRows(GifFileType* gif, const GifImageDesc& desc) {
    const auto width = static_cast<std::size_t>(desc.Width);
    std::vector<GifPixelType> rows;
    std::vector<GifPixelType> line(width);
    for (int i = 0; i < desc.Height; ++i) {
        if (DGifGetLine(gif, line.data(), desc.Width) == GIF_ERROR) {
            RejectGif(gif->Error);
        }
        rows.insert(rows.end(), line.begin(), line.end());
    }
    return rows;
}

PixelBuffer MakeScreen(std::int64_t width, std::int64_t height, Bgr background) {
    PixelBuffer screen = AllocatePicture(width, height);
    if (background == Bgr{}) {
        return screen;
    }
    for (int x = 0; x < screen.Width(); ++x) {
        screen.SetPixel(0, x, background);
    }
    for (int y = 1; y < screen.Height(); ++y) {
        std::memcpy(screen.Row(y), screen.Row(0), screen.Stride());
    }
    return screen;
}

PixelBuffer DecodeFrame(GifFileType* gif, int transparentIndex) {
    if (DGifGetImageDesc(gif) == GIF_ERROR) {
        RejectGif(gif->Error);
    }
    const GifImageDesc desc = gif->Image;
    CheckPictureSize(desc.Width, desc.Height);
    const std::int64_t width = std::max<std::int64_t>(gif->SWidth, std::int64_t{desc.Left} + desc.Width);
    const std::int64_t height = std::max<std::int64_t>(gif->SHeight, std::int64_t{desc.Top} + desc.Height);
    CheckPictureSize(width, height);
    const ColorMapObject* map = desc.ColorMap != nullptr ? desc.ColorMap : gif->SColorMap;
    if (map == nullptr) {
        Reject("no colour table");
    }
    const std::vector<GifPixelType> rows = ReadFrameRows(gif, desc);
    PixelBuffer out = MakeScreen(width, height, BackgroundOf(gif));
    const std::vector<int> order = RowOrder(desc.Height, desc.Interlace);
    for (std::size_t i = 0; i < order.size(); ++i) {
        const GifPixelType* line = rows.data() + i * static_cast<std::size_t>(desc.Width);
        const int y = out.Height() - 1 - (desc.Top + order[i]);
        for (int x = 0; x < desc.Width; ++x) {
            const int index = line[x];
            Bgr colour{};
            if (index != transparentIndex && index < map->ColorCount) {
                colour = {map->Colors[index].Blue, map->Colors[index].Green, map->Colors[index].Red};
            }
            out.SetPixel(y, desc.Left + x, colour);
        }
    }
    return out;
}

}  // namespace

PixelBuffer DecodeGif(std::span<const std::uint8_t> bytes) {
    GifSource source{bytes, 0};
    int error = 0;
    const GifHandle gif(DGifOpen(&source, ReadFromMemory, &error));
    if (!gif) {
        RejectGif(error);
    }
    int transparentIndex = NO_TRANSPARENT_COLOR;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) {
            RejectGif(gif->Error);
        }
        switch (type) {
            case IMAGE_DESC_RECORD_TYPE:
                return DecodeFrame(gif.get(), transparentIndex);
            case EXTENSION_RECORD_TYPE:
                ReadExtension(gif.get(), transparentIndex);
                break;
            default:
                Reject("the file holds no picture");
        }
    }
}

}  // namespace vistamaze
