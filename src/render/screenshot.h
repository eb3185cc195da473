// Screenshots: the current frame written as a TGA file.
#pragma once

// Writes the current frame as a TGA under path, or under the next free numbered name when path
// exists (Shot000.tga, Shot001.tga, ...). Returns 1.
int MakeScreenshotName(const char* path, int width, int height);
