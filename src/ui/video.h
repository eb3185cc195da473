// Video playback.
#pragma once

void UpdateVideoFrame();
void CloseVideo();
