// Projection, camera matrix, 2-D base matrices, viewport, cinema letterbox and scissor, fog with
// smooth transitions, the immediate-mode primitive switch, projection of world points to the
// screen and reading the frame back. All of it works on the render state, on the main thread.
//
// Screen and 2-D positions are pixels from the top-left corner, y downwards. The 2-D matrices put
// the pixel plane at eye depth focalLength, so one unit there is one pixel. The field of view is
// stated for a 1024-pixel-wide viewport: focalLength = 114.59152 / (fieldOfView x 1024 / width).
#pragma once

#include <cstdint>

#include "render/renderstate.h"

// Camera position as last applied, read by the shading code.
extern float CameraPositionCopy[3];

// Rebuilds the projection: an orthographic factor for the aspect times a square frustum, so that
// an eye-space point at distance d lands focalLength x x / d pixels from the viewport centre.
// There is no far clipping plane. Leaves the model-view matrix mode selected.
void SetProjection(NztRenderState& rs);
// Camera matrix identity, base-view and text matrices at -focalLength, camera id and position 0.
void ResetCamera(NztRenderState& rs);
// rotation: 3x3, row after row, copied into the upper 3x3 of cameraMatrix (elements 0-2, 4-6,
// 8-10); then ApplyCameraMatrix.
void LoadCameraMatrix(const float rotation[9], NztRenderState& rs, const float position[3],
                      std::uint32_t cameraId);
void ApplyCameraMatrix(NztRenderState& rs);

// Offset in pixels from the viewport centre (x right, y down) and view depth of a world point.
// Points nearer than 1.0, behind the camera included, are scaled without the division.
void ProjectToScreen(const NztRenderState& rs, const float point[3], float out[3]);
void ProjectToScreenInPlace(const NztRenderState& rs, float point[3]);

// Field of view in degrees for a 1024-pixel-wide viewport; values not above 0 change nothing.
void SetFieldOfView(double degrees);
// Viewport in pixels from the top-left corner of the screen; an empty one changes nothing.
void SetViewport(NztRenderState& rs, float x, float y, float width, float height);
// rect: x, y, width, height; null means the whole screen.
void SetViewportToRect(const float* rect);
// Sets the whole-screen viewport unless it is already the one applied.
void ApplyScreenViewport(NztRenderState& rs, float width, float height);

// Cinema bars for a picture aspect ratio (16/9 is the standard); 0 removes them.
void SetCinemaBorders(NztRenderState& rs, float ratio);
// With cinema bars: scissor to the picture and narrow clipRect to it. The frames call it before
// clearing.
void SetScissorRect(NztRenderState& rs);
// With cinema bars: scissor off and clipRect back to the whole screen.
void DisableScissor(NztRenderState& rs);

void EnableFog();
void DisableFog();
// A rate strictly between 0 and 1 starts a transition by that fraction per step; any other rate
// applies the value at once.
void SetFogDensity(float density, float rate);
void SetFogColorRgba(const float color[4], float rate);
// One step of the running transitions (called once per sky update).
void UpdateFogTransitions();

// kind: 0 texturing off and no primitive; 1 points, 2 lines, 3 line strip, 4 triangles, 5 quads,
// all untextured; 6 triangles and 7 quads textured. Any kind is recorded in primitiveKind.
void BeginPrimitive(NztRenderState& rs, std::uint32_t kind);
// Pushes the model-view matrix and loads the 2-D base-view matrix, one level deep.
void PushBaseViewMatrix(NztRenderState& rs);

// Reads the top-left width x height pixels of the frame into buffer (width x height x 4 bytes)
// as rows from the top down, bytes blue, green, red, 0 per pixel: the layout of a TGA file.
void ReadFramePixels(std::int32_t height, std::int32_t width, std::uint8_t* buffer);
