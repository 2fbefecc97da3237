#include "cli/UsageText.h"

namespace vistamaze::cli {

std::string UsageText() {
    return R"(Usage: vistamaze-render DEPTH... -o OUT [options]
       vistamaze-render --model FILE -o OUT [options]
       vistamaze-render --text STRING -o OUT [options]
       vistamaze-render (--model FILE | --text STRING) --frames N -o MOVIE [options]
       vistamaze-render VIDEO -o MOVIE [options]

Turns depth maps (grey pictures, white = near) into single-image stereograms.
With one depth map OUT is the picture to write; its extension (.png, .jpg, .jpeg, .bmp,
.tga) chooses the format. With several, OUT is a folder (each stereogram is written there as
<depth map name>.png) or a name with %n, which becomes the depth map's number; an OUT ending
in .avi, .mp4 or .webm makes a movie with one frame per depth map.
A depth video (.mp4, .mkv, .webm, .mov or .avi; grey or colour, at most 6000 x 4000 pixels)
given as the one depth map makes a movie with one frame per video frame, at the video's rate
and with its sound unless --fps or --audio say otherwise; a picture OUT is refused for it.
With --model or --text the depth map is captured from a 3D scene drawn off screen (no display
needed): the model framed as the desktop program frames a loaded model, or extruded text.
With --frames the scene becomes a stereogram movie: frame by frame the model turns, the camera
zooms and moves and the texture shifts, as in the desktop program's animation.
A movie's extension chooses its kind: .avi uncompressed (every pixel as rendered, but about
6 MB a frame at 1920 x 1080), .mp4 H.264 with AAC sound, .webm VP9 with Opus sound (slower to
make). Both compressed kinds play in browsers and on phones, and keep the depth.
Ctrl+C (SIGINT), SIGTERM or SIGHUP stops a movie before its next frame: it keeps the frames
written, and the exit status is 128 + the signal (130 for Ctrl+C). A second one stops at once
and leaves OUT as it was. A movie stopped or failed before its first frame writes nothing.
Pictures stop at once; a picture being written is never left half-written.

Options:
  -o, --output OUT          where the stereogram goes
  -t, --texture FILE        texture picture (default: the built-in texture)
      --type KIND           textured | random-dot-textured | random-dot (default textured)
  -W, --width N             width in pixels, 1..6000 (default 1000)
  -H, --height N            height in pixels, 1..4000 (default 760)
      --dpi N               pixels per inch (default 72)
      --oversampling N      1..8 samples per pixel (default 4; random-dot uses 1)
      --blur LEVEL          none | light | medium | heavy (default none)
      --dot-intensity N     1..99, share of black random dots (default 50)
      --dot-colors C        bw | rgb (default bw)
      --converging          for viewing with crossed eyes
      --distance INCHES     viewing distance (default 14)
      --max-depth INCHES    far plane behind the picture (default 14)
      --min-depth INCHES    near plane behind the picture (default 8)
      --no-stretch          do not scale the texture to the pattern width
      --guide-dots          two dots near the top that fuse into three when the eyes are
                            set for the far plane (in every picture and movie frame)
      --texture-offset X,Y  texture offset in texture pixels (default 0,0)
      --texture-step X,Y    texture offset added per movie frame or per picture of
                            several (default 0,0; for a scene movie 0,15, and there it
                            may be negative)
      --seed N              fixed random seed, for repeatable random dots and blur
      --quality N           JPEG quality 1..100 (default 95)
      --png-level N         PNG compression level 0..9 (default 1)
      --png-interlace       write interlaced (Adam7) PNG files
      --fps N               frames per second of a movie (default 25, or a depth video's
                            own rate; movies only)
      --audio FILE.wav      sound track of a movie (a regular WAV file; movies only; in
                            place of a depth video's own sound)
      --crf N               constant quality of an .mp4 (0..51, default 18) or a .webm
                            (0..63, default 26): lower is better and larger
      --preset NAME         encoder speed of an .mp4: ultrafast, superfast, veryfast
                            (default), faster, fast, medium, slow, slower, veryslow (slower
                            ones take much longer for files a little smaller); of a .webm:
                            realtime (default) or good (smaller, several times slower)
      --depth-out FILE      also write the depth map the stereogram was made from: the
                            captured one at the view's size, or a depth map file fitted to
                            the stereogram (one depth map only)
  -h, --help                show this text
      --version             show the version

3D scene (one picture, or a movie with --frames):
      --model FILE          3D model, read by its extension (3ds, obj, stl, ply, md2, ...)
      --text STRING         extruded 3D text instead of a model ("" draws nothing)
      --font FAMILY         font family of the text, bold (default Arial)
      --view WxH            size of the view the depth is captured from (default 1600x1200)
      --rotate X,Y,Z        degrees to turn the model or text about the scene's X, Y and Z
                            axes, in that order (default 0,0,0)
      --depth-min N         moves the white (near) end of the grey scale, -500..500 (default 0)
      --depth-max N         moves the dark (far) end of the grey scale, -500..500 (default 0)
      --depth-space N       spreads or narrows the grey scale, -500..500 (default 0)
      --picture-out FILE    also write the colour picture of the scene
      --background RRGGBB   its background colour in hexadecimal (default 004080)

Scene movie (the desktop program's animation options; with --frames the size defaults to
1920x1080, --fps stays 25, textured with oversampling 4):
      --frames N            number of frames, 0..1000000 (120 at 25 fps make 4.8 s)
      --rotate-step X,Y,Z   whole degrees turned per frame about the scene's axes (default 0,3,0)
      --zoom-step P         percent the focal length grows per frame, -99..1000 (default 0;
                            with 0 the grey scale of the first capture is kept for every frame)
      --move-step X,Y       Move-slider units per frame, 20 to a scene unit (default 0,0)
      --texture-scale-step S  percentage points added to the texture scale per frame, from
                            100 (default 0; above 100 the texture stays as it is)
)";
}

}  // namespace vistamaze::cli
