#include "tests/output/AviTestParser.h"

#include "tests/support/TestSupport.h"

#include <sstream>
#include <stdexcept>

#include <gtest/gtest.h>

namespace vistamaze::test {

std::uint32_t Le32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}
std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

namespace {
std::uint64_t Le64(const std::uint8_t* p) {
    return Le32(p) | (std::uint64_t{Le32(p + 4)} << 32);
}
}  // namespace

std::vector<std::uint8_t> ReadAt(const std::filesystem::path& file, std::uint64_t pos, std::size_t size) {
    std::ifstream in(file, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(pos));
    std::vector<std::uint8_t> out(size);
    in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(size));
    if (!in) {
        throw std::runtime_error("short read at " + std::to_string(pos));
    }
    return out;
}

std::string FourCcAt(const std::filesystem::path& file, std::uint64_t pos) {
    const auto b = ReadAt(file, pos, 4);
    return {b.begin(), b.end()};
}

namespace {

void ParseList(const std::filesystem::path& file, AviLayout& out, std::uint64_t from, std::uint64_t to,
               int parent) {
    std::uint64_t pos = from;
    while (pos + 8 <= to) {
        const auto head = ReadAt(file, pos, 8);
        AviChunk c;
        c.id.assign(head.begin(), head.begin() + 4);
        c.size = Le32(head.data() + 4);
        c.pos = pos;
        c.parent = parent;
        if (pos + 8 + c.size > to) {
            throw std::runtime_error("chunk " + c.id + " runs past its parent at " + std::to_string(pos));
        }
        const bool container = c.id == "RIFF" || c.id == "LIST";
        if (container) {
            c.type = FourCcAt(file, pos + 8);
        }
        out.chunks.push_back(c);
        const int self = static_cast<int>(out.chunks.size()) - 1;
        // movi contents are data chunks and ix indexes; descend to list them too.
        if (container) {
            ParseList(file, out, pos + 12, pos + 8 + c.size, self);
        }
        pos += 8 + c.size + (c.size & 1U);
    }
    if (pos != to && parent < 0) {
        throw std::runtime_error("trailing bytes after the last RIFF");
    }
}

std::vector<AviIndexEntry> ReadStdIndex(const std::filesystem::path& file, std::uint64_t ixPos) {
    const std::uint32_t cb = Le32(ReadAt(file, ixPos + 4, 4).data());
    const auto b = ReadAt(file, ixPos + 8, cb);
    if (Le16(b.data()) != 2 || b[3] != 1) {
        throw std::runtime_error("not a standard index of chunks");
    }
    const std::uint32_t n = Le32(b.data() + 4);
    const std::string id(b.begin() + 8, b.begin() + 12);
    const std::uint64_t base = Le64(b.data() + 12);
    std::vector<AviIndexEntry> out;
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint8_t* e = b.data() + 24 + 8 * std::size_t{i};
        out.push_back({id, base + Le32(e), Le32(e + 4) & 0x7FFFFFFFU, (Le32(e + 4) & 0x80000000U) == 0});
    }
    return out;
}

}  // namespace

AviLayout ParseAvi(const std::filesystem::path& file) {
    AviLayout out;
    out.fileSize = std::filesystem::file_size(file);
    ParseList(file, out, 0, out.fileSize, -1);
    std::uint64_t firstMovi = 0;
    bool haveMovi = false;
    for (const AviChunk& c : out.chunks) {
        if (c.id == "LIST" && c.type == "movi" && !haveMovi) {
            firstMovi = c.pos;
            haveMovi = true;
        }
    }
    for (const AviChunk& c : out.chunks) {
        if (c.id == "avih") {
            out.avihTotalFrames = Le32(ReadAt(file, c.pos + 8 + 16, 4).data());
        } else if (c.id == "dmlh") {
            out.dmlhTotalFrames = Le32(ReadAt(file, c.pos + 8, 4).data());
        } else if (c.id == "strh") {
            out.strh.push_back(ReadAt(file, c.pos + 8, c.size));
            out.strhLength.push_back(Le32(out.strh.back().data() + 32));
        } else if (c.id == "strf") {
            out.strf.push_back(ReadAt(file, c.pos + 8, c.size));
        } else if (c.id == "indx") {
            const auto b = ReadAt(file, c.pos + 8, c.size);
            if (Le16(b.data()) != 4 || b[3] != 0) {
                throw std::runtime_error("indx is not a super index");
            }
            std::vector<AviIndexEntry> all;
            std::uint32_t duration = 0;
            for (std::uint32_t i = 0; i < Le32(b.data() + 4); ++i) {
                const std::uint8_t* e = b.data() + 24 + 16 * std::size_t{i};
                const std::uint64_t ixPos = Le64(e);
                const std::string ixId = FourCcAt(file, ixPos);
                if (ixId.substr(0, 2) != "ix" || Le32(e + 8) != Le32(ReadAt(file, ixPos + 4, 4).data()) + 8) {
                    throw std::runtime_error("super index entry does not point at an ix chunk");
                }
                duration += Le32(e + 12);
                const auto entries = ReadStdIndex(file, ixPos);
                all.insert(all.end(), entries.begin(), entries.end());
            }
            out.openDml.push_back(all);
            out.superIndexDurations.push_back(duration);
        } else if (c.id == "idx1") {
            const auto b = ReadAt(file, c.pos + 8, c.size);
            for (std::size_t i = 0; i + 16 <= b.size(); i += 16) {
                const std::string id(b.begin() + static_cast<std::ptrdiff_t>(i),
                                     b.begin() + static_cast<std::ptrdiff_t>(i) + 4);
                // Offsets count from the "movi" fourcc and name the chunk header.
                out.idx1.push_back({id, firstMovi + 8 + Le32(b.data() + i + 8) + 8, Le32(b.data() + i + 12),
                                    (Le32(b.data() + i + 4) & 0x10U) != 0});
            }
        }
    }
    return out;
}

std::map<std::string, std::string> ProbeStream(const std::filesystem::path& file, const std::string& stream) {
    std::string out;
    const int rc = RunCommand("ffprobe -v error -count_frames -select_streams " + stream +
                                  " -show_entries stream=codec_name,pix_fmt,width,height,nb_frames,"
                                  "nb_read_frames,r_frame_rate,sample_rate,channels -of default=nw=1 '" +
                                  file.string() + "'",
                              &out);
    EXPECT_EQ(rc, 0) << out;
    std::map<std::string, std::string> values;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) {
            values[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    return values;
}

}  // namespace vistamaze::test
