#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "audio/music.h"
#include "audio/oggstream.h"
#include "audio/openal.h"
#include "audio/volume.h"
#include "audio_fixture.h"
#include "datakit/ogg.h"
#include "datakit/wav.h"

namespace {

class Playlists : public ::testing::Test {
protected:
    void SetUp() override { CurrentPlaylist = CreateMusicPlaylist(); }
    void TearDown() override { ClearMusicPlaylist(); }
};

TEST_F(Playlists, DuplicatesIgnoringCaseAreNotAdded) {
    EXPECT_TRUE(AddPlaylistTrack("Theme"));
    EXPECT_TRUE(AddPlaylistTrack("Calm"));
    EXPECT_FALSE(AddPlaylistTrack("THEME"));
    EXPECT_FALSE(AddPlaylistTrack("calm"));
    EXPECT_TRUE(AddPlaylistTrack("Theme2"));
    EXPECT_EQ(CurrentPlaylist->tracks, (std::vector<std::string>{"Theme", "Calm", "Theme2"}));
    EXPECT_TRUE(FindPlaylistTrack(CurrentPlaylist, "tHeMe2"));
    EXPECT_FALSE(FindPlaylistTrack(CurrentPlaylist, "Them"));
    EXPECT_FALSE(AddPlaylistTrack(std::string(256, 'x').c_str())) << "names are at most 255 characters";
}

TEST_F(Playlists, RemovingTheCurrentListLeavesNoCurrentList) {
    MusicPlaylist* second = CreateMusicPlaylist();
    RemoveMusicPlaylist(7);
    RemoveMusicPlaylist(-1);
    EXPECT_EQ(MusicPlaylists.size(), 2u);
    RemoveMusicPlaylist(0);
    EXPECT_EQ(CurrentPlaylist, nullptr);
    EXPECT_EQ(MusicPlaylists, std::vector<MusicPlaylist*>{second});
    EXPECT_FALSE(AddPlaylistTrack("Theme"));
    EXPECT_EQ(PlayMusic(), 0u);
    CurrentPlaylist = second;
    ClearMusicPlaylist();
    EXPECT_EQ(CurrentPlaylist, nullptr);
    EXPECT_TRUE(MusicPlaylists.empty());
}

TEST_F(Playlists, TrackNamesMustBePlain) {
    for (const char* bad : {"../Theme", "a/b", "a\\b", "..", "", "C:x"}) {
        EXPECT_EQ(PlayMusicTrack(bad), 0u) << bad;
        EXPECT_STREQ(CurrentMusicTrack, "") << bad;
    }
    EXPECT_EQ(PlayMusicTrack(nullptr), 0u);
    EXPECT_EQ(PlayMusicTrack("NoSuchTrack"), 0u) << "a track that does not open";
    EXPECT_STREQ(CurrentMusicTrack, "") << "nothing plays after a failed open";
}

class MusicFades : public ::testing::Test {
protected:
    void SetUp() override {
        MusicVolume = 1.0f;
        MusicFade = {};
        CurrentMusicTrack[0] = 0;
    }
    void TearDown() override { MusicVolume = 1.0f; }
    int TicksUntilSettled() {
        int ticks = 0;
        while (MusicFade.state != FadeNone && ticks < 1000) {
            ++ticks;
            UpdateMusicFade();
        }
        return ticks;
    }
};

TEST_F(MusicFades, FadeToCountsTicksAndChangesTheSetting) {
    struct Case {
        float from;
        uint32_t steps;
        float target;
        int ticks;
    };
    const Case cases[] = {{1.0f, 10, 0.4f, 10}, {0.2f, 5, 0.9f, 5}, {0.6f, 0, 0.1f, 0}, {0.6f, 7, 0.6f, 0}};
    for (const Case& c : cases) {
        MusicVolume = c.from;
        MusicFade = {};
        FadeMusicTo(c.steps, c.target);
        EXPECT_EQ(MusicVolume, c.target);
        EXPECT_EQ(TicksUntilSettled(), c.ticks) << c.from << " -> " << c.target;
        if (c.ticks) {
            EXPECT_EQ(MusicFade.gain, c.target);
        }
    }
}

TEST_F(MusicFades, FadeInEndsExactlyAtTheVolume) {
    MusicVolume = 0.7f;
    MusicFade = {0.0f, 0.7f / 3, FadeIn};
    EXPECT_EQ(TicksUntilSettled(), 3);
    EXPECT_EQ(MusicFade.gain, 0.7f);
}

TEST_F(MusicFades, StopWithFadeReachesSilenceAfterItsSteps) {
    std::strcpy(CurrentMusicTrack, "Theme");
    StopMusicWithFade(10);
    EXPECT_STREQ(CurrentMusicTrack, "");
    EXPECT_EQ(MusicFade.state, uint32_t{FadeOutAndStop});
    EXPECT_EQ(TicksUntilSettled(), 10);
    EXPECT_EQ(MusicFade.gain, 0.0f);

    std::strcpy(CurrentMusicTrack, "Theme");
    StopMusicWithFade(0);
    EXPECT_EQ(MusicFade.state, uint32_t{FadeNone});
    EXPECT_EQ(MusicFade.gain, 0.0f);
    EXPECT_STREQ(CurrentMusicTrack, "");
}

TEST_F(MusicFades, PlayingTheTrackThatPlaysChangesNothing) {
    std::strcpy(CurrentMusicTrack, "Theme");
    MusicFade = {0.5f, 0.1f, FadeFall};
    EXPECT_EQ(PlayMusicWithFade("tHEME", 10), 1u);
    EXPECT_EQ(MusicFade.state, uint32_t{FadeFall});
    EXPECT_EQ(MusicFade.gain, 0.5f);
}

TEST(MusicStreamMath, ChunkIsAQuarterSecondOfWholeFrames) {
    struct Case {
        int channels;
        long rate;
        uint32_t bytes;
    };
    const Case cases[] = {{2, 44100, 44100}, {1, 22050, 11024}, {1, 44100, 22050 - 0}, {2, 22050, 22048},
                          {4, 44100, 88200}, {6, 48000, 144000}, {6, 44100, 132300},  {6, 22050, 66144},
                          {3, 44100, 0},     {8, 44100, 0},      {2, 0, 0},           {2, 100000000, 0}};
    for (const Case& c : cases) {
        uint32_t bytes = MusicChunkBytes(c.channels, c.rate);
        EXPECT_EQ(bytes, c.bytes) << c.channels << " channels at " << c.rate;
        if (bytes) {
            EXPECT_EQ(bytes % (2u * static_cast<uint32_t>(c.channels)), 0u);
        }
    }
}

TEST(MusicStreamMath, FivePointOneComesOutInOpenALOrder) {
    // Vorbis order FL, C, FR, RL, RR, LFE, numbered per frame.
    std::vector<int16_t> s = {10, 11, 12, 13, 14, 15, 20, 21, 22, 23, 24, 25};
    ReorderVorbis51(s.data(), 2);
    // OpenAL order FL, FR, C, LFE, RL, RR.
    EXPECT_EQ(s, (std::vector<int16_t>{10, 12, 11, 15, 13, 14, 20, 22, 21, 25, 23, 24}));
}

}  // namespace

namespace {

// The datakit writer checked by an independent reader.
TEST(OggWriter, WritesFilesOtherDecodersRead) {
    audiotest::DataFolder folder;
    const std::pair<int, long> cases[] = {{1, 22050}, {2, 44100}, {6, 22050}};
    for (const auto& [channels, rate] : cases) {
        std::string path = (folder.Datas() / "t.ogg").string();
        ASSERT_TRUE(datakit::WriteOggVorbis(path, datakit::SineTone(static_cast<uint32_t>(rate),
                                                                    static_cast<uint16_t>(channels), 0.75, 440),
                                            channels, rate));
        auto soxi = [&path](const char* option) {
            FILE* p = popen(("soxi " + std::string(option) + " '" + path + "' 2>&1").c_str(), "r");
            char line[128] = {};
            long value = -1;
            if (p && std::fgets(line, sizeof line, p)) std::sscanf(line, "%ld", &value);
            if (p) pclose(p);
            return value;
        };
        long gotChannels = soxi("-c"), gotRate = soxi("-r"), frames = soxi("-s");
        EXPECT_EQ(gotChannels, channels);
        EXPECT_EQ(gotRate, rate);
        EXPECT_EQ(frames, static_cast<long>(0.75 * rate));
    }
}

}  // namespace
