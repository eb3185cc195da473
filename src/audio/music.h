// Music play-lists and fades.
#pragma once

#include <cstdint>

struct MusicPlaylist {
    char name[256];
    uint32_t trackCount;
    char (*tracks)[256];
};

extern MusicPlaylist* CurrentMusicPlaylist;
extern float MusicFadeGain;
extern uint32_t MusicFadeState;
extern void (*MusicEndedCallback)();

MusicPlaylist* CreateMusicPlaylist();
void ClearMusicPlaylist();
void StopMusic();
void UpdateMusicFade();
void OnMusicEnded();
