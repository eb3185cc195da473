#include "audio/music.h"

#include <strings.h>

#include <cstdio>
#include <cstring>
#include <mutex>

#include "audio/oggstream.h"
#include "audio/volume.h"
#include "core/paths.h"
#include "core/thread.h"

std::vector<MusicPlaylist*> MusicPlaylists;
MusicPlaylist* CurrentPlaylist = nullptr;
char CurrentMusicTrack[256] = "";
GainFade MusicFade;
void (*MusicEventSender)(uint32_t code) = nullptr;

namespace {

void (*eventObserver)(uint32_t) = nullptr;

void SendMusicEvent(uint32_t code) {
    if (eventObserver) eventObserver(code);
    if (MusicEventSender) MusicEventSender(code);
}

void SetMusicGain(float gain) {
    if (SoundSystemActive() && MusicStream.source) OpenAL.alSourcef(MusicStream.source, AL_GAIN, gain);
}

bool SameTrack(const char* a, const char* b) { return a[0] && strcasecmp(a, b) == 0; }

// A track name is a plain file name: it becomes "MUSICS/<name>.Ogg" and nothing else.
bool IsPlainTrackName(const char* name) {
    if (!name || !*name || std::strlen(name) >= sizeof CurrentMusicTrack) return false;
    if (std::strcmp(name, "..") == 0 || std::strcmp(name, ".") == 0) return false;
    return !std::strpbrk(name, "/\\:");
}

}  // namespace

void SetMusicEventObserver(void (*observer)(uint32_t code)) { eventObserver = observer; }

MusicPlaylist* CreateMusicPlaylist() {
    auto* playlist = new MusicPlaylist();
    MusicPlaylists.push_back(playlist);
    return playlist;
}

bool FindPlaylistTrack(const MusicPlaylist* playlist, const char* name) {
    if (!playlist || !name) return false;
    for (size_t i = playlist->tracks.size(); i-- > 0;) {
        if (strcasecmp(playlist->tracks[i].c_str(), name) == 0) return true;
    }
    return false;
}

bool AddPlaylistTrack(const char* name) {
    if (!CurrentPlaylist || !name) return false;
    if (std::strlen(name) >= sizeof CurrentMusicTrack) {
        std::fprintf(stderr, "audio: music track name too long: %.40s...\n", name);
        return false;
    }
    if (FindPlaylistTrack(CurrentPlaylist, name)) return false;
    CurrentPlaylist->tracks.emplace_back(name);
    return true;
}

void RemoveMusicPlaylist(int index) {
    if (index < 0 || index >= static_cast<int>(MusicPlaylists.size())) return;
    MusicPlaylist* playlist = MusicPlaylists[static_cast<size_t>(index)];
    if (playlist == CurrentPlaylist) CurrentPlaylist = nullptr;
    delete playlist;
    MusicPlaylists.erase(MusicPlaylists.begin() + index);
}

void ClearMusicPlaylist() {
    for (int i = static_cast<int>(MusicPlaylists.size()); i-- > 0;) RemoveMusicPlaylist(i);
    MusicPlaylists = {};
    CurrentPlaylist = nullptr;
}

uint32_t PlayMusic() {
    if (!CurrentPlaylist || CurrentPlaylist->tracks.empty()) return 0;
    const char* first = CurrentPlaylist->tracks.front().c_str();
    if (SameTrack(CurrentMusicTrack, first)) return 1;
    MusicFade.state = FadeNone;
    MusicFade.gain = MusicVolume;
    MusicFade.step = MusicVolume;
    SetMusicGain(MusicVolume);
    std::string track = first;  // the play-list may change under event handlers
    return PlayMusicTrack(track.c_str());
}

uint32_t PlayMusicTrack(const char* name) {
    if (!IsPlainTrackName(name)) {
        std::fprintf(stderr, "audio: not a plain music track name: %.64s\n", name ? name : "(null)");
        return 0;
    }
    char relative[300];
    int n = std::snprintf(relative, sizeof relative, "MUSICS/%s.Ogg", name);
    if (n < 0 || static_cast<size_t>(n) >= sizeof relative) return 0;
    std::snprintf(CurrentMusicTrack, sizeof CurrentMusicTrack, "%s", name);
    std::string path = DataPath(relative);
    StopMusic();
    if (!OpenMusicFile(path.c_str())) {
        CurrentMusicTrack[0] = 0;  // nothing plays
        return 0;
    }
    SendMusicEvent(MusicEventTrackStarted);
    return 1;
}

uint32_t PlayMusicWithFade(const char* name, uint32_t steps) {
    if (name && SameTrack(CurrentMusicTrack, name)) return 1;
    if (steps > 0) {
        MusicFade.gain = 0.0f;
        MusicFade.step = MusicVolume / static_cast<float>(steps);
        MusicFade.state = FadeIn;
        SetMusicGain(0.0f);
    } else {
        MusicFade.state = FadeNone;
        MusicFade.gain = MusicVolume;
        MusicFade.step = MusicVolume;
        SetMusicGain(MusicVolume);
    }
    return PlayMusicTrack(name);
}

void StopMusicWithFade(uint32_t steps) {
    CurrentMusicTrack[0] = 0;
    if (steps == 0) {
        MusicFade.state = FadeNone;
        MusicFade.gain = 0.0f;
        StopMusic();
        return;
    }
    MusicFade.gain = MusicVolume;
    MusicFade.step = MusicVolume / static_cast<float>(steps);
    MusicFade.state = FadeOutAndStop;
    SetMusicGain(MusicFade.gain);
}

void FadeMusicTo(uint32_t steps, float target) {
    // The setting itself changes: the target is what is saved and what later fades rise to.
    SetMusicGain(StartGainFade(MusicFade, MusicVolume, steps, target));
}

void UpdateMusicFade() {
    GainFade& f = MusicFade;
    if (f.state == FadeNone) return;
    if (StepGainFade(f, MusicVolume)) {
        CurrentMusicTrack[0] = 0;
        StopMusic();
        f.gain = 0.0f;
        f.state = FadeNone;
    }
    SetMusicGain(f.gain);
}

void StopMusic() {
    std::lock_guard<std::recursive_mutex> guard(MusicThread.Lock());
    MusicThread.idleCountdown = 10.0f;
    MusicThread.RemoveJob(MusicThread.oneShotJobs, &MusicThread.musicJob);
    StopMusicStream();
    // A stop or a new start supersedes an end the worker posted for the track before.
    MusicStream.trackEndedPosted = false;
}

void OnMusicEnded() {
    CurrentMusicTrack[0] = 0;
    SendMusicEvent(MusicEventTrackEnded);
    // A handler of the end event may have started a track of its own; that one stays.
    if (!CurrentMusicTrack[0]) PlayMusic();
}

void DispatchMusicEvents() {
    if (TakeMusicTrackEnded() && MusicEndCallback) MusicEndCallback();
}
