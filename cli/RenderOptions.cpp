#include "cli/RenderOptions.h"

#include "cli/FileRoles.h"
#include "cli/OptionValues.h"
#include "importer/DepthVideo.h"
#include "output/CompressedMovie.h"
#include "output/PictureWriters.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

namespace vistamaze::cli {

namespace {

using Setter = std::function<void(RenderOptions&, const std::string&)>;

void AddSceneOptions(std::map<std::string, Setter>& m) {
    m["--model"] = [](RenderOptions& o, const std::string& v) { o.scene.model = v; };
    m["--text"] = [](RenderOptions& o, const std::string& v) { o.scene.text = v; };
    m["--font"] = [](RenderOptions& o, const std::string& v) { o.scene.font = v; };
    m["--view"] = [](RenderOptions& o, const std::string& v) {
        std::tie(o.scene.viewWidth, o.scene.viewHeight) = ParseViewSize("--view", v);
    };
    m["--rotate"] = [](RenderOptions& o, const std::string& v) {
        o.scene.rotate = ParseAngles("--rotate", v);
    };
    m["--depth-min"] = [](RenderOptions& o, const std::string& v) {
        o.scene.depthMin = static_cast<int>(ParseInteger("--depth-min", v, -500, 500));
    };
    m["--depth-max"] = [](RenderOptions& o, const std::string& v) {
        o.scene.depthMax = static_cast<int>(ParseInteger("--depth-max", v, -500, 500));
    };
    m["--depth-space"] = [](RenderOptions& o, const std::string& v) {
        o.scene.depthSpace = static_cast<int>(ParseInteger("--depth-space", v, -500, 500));
    };
    m["--picture-out"] = [](RenderOptions& o, const std::string& v) {
        o.scene.pictureOut = PictureName("--picture-out", v);
    };
    m["--background"] = [](RenderOptions& o, const std::string& v) {
        o.scene.background = ParseColour("--background", v);
    };
}

void AddAnimationOptions(std::map<std::string, Setter>& m) {
    m["--frames"] = [](RenderOptions& o, const std::string& v) {
        o.animation.frames = static_cast<int>(ParseInteger("--frames", v, 0, 1000000));
    };
    m["--rotate-step"] = [](RenderOptions& o, const std::string& v) {
        o.animation.rotateStep = ParseIntegerAngles("--rotate-step", v);
    };
    m["--zoom-step"] = [](RenderOptions& o, const std::string& v) {
        o.animation.zoomStep = static_cast<int>(ParseInteger("--zoom-step", v, -99, 1000));
    };
    m["--move-step"] = [](RenderOptions& o, const std::string& v) {
        const auto [x, y] = ParsePair("--move-step", v, -1000000);
        o.animation.moveStep = {x, y};
    };
    m["--texture-scale-step"] = [](RenderOptions& o, const std::string& v) {
        o.animation.textureScaleStep = ParsePercentPoints("--texture-scale-step", v);
    };
}

// The options that only a scene movie reads.
constexpr std::array<const char*, 4> kAnimationStepOptions = {"--rotate-step", "--zoom-step", "--move-step",
                                                              "--texture-scale-step"};

// A scene movie: its checks, and the animation options dialog's defaults for what was not given.
void CheckAnimation(RenderOptions& o, const std::set<std::string>& given) {
    if (!o.animation.Requested()) {
        for (const char* option : kAnimationStepOptions) {
            if (given.contains(option)) {
                throw UsageError(std::string(option) + " needs --frames (a scene movie)");
            }
        }
        if (o.textureStepX < 0 || o.textureStepY < 0) {
            throw UsageError("--texture-step of depth map movies must not be negative");
        }
        return;
    }
    if (!o.scene.Requested()) {
        throw UsageError("--frames makes a movie of a scene: give --model or --text");
    }
    if (!IsMovieFile(o.output)) {
        throw UsageError("--frames makes a movie: OUT must end in .avi, .mp4 or .webm, not " +
                         Quoted(o.output));
    }
    if (!o.depthOut.empty() || !o.scene.pictureOut.empty()) {
        throw UsageError("--depth-out and --picture-out go with one picture, not with --frames");
    }
    if (*o.animation.frames == 0 && CompressedCodecFor(MovieFileFormatFor(o.output))) {
        throw UsageError("--frames 0 makes no frames, and a compressed movie needs at least one");
    }
    if (!given.contains("--width")) {
        o.width = 1920;
    }
    if (!given.contains("--height")) {
        o.height = 1080;
    }
    if (!given.contains("--texture-step")) {
        o.textureStepX = 0;
        o.textureStepY = 15;
    }
}

// Depth maps come from files or from one scene, never both.
void CheckDepthSource(const RenderOptions& o) {
    const SceneOptions& scene = o.scene;
    if (!scene.model.empty() && scene.text) {
        throw UsageError("give --model or --text, not both");
    }
    if (scene.Requested()) {
        if (!o.depthMaps.empty()) {
            throw UsageError("give depth map files or a scene (--model, --text), not both");
        }
        if (IsMovieFile(o.output) && !o.animation.Requested()) {
            throw UsageError(
                "a scene makes one picture, or a movie with --frames N: use .png, .jpg, .jpeg, .bmp or .tga");
        }
        return;
    }
    if (o.depthMaps.empty()) {
        throw UsageError("no depth map given: name depth map files, or use --model or --text (see --help)");
    }
    // A depth video makes a movie of its own frames.
    const auto video = std::find_if(o.depthMaps.begin(), o.depthMaps.end(),
                                    [](const std::string& name) { return IsDepthVideoName(name); });
    if (video != o.depthMaps.end() && o.depthMaps.size() > 1) {
        throw UsageError(Quoted(*video) + " is a depth video: give it as the only depth map");
    }
    if (video != o.depthMaps.end() && !IsMovieFile(o.output)) {
        throw UsageError(Quoted(*video) +
                         " is a depth video, which makes a movie: use -o NAME.mp4, NAME.webm or "
                         "NAME.avi, not " +
                         Quoted(o.output));
    }
    if (!(scene == SceneOptions{})) {
        throw UsageError(
            "--font, --view, --rotate, --depth-min, --depth-max, --depth-space, --picture-out and "
            "--background need --model or --text");
    }
    if (!o.depthOut.empty() && (o.depthMaps.size() > 1 || IsMovieFile(o.output))) {
        throw UsageError("--depth-out goes with one depth map and a picture, not several or a movie");
    }
}

// Options that change only a movie do nothing for pictures, and one picture has no texture step
// to take: they are refused, so that a user who expects them to count learns that they do not.
// The sound track must be a WAV file by its name, as the movie writer requires.
void CheckMovieOptions(const RenderOptions& o, const std::set<std::string>& given) {
    if (!o.audio.empty() && LowerCaseExtension(o.audio) != ".wav") {
        throw UsageError("--audio " + Quoted(o.audio) + ": not a WAV file (.wav)");
    }
    if (IsMovieFile(o.output)) {
        return;
    }
    const bool onePicture = o.scene.Requested() || o.depthMaps.size() == 1;
    std::vector<std::string> idle;
    for (const char* option : {"--audio", "--fps", "--texture-step"}) {
        if (given.contains(option) && (onePicture || std::string_view(option) != "--texture-step")) {
            idle.emplace_back(option);
        }
    }
    if (idle.empty()) {
        return;
    }
    std::string names = idle.front();
    for (std::size_t i = 1; i < idle.size(); ++i) {
        names += (i + 1 == idle.size() ? " and " : ", ") + idle[i];
    }
    const bool one = idle.size() == 1;
    throw UsageError(names + (one ? " does" : " do") + " nothing for " +
                     (onePicture ? "a single picture" : "pictures") + ": " + (one ? "it goes" : "they go") +
                     " with a movie (-o NAME.avi" + (o.scene.Requested() ? " and --frames N)" : ")"));
}

// The quality and speed of a compressed movie: only for one, and within what its codec takes.
void CheckCompression(const RenderOptions& o, const std::set<std::string>& given) {
    const std::optional<MovieCodec> codec = CompressedCodecFor(MovieFileFormatFor(o.output));
    if (!codec) {
        for (const char* option : {"--crf", "--preset"}) {
            if (given.contains(option)) {
                throw UsageError(std::string(option) +
                                 " goes with a compressed movie (-o NAME.mp4 or NAME.webm)");
            }
        }
        return;
    }
    const MovieCodecChoices& choices = ChoicesFor(*codec);
    const std::string of = std::string(" of ") + choices.name + " (" + choices.extension + ")";
    if (o.crf && *o.crf > choices.maxCrf) {
        throw UsageError("--crf" + of + " must lie between 0 and " + std::to_string(choices.maxCrf));
    }
    if (!o.preset.empty() &&
        std::find(choices.presets.begin(), choices.presets.end(), o.preset) == choices.presets.end()) {
        std::string names;
        for (const char* name : choices.presets) {
            names += (names.empty() ? "" : ", ") + std::string(name);
        }
        throw UsageError("--preset" + of + " must be one of " + names + ", not " + Quoted(o.preset));
    }
}

// The long name of an option that takes a value, and what its value does.
struct ValueOption {
    std::string name;
    Setter set;
};

// Options that take a value, by every name they answer to.
const std::map<std::string, ValueOption>& ValueOptions() {
    static const std::map<std::string, ValueOption> options = [] {
        std::map<std::string, Setter> m;
        std::map<std::string, std::string> shortNames;
        const auto both = [&m, &shortNames](const std::string& shortName, const std::string& longName,
                                            const Setter& s) {
            m[longName] = s;
            if (!shortName.empty()) {
                shortNames[shortName] = longName;
            }
        };
        both("-o", "--output", [](RenderOptions& o, const std::string& v) { o.output = v; });
        both("-t", "--texture", [](RenderOptions& o, const std::string& v) { o.texture = v; });
        both("", "--type", [](RenderOptions& o, const std::string& v) {
            o.type = ParseChoice<StereogramKind>("--type", v,
                                                 {{"textured", StereogramKind::Textured},
                                                  {"random-dot-textured", StereogramKind::RandomDotTextured},
                                                  {"random-dot", StereogramKind::RandomDot}});
        });
        both("-W", "--width", [](RenderOptions& o, const std::string& v) {
            o.width = static_cast<int>(ParseInteger("--width", v, 1, 6000));
        });
        both("-H", "--height", [](RenderOptions& o, const std::string& v) {
            o.height = static_cast<int>(ParseInteger("--height", v, 1, 4000));
        });
        both("", "--dpi", [](RenderOptions& o, const std::string& v) {
            o.dpi = static_cast<int>(ParseInteger("--dpi", v, 10, 6000));
        });
        both("", "--oversampling", [](RenderOptions& o, const std::string& v) {
            o.oversampling = static_cast<int>(ParseInteger("--oversampling", v, 1, 8));
        });
        both("", "--blur", [](RenderOptions& o, const std::string& v) {
            o.blur = ParseChoice<BlurLevel>("--blur", v,
                                            {{"none", BlurLevel::None},
                                             {"light", BlurLevel::Light},
                                             {"medium", BlurLevel::Medium},
                                             {"heavy", BlurLevel::Heavy}});
        });
        both("", "--dot-intensity", [](RenderOptions& o, const std::string& v) {
            o.dotIntensity = static_cast<int>(ParseInteger("--dot-intensity", v, 1, 99));
        });
        both("", "--dot-colors", [](RenderOptions& o, const std::string& v) {
            o.dotColors = ParseChoice<RandomDotColors>(
                "--dot-colors", v, {{"bw", RandomDotColors::BlackAndWhite}, {"rgb", RandomDotColors::Rgb}});
        });
        both("", "--distance",
             [](RenderOptions& o, const std::string& v) { o.distance = ParseInches("--distance", v); });
        both("", "--max-depth",
             [](RenderOptions& o, const std::string& v) { o.maxDepth = ParseInches("--max-depth", v); });
        both("", "--min-depth",
             [](RenderOptions& o, const std::string& v) { o.minDepth = ParseInches("--min-depth", v); });
        both("", "--texture-offset", [](RenderOptions& o, const std::string& v) {
            std::tie(o.textureOffsetX, o.textureOffsetY) = ParsePair("--texture-offset", v, 0);
        });
        both("", "--texture-step", [](RenderOptions& o, const std::string& v) {
            std::tie(o.textureStepX, o.textureStepY) = ParsePair("--texture-step", v, -1000000);
        });
        both("", "--seed", [](RenderOptions& o, const std::string& v) {
            o.seed = static_cast<std::uint32_t>(ParseInteger("--seed", v, 0, 4294967295LL));
        });
        both("", "--quality", [](RenderOptions& o, const std::string& v) {
            o.quality = static_cast<int>(ParseInteger("--quality", v, 1, 100));
        });
        both("", "--png-level", [](RenderOptions& o, const std::string& v) {
            o.png.level = static_cast<int>(ParseInteger("--png-level", v, 0, 9));
        });
        both("", "--fps", [](RenderOptions& o, const std::string& v) {
            o.fps = static_cast<int>(ParseInteger("--fps", v, 1, 1000));
            o.fpsGiven = true;
        });
        both("", "--audio", [](RenderOptions& o, const std::string& v) { o.audio = v; });
        both("", "--crf", [](RenderOptions& o, const std::string& v) {
            o.crf = static_cast<int>(ParseInteger("--crf", v, 0, 63));
        });
        both("", "--preset", [](RenderOptions& o, const std::string& v) { o.preset = v; });
        both("", "--depth-out",
             [](RenderOptions& o, const std::string& v) { o.depthOut = PictureName("--depth-out", v); });
        AddSceneOptions(m);
        AddAnimationOptions(m);
        std::map<std::string, ValueOption> named;
        for (const auto& [name, setter] : m) {
            named[name] = ValueOption{name, setter};
        }
        for (const auto& [shortName, longName] : shortNames) {
            named[shortName] = named[longName];
        }
        return named;
    }();
    return options;
}

void SetFlag(RenderOptions& o, const std::string& arg) {
    if (arg == "-h" || arg == "--help") {
        o.help = true;
    } else if (arg == "--version") {
        o.version = true;
    } else if (arg == "--converging") {
        o.converging = true;
    } else if (arg == "--no-stretch") {
        o.stretch = false;
    } else if (arg == "--guide-dots") {
        o.guideDots = true;
    } else if (arg == "--png-interlace") {
        o.png.interlace = true;
    } else {
        throw UsageError("unknown option " + arg + " (see --help)");
    }
}

}  // namespace

bool IsMovieFile(const std::string& output) {
    return MovieFileFormatFor(output) != MovieFileFormat::None;
}

RenderOptions ParseRenderOptions(const std::vector<std::string>& args) {
    RenderOptions o;
    std::set<std::string> given;
    bool onlyFiles = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (onlyFiles || arg.size() < 2 || arg[0] != '-') {
            o.depthMaps.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyFiles = true;
            continue;
        }
        std::string value;
        bool inlineValue = false;
        if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.resize(eq);
            inlineValue = true;
        }
        const auto& options = ValueOptions();
        const auto it = options.find(arg);
        if (it == options.end()) {
            if (inlineValue) {
                throw UsageError("option " + arg + " takes no value");
            }
            SetFlag(o, arg);
            continue;
        }
        if (!inlineValue) {
            if (i + 1 >= args.size()) {
                throw UsageError("option " + arg + " needs a value");
            }
            value = args[++i];
        }
        it->second.set(o, value);
        given.insert(it->second.name);
    }
    if (o.help || o.version) {
        return o;
    }
    if (o.output.empty()) {
        throw UsageError("no output file given: use -o OUT");
    }
    CheckDepthSource(o);
    CheckMovieOptions(o, given);
    CheckCompression(o, given);
    CheckAnimation(o, given);
    return o;
}

