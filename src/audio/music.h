// Music: a pool of play-lists, the track that plays, its fades, and the music events.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/sound.h"

struct MusicPlaylist {
    char name[256] = {};
    std::vector<std::string> tracks;  // names of at most 255 characters, no duplicates ignoring case
};

extern std::vector<MusicPlaylist*> MusicPlaylists;
extern MusicPlaylist* CurrentPlaylist;  // null when the pool is empty or the current one was removed
extern char CurrentMusicTrack[256];     // empty when no track is known to play

extern GainFade MusicFade;  // states as the master sound fade's

// Music event codes raised on the game event object.
constexpr uint32_t MusicEventTrackStarted = 0;
constexpr uint32_t MusicEventTrackEnded = 1;

MusicPlaylist* CreateMusicPlaylist();
bool AddPlaylistTrack(const char* name);
bool FindPlaylistTrack(const MusicPlaylist* playlist, const char* name);
void ClearMusicPlaylist();
void RemoveMusicPlaylist(int index);

uint32_t PlayMusic();
uint32_t PlayMusicTrack(const char* name);
uint32_t PlayMusicWithFade(const char* name, uint32_t steps);
void StopMusicWithFade(uint32_t steps);
void FadeMusicTo(uint32_t steps, float target);
// One fade step; the frame calls it every 0.1 s.
void UpdateMusicFade();
void StopMusic();
// A track ended by itself: event 1, then the current play-list starts again (main thread).
void OnMusicEnded();

// Runs, on the main thread, what the music worker posted since the last call: a track that
// ended by itself calls the end-of-track callback (OnMusicEnded). The frame calls it every frame.
void DispatchMusicEvents();

// Sends a music event (0 a track started, 1 a track ended) to the game event object; the game
// installs it at start-up. Null sends nothing.
extern void (*MusicEventSender)(uint32_t code);

// Sees every music event sent to the game event object (tests; null for none).
void SetMusicEventObserver(void (*observer)(uint32_t code));
