// Movies in and out: real clips made by ffmpeg, the program's movies read back with ffprobe and ffmpeg.
// Timing, length and sound come out as they went in; frames encoded losslessly (FFV1) equal the stills the
// program renders of the same source frames at their own times.
#include "CliTestSupport.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>

namespace {

class Video : public CliTest {
protected:
    // ffmpeg with `args`, quietly, in the test's folder.
    void Ffmpeg(const std::string& args)
    {
        const CliRun run = RunShell("ffmpeg -nostdin -hide_banner -loglevel error -y " + args, folder);
        ASSERT_EQ(run.status, 0) << "ffmpeg " << args << "\n" << run.err;
    }

    // "key=value" lines of ffprobe for one stream ("v:0", "a:0"), its frames counted, and the container's
    // start and duration as "format.start_time", "format.duration".
    std::map<std::string, std::string> Probe(const std::string& file, const std::string& stream)
    {
        const CliRun run = RunShell("ffprobe -v error -count_frames -count_packets -select_streams " + stream +
                                        " -show_entries stream=codec_name,profile,pix_fmt,width,height,r_frame_rate,"
                                        "avg_frame_rate,sample_rate,channels,start_time,duration,nb_read_frames,"
                                        "nb_read_packets:format=start_time,duration -of flat " + file,
                                    folder);
        EXPECT_EQ(run.status, 0) << run.err;
        std::map<std::string, std::string> values;
        std::istringstream lines(run.out);
        std::string line;
        while (std::getline(lines, line)) {
            const std::size_t equals = line.find('=');
            std::string key = line.substr(0, equals);
            std::string value = line.substr(equals + 1);
            if (value.size() >= 2 && value.front() == '"') {
                value = value.substr(1, value.size() - 2);
            }
            const std::size_t field = key.rfind('.');
            values[(key.rfind("format.", 0) == 0 ? "format." : "") + key.substr(field + 1)] = value;
        }
        return values;
    }

    // The presentation times of a stream's packets, in order.
    std::vector<long> PacketTimes(const std::string& file, const std::string& stream)
    {
        const CliRun run = RunShell("ffprobe -v error -select_streams " + stream +
                                        " -show_entries packet=pts -of csv=p=0 " + file,
                                    folder);
        EXPECT_EQ(run.status, 0) << run.err;
        std::vector<long> times;
        std::istringstream lines(run.out);
        for (std::string line; std::getline(lines, line);) {
            times.push_back(std::stol(line));
        }
        std::sort(times.begin(), times.end());
        return times;
    }

    // An MD5 of every audio packet as stored: equal only for streams copied unchanged.
    std::string AudioPackets(const std::string& file)
    {
        const CliRun run = RunShell("ffmpeg -nostdin -v error -i " + file + " -map 0:a -c copy -f hash -hash md5 -", folder);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("MD5="), std::string::npos) << run.out;
        return run.out;
    }

    // Decoded frames, one MD5 each, of the video stream.
    std::vector<std::string> FrameHashes(const std::string& file)
    {
        const CliRun run = RunShell("ffmpeg -nostdin -v error -i " + file + " -map 0:v -f framemd5 -", folder);
        EXPECT_EQ(run.status, 0) << run.err;
        std::vector<std::string> hashes;
        std::istringstream lines(run.out);
        for (std::string line; std::getline(lines, line);) {
            if (!line.empty() && line[0] != '#') {
                hashes.push_back(line.substr(line.rfind(',') + 1));
            }
        }
        return hashes;
    }

    // Frame `n` of a movie as an image file, decoded by ffmpeg (rgb24 or rgb48be: exact from FFV1's RGB).
    void ExtractFrame(const std::string& movie, int n, const std::string& image, const char* pixel_format)
    {
        Ffmpeg("-i " + movie + " -vf \"select=eq(n\\," + std::to_string(n) + ")\" -frames:v 1 -pix_fmt " +
               pixel_format + " " + image);
    }

