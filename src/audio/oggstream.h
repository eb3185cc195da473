// Ogg Vorbis music streaming on the worker thread.
#pragma once

void MusicStreamLoop();
