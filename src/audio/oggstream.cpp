#include "audio/oggstream.h"

void MusicStreamLoop() {}
