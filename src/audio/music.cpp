#include "audio/music.h"

MusicPlaylist* CurrentMusicPlaylist = nullptr;
float MusicFadeGain = 0.0f;
uint32_t MusicFadeState = 0;
void (*MusicEndedCallback)() = nullptr;

MusicPlaylist* CreateMusicPlaylist() { return nullptr; }
void ClearMusicPlaylist() {}
void StopMusic() {}
void UpdateMusicFade() {}
void OnMusicEnded() {}