std::string OutputFileFor(const RenderOptions& options, std::size_t index, std::size_t count) {
    if (count == 1) {
        return options.output;
    }
    const auto marker = options.output.find("%n");
    if (marker != std::string::npos) {
        const std::string number = std::to_string(index + 1);
        const std::size_t width = std::to_string(count).size();
        std::string padded = std::string(width > number.size() ? width - number.size() : 0, '0') + number;
        std::string name = options.output;
        name.replace(marker, 2, padded);
        return name;
    }
    const std::filesystem::path depth(options.depthMaps[index]);
    return (std::filesystem::path(options.output) / depth.stem()).string() + ".png";
}

namespace {

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code ec;
    if (std::filesystem::exists(a, ec) && std::filesystem::exists(b, ec)) {
        const bool same = std::filesystem::equivalent(a, b, ec);
        if (!ec) {
            return same;
        }
    }
    const auto normal = [](const std::filesystem::path& p) {
        std::error_code absoluteError;
        const std::filesystem::path full = std::filesystem::absolute(p, absoluteError);
        return (absoluteError ? p : full).lexically_normal();
    };
    return normal(a) == normal(b);
}

std::vector<std::string> InputFiles(const RenderOptions& o) {
    std::vector<std::string> inputs = o.depthMaps;
    for (const std::string* file : {&o.texture, &o.audio, &o.scene.model}) {
        if (!file->empty()) {
            inputs.push_back(*file);
        }
    }
    return inputs;
}

}  // namespace

std::vector<std::string> OutputFiles(const RenderOptions& options) {
    std::vector<std::string> outputs;
    const std::size_t count = options.scene.Requested() ? 1 : options.depthMaps.size();
    if (IsMovieFile(options.output)) {
        outputs.push_back(options.output);
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            outputs.push_back(OutputFileFor(options, i, count));
        }
    }
    for (const std::string* side : {&options.depthOut, &options.scene.pictureOut}) {
        if (!side->empty()) {
            outputs.push_back(*side);
        }
    }
    return outputs;
}

void CheckOutputsApart(const RenderOptions& options) {
    const std::vector<std::string> outputs = OutputFiles(options);
    const std::vector<std::string> inputs = InputFiles(options);
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        for (const std::string& input : inputs) {
            if (SameFile(outputs[i], input)) {
                throw UsageError("output " + Quoted(outputs[i]) + " would overwrite the input " +
                                 Quoted(input));
            }
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (SameFile(outputs[i], outputs[j])) {
                throw UsageError("outputs " + Quoted(outputs[j]) + " and " + Quoted(outputs[i]) +
                                 " are the same file: one would overwrite the other");
            }
        }
    }
}

}  // namespace vistamaze::cli
