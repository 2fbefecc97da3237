// The time limit of the depth-video reader: a reader that hangs is ended and named, and a reader
// that answers slowly but steadily is not cut short, because the limit holds for each part of its
// answer rather than for the whole video.
#include "engine/Errors.h"
#include "engine/QuotedName.h"
#include "importer/DepthVideo.h"
#include "tests/support/TestSupport.h"

#include <fstream>
#include <string>

#include <gtest/gtest.h>

namespace vistamaze {
namespace {

namespace fs = std::filesystem;

fs::path Script(const fs::path& file, const std::string& body) {
    std::ofstream(file) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(file, fs::perms::owner_all);
    return file;
}

TEST(VideoReaderLimits, AHangingReaderIsEndedAndASlowOneIsNot) {
    if (!test::ToolAvailable("ffmpeg")) {
        GTEST_SKIP() << "ffmpeg is not installed";
    }
    test::TempDir dir;
    const fs::path video = dir / "small.mkv";
    ASSERT_EQ(test::RunCommand("ffmpeg -v error -f lavfi -i 'color=c=gray:size=8x6:rate=25:duration=0.4' "
                               "-pix_fmt gray -c:v ffv1 '" +
                               video.string() + "'"),
              0);

    const fs::path hanging = Script(dir / "hanging-reader", "exec sleep 30");
    try {
        DepthVideo reading(video, false, hanging, std::chrono::milliseconds(1000));
        ADD_FAILURE() << "a hanging reader was not ended";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot read depth video " + QuotedName(video.string()) +
                                             ": the video reader took longer than 1 s");
    }

    // The real reader's answer passed on in pieces of 64 bytes, one every 0.5 s: no part of it is
    // late (a frame is one or two pieces), but the whole answer takes twice the limit.
    const fs::path slow = Script(
        dir / "slow-reader", "'" + std::string(VM_VIDEO_READER) +
                                 "' \"$@\" | while piece=$(dd bs=64 count=1 2>/dev/null | base64 -w0); "
                                 "[ -n \"$piece\" ]; do printf %s \"$piece\" | base64 -d; sleep 0.5; done");
    DepthVideo reading(video, false, slow, std::chrono::milliseconds(2500));
    int frames = 0;
    while (reading.NextFrame()) {
        ++frames;
    }
    EXPECT_EQ(frames, 10);
}

}  // namespace
}  // namespace vistamaze
