#include "ui/video.h"

void UpdateVideoFrame() {}
void CloseVideo() {}