    // The movie's frame `n` through FFV1 equals the still the program renders of the source at `seconds`.
    void ExpectLosslessFrameIsTheStill(const std::string& source, int n, double seconds, bool deep)
    {
        const std::string lossless = "lossless-" + std::to_string(n) + ".mkv";
        const CliRun movie = Run({"render", source, "-o", lossless, "--codec", "ffv1", "-q"});
        ASSERT_EQ(movie.status, 0) << movie.err;
        char time[32];
        std::snprintf(time, sizeof(time), "%.17g", seconds);
        const CliRun still = Run({"render", source, "-o", "still.png", "--time", time, "-q"});
        ASSERT_EQ(still.status, 0) << still.err;
        ExtractFrame(lossless, n, "decoded.png", deep ? "rgb48be" : "rgb24");
        const FilePixels expected = ReadPixels(At("still.png"));
        const FilePixels actual = ReadPixels(At("decoded.png"));
        EXPECT_EQ(expected.type, deep ? OIIO::TypeDesc::UINT16 : OIIO::TypeDesc::UINT8);
        ASSERT_EQ(actual.rgba.size(), expected.rgba.size());
        for (std::size_t i = 0; i < expected.rgba.size(); ++i) {
            if (actual.rgba[i] != expected.rgba[i]) {
                FAIL() << "frame " << n << " pixel " << i / 4 % expected.width << ", " << i / 4 / expected.width
                       << " channel " << i % 4 << ": movie " << actual.rgba[i] << ", still " << expected.rgba[i];
            }
        }
    }

    void ExpectSameTiming(const std::string& in, const std::string& out)
    {
        const auto a = Probe(in, "v:0");
        const auto b = Probe(out, "v:0");
        for (const char* key : {"width", "height", "r_frame_rate", "avg_frame_rate", "nb_read_frames", "start_time",
                                "format.start_time", "format.duration"}) {
            EXPECT_EQ(b.at(key), a.at(key)) << key;
        }
        EXPECT_EQ(PacketTimes(out, "v:0"), PacketTimes(in, "v:0"));
        const auto sound_in = Probe(in, "a:0");
        const auto sound_out = Probe(out, "a:0");
        for (const char* key : {"codec_name", "sample_rate", "channels", "nb_read_packets", "start_time"}) {
            EXPECT_EQ(sound_out.at(key), sound_in.at(key)) << key;
        }
        EXPECT_EQ(AudioPackets(out), AudioPackets(in));
    }
};

// Clips of a few frames: small enough to keep the suite fast, long enough for B-frames and gaps.
const char* H264_CLIP = "-f lavfi -i testsrc=size=96x54:rate=24 -f lavfi -i sine=frequency=440:sample_rate=48000 "
                        "-t 0.5 -pix_fmt yuv420p -c:v libx264 -c:a aac clip.mp4";

}   // namespace

// H.264 in MP4 with AAC: the warped movie has the clip's size, rate, frame count, duration and sound.
TEST_F(Video, Mp4WithAudioKeepsItsTimingAndSound)
{
    Ffmpeg(H264_CLIP);
    const CliRun run = Run({"render", "clip.mp4", "-o", "warped.mp4"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("wrote warped.mp4 (96 x 54, 12 frames, 24 fps, H.264 yuv420p MP4, 1 audio stream copied)"),
              std::string::npos)
        << run.err;
    const auto video = Probe("warped.mp4", "v:0");
    EXPECT_EQ(video.at("codec_name"), "h264");
    EXPECT_EQ(video.at("pix_fmt"), "yuv420p");
    EXPECT_EQ(video.at("r_frame_rate"), "24/1");
    EXPECT_EQ(video.at("nb_read_frames"), "12");
    ExpectSameTiming("clip.mp4", "warped.mp4");
    // Warped: no frame is the clip's.
    const std::vector<std::string> before = FrameHashes("clip.mp4");
    const std::vector<std::string> after = FrameHashes("warped.mp4");
    ASSERT_EQ(after.size(), 12u);
    for (std::size_t i = 0; i < after.size(); ++i) {
        EXPECT_NE(after[i], before[i]) << "frame " << i;
    }
    EXPECT_TRUE(FilesContaining(folder, ".part-").empty());

    // A movie in, one image out: the frame on screen at --time.
    const CliRun still = Run({"render", "clip.mp4", "-o", "frame.png", "--time", "0.25"});
    ASSERT_EQ(still.status, 0) << still.err;
    EXPECT_EQ(ReadPixels(At("frame.png")).width, 96);
    ExpectLosslessFrameIsTheStill("clip.mp4", 5, 5.0 / 24.0, false);
}

// A 10-bit ProRes master stays a 10-bit ProRes master, warped in 16-bit worlds.
TEST_F(Video, TenBitProResIsWarpedAtSixteenBits)
{
    Ffmpeg("-f lavfi -i testsrc2=size=64x36:rate=25 -f lavfi -i sine=frequency=300:sample_rate=48000 -t 0.32 "
           "-c:v prores_ks -profile:v 3 -pix_fmt yuv422p10le -c:a pcm_s16le master.mov");
    const CliRun run = Run({"render", "master.mov", "-o", "warped.mov", "--preset", "Silk"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto video = Probe("warped.mov", "v:0");
    EXPECT_EQ(video.at("codec_name"), "prores");
    EXPECT_EQ(video.at("profile"), "HQ");
    EXPECT_EQ(video.at("pix_fmt"), "yuv422p10le");
    EXPECT_EQ(video.at("nb_read_frames"), "8");
    EXPECT_EQ(video.at("r_frame_rate"), "25/1");
    ExpectSameTiming("master.mov", "warped.mov");
    ExpectLosslessFrameIsTheStill("master.mov", 3, 3.0 / 25.0, true);
}

// Frames at irregular times, the first half a second in: each warped at its own time counted from the first
// frame, and every time kept.
TEST_F(Video, VariableFrameRateAndLateStartAnimateAsTheyPlay)
{
    // 40 ms apart, with gaps of 100 ms after frame 5 and 20 ms after frame 8.
    Ffmpeg("-f lavfi -i testsrc=size=96x54:rate=25 -f lavfi -i sine=sample_rate=44100 -t 0.5 "
           "-vf \"setpts=(N*0.04+gte(N\\,6)*0.1+gte(N\\,9)*0.02)/TB\" -fps_mode vfr -pix_fmt yuv420p -c:v libx264 "
           "-c:a aac -output_ts_offset 0.5 clip.mkv");
    const std::vector<long> times = PacketTimes("clip.mkv", "v:0");
    ASSERT_EQ(times.size(), 10u);
    ASSERT_EQ(times.front(), 500);              // milliseconds
    ASSERT_EQ(times[6] - times[5], 120);
    const CliRun run = Run({"render", "clip.mkv", "-o", "warped.mkv"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("variable frame rate"), std::string::npos) << run.err;
    ExpectSameTiming("clip.mkv", "warped.mkv");
    ExpectLosslessFrameIsTheStill("clip.mkv", 6, (times[6] - times[0]) / 1000.0, false);
}

// A movie into an image sequence and back: a .mov gives every frame its own picture, a sequence becomes a
// movie at the rate given, 30000/1001 included.
TEST_F(Video, MovieToSequenceAndSequenceToMovie)
{
    Ffmpeg(H264_CLIP);
    Ffmpeg("-i clip.mp4 -c copy clip.mov");
    fs::create_directories(At("frames"));
    const CliRun out = Run({"render", "clip.mov", "-o", "frames/f.#.png", "--frames", "2-4", "--set", "Mix=0"});
    ASSERT_EQ(out.status, 0) << out.err;
    EXPECT_EQ(FilesContaining(At("frames"), ".png").size(), 3u);
    const FilePixels two = ReadPixels(At("frames/f.0002.png"));
    const FilePixels three = ReadPixels(At("frames/f.0003.png"));
    const FilePixels four = ReadPixels(At("frames/f.0004.png"));
    EXPECT_NE(two.rgba, three.rgba);
    EXPECT_NE(three.rgba, four.rgba);
    char time[32];
    std::snprintf(time, sizeof(time), "%.17g", 3.0 / 24.0);
    ASSERT_EQ(Run({"render", "clip.mov", "-o", "three.png", "--time", time, "--set", "Mix=0"}).status, 0);
    EXPECT_EQ(ReadPixels(At("three.png")).rgba, three.rgba);

    const CliRun no_rate = Run({"render", "frames/f.#.png", "-o", "back.mkv", "--frames", "2-4"});
    EXPECT_NE(no_rate.status, 0);
    EXPECT_NE(no_rate.err.find("give --fps"), std::string::npos) << no_rate.err;
    const CliRun back = Run({"render", "frames/f.#.png", "-o", "back.mkv", "--frames", "2-4", "--fps", "30000/1001",
                             "--codec", "ffv1", "--set", "Mix=0"});
    ASSERT_EQ(back.status, 0) << back.err;
    const auto video = Probe("back.mkv", "v:0");
    EXPECT_EQ(video.at("r_frame_rate"), "30000/1001");
    EXPECT_EQ(video.at("nb_read_frames"), "3");
    ExtractFrame("back.mkv", 1, "back1.png", "rgb24");
    EXPECT_EQ(ReadPixels(At("back1.png")).rgba, three.rgba);
}

// --frames of a movie: a shorter movie whose frames are the whole render's, sound cut to their span.
TEST_F(Video, FramesOfAMovieMakeAShorterMovie)
{
    Ffmpeg(H264_CLIP);
    ASSERT_EQ(Run({"render", "clip.mp4", "-o", "whole.mkv", "--codec", "ffv1", "-q"}).status, 0);
    const CliRun run = Run({"render", "clip.mp4", "-o", "part.mkv", "--codec", "ffv1", "--frames", "4-7", "-q"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> whole = FrameHashes("whole.mkv");
    const std::vector<std::string> part = FrameHashes("part.mkv");
    ASSERT_EQ(whole.size(), 12u);
    EXPECT_EQ(part, std::vector<std::string>(whole.begin() + 4, whole.begin() + 8));
    const double duration = std::stod(Probe("part.mkv", "a:0").at("format.duration"));
    EXPECT_GT(duration, 4.0 / 24.0 - 0.03);
    EXPECT_LT(duration, 4.0 / 24.0 + 0.03);
}

// Requests a movie cannot meet get one line, and no file.
TEST_F(Video, BadMovieRequests)
{
    Ffmpeg(H264_CLIP);
    std::ofstream(At("subs.srt")) << "1\n00:00:00,000 --> 00:00:00,400\nhello\n";
    Ffmpeg("-i clip.mp4 -i subs.srt -map 0 -map 1 -c copy -c:s srt subtitled.mkv");
    WritePixels(At("in.png"), 32, 18, OIIO::TypeDesc::UINT8, PatternValues(32, 18, 255.0));
    const std::string whole = FileText(At("clip.mp4"));
    std::ofstream(At("cut.mp4"), std::ios::binary) << whole.substr(0, whole.size() / 2);

    const std::vector<BadCase> cases = {
        {"a rate for a movie", {"render", "clip.mp4", "-o", "out.mp4", "--fps", "30"}, "leave out --fps", "out.mp4"},
        {"images without a rate", {"render", "in.png", "-o", "out.mp4", "--frames", "0-3"}, "give --fps", "out.mp4"},
        {"images without frames", {"render", "in.png", "-o", "out.mp4", "--fps", "24"}, "give --frames", "out.mp4"},
        {"unknown codec", {"render", "clip.mp4", "-o", "out.mkv", "--codec", "nonesuch"}, "no such video encoder",
         "out.mkv"},
        {"codec the container cannot hold", {"render", "clip.mp4", "-o", "out.mp4", "--codec", "prores"},
         "(ProRes) cannot go into a .mp4 file", "out.mp4"},
        {"stream the container cannot hold", {"render", "subtitled.mkv", "-o", "out.mp4"},
         "the subtitle stream 2 of subtitled.mkv (SUBRIP) cannot go into a .mp4 file", "out.mp4"},
        {"quality for a lossless codec", {"render", "clip.mp4", "-o", "out.mkv", "--codec", "ffv1", "--crf", "20"},
         "--crf sets the quality of H.264", "out.mkv"},
        {"frames past the end", {"render", "clip.mp4", "-o", "out.#.png", "--frames", "10-20"},
         "clip.mp4 has 12 frames, 0 to 11", "out.0010.png"},
        {"a movie split in pieces", {"render", "clip.mp4", "-o", "out.mp4", "--chunk", "1/2"}, "--chunk splits",
         "out.mp4"},
        {"a movie as the map", {"render", "clip.mp4", "-o", "out.mp4", "--map", "clip.mp4"}, "is a movie", "out.mp4"},
        {"a truncated movie", {"render", "cut.mp4", "-o", "out.mp4"}, "cannot read cut.mp4", "out.mp4"},
        {"a movie for the sheet", {"sheet", "clip.mp4", "-o", "sheet.png"}, "clip.mp4 is a movie, not an image",
         "sheet.png"},
    };
    ExpectEachRefused(cases);
}

// Ctrl-C while a movie renders: exit 130, and no movie, not even a partial one.
TEST_F(Video, CtrlCLeavesNoMovie)
{
    Ffmpeg("-f lavfi -i testsrc=size=256x144:rate=24 -t 4 -pix_fmt yuv420p -c:v libx264 long.mp4");
    const pid_t pid = StartCli({"render", "long.mp4", "-o", "warped.mp4", "--set", "Waves=32", "--set", "Iterations=4",
                                "--set", "Antialiasing=Best"},
                               folder);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(300);
    while (FileText(At("run.err")).find("frame 1/96") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(kill(pid, SIGINT), 0);
    const CliRun run = FinishCli(pid, folder);
    EXPECT_EQ(run.status, 130) << run.err;
    EXPECT_NE(run.err.find("nothing written (warped.mp4 appears only when complete)"), std::string::npos) << run.err;
    EXPECT_FALSE(Exists("warped.mp4"));
    EXPECT_TRUE(FilesContaining(folder, ".part-").empty());
}
