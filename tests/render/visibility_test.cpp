#include "render/visibility.h"

#include <gtest/gtest.h>

#include "glrecorder.h"
#include "render/projection.h"

namespace {

// A box as centre and half extents, and its eight corners.
struct Box {
  float center[3];
  float half[3];
};

void Corners(const Box& b, float out[8][3]) {
  for (int i = 0; i < 8; ++i) {
    out[i][0] = b.center[0] + ((i & 1) ? b.half[0] : -b.half[0]);
    out[i][1] = b.center[1] + ((i & 2) ? b.half[1] : -b.half[1]);
    out[i][2] = b.center[2] + ((i & 4) ? b.half[2] : -b.half[2]);
  }
}

struct VisibilityCase {
  const char* name;
  Box box;
  float limit;
  bool visible;
  float nearest;
};

// Identity camera at the origin looking down -z, focal length 1600, an 800 x 600 screen
// (clipRect -400..400 x -300..300): at depth 100 one world unit is 16 pixels.
TEST(Visibility, BoxesAgainstCameraDepthAndScreen) {
  const VisibilityCase cases[] = {
      {"ahead", {{0, 0, -100}, {1, 1, 1}}, 1000, true, 99},
      {"behind the camera", {{0, 0, 100}, {1, 1, 1}}, 1000, false, -101},
      {"behind, overlapping the screen when undivided", {{0, 0, 5}, {1, 1, 1}}, 1000, false, -6},
      {"straddling the camera plane", {{0, 0, 0}, {1, 1, 1}}, 1000, true, -1},
      {"nearest corner exactly at the limit", {{0, 0, -101}, {1, 1, 1}}, 100, true, 100},
      {"nearest corner just beyond the limit", {{0, 0, -101}, {1, 1, 1}}, 99.99f, false, 100},
      {"left edge exactly on the right side", {{27.5f, 0, -100}, {2.5f, 1, 0}}, 1000, true, 100},
      {"left edge just past the right side", {{27.51f, 0, -100}, {2.5f, 1, 0}}, 1000, false, 100},
      {"above the screen", {{0, 20, -100}, {1, 1, 1}}, 1000, false, 99},
      {"below the screen", {{0, -20, -100}, {1, 1, 1}}, 1000, false, 99},
      {"wider than the screen", {{0, 0, -100}, {500, 1, 1}}, 1000, true, 99},
  };
  for (const VisibilityCase& c : cases) {
    SCOPED_TRACE(c.name);
    glrec::Session session;
    float corners[8][3];
    Corners(c.box, corners);
    float nearest = 12345.0f;
    EXPECT_EQ(IsBoxVisible(corners, nearest, c.limit), c.visible ? 1u : 0u);
    EXPECT_FLOAT_EQ(nearest, c.nearest);
    EXPECT_EQ(IsSfxVisible(c.box.center, c.box.half, c.limit), c.visible ? 1u : 0u);
  }
}

TEST(Visibility, ABoxInsideTheTopCinemaBarIsNotVisible) {
  glrec::Session session;
  ApplyScreenSize(RenderState, 800, 600);
  SetViewport(RenderState, 0, 0, 800, 600);
  // Focal length 1250 on an 800-pixel-wide viewport: at depth 100, world y 19..21 lands 237.5 to
  // 262.5 pixels above the centre, inside the top bar (the top 75 rows) and nowhere else.
  const Box box = {{0, 20, -100}, {1, 1, 0}};
  float corners[8][3];
  Corners(box, corners);
  float nearest = 0.0f;
  EXPECT_EQ(IsBoxVisible(corners, nearest, 1000), 1u);

  SetCinemaBorders(RenderState, 16.0f / 9.0f);
  SetScissorRect(RenderState);
  EXPECT_EQ(IsBoxVisible(corners, nearest, 1000), 0u);
  EXPECT_EQ(IsSfxVisible(box.center, box.half, 1000), 0u);

  DisableScissor(RenderState);
  EXPECT_EQ(IsBoxVisible(corners, nearest, 1000), 1u);
}

TEST(Visibility, FollowsTheLoadedCamera) {
  glrec::Session session;
  // Turned half a turn about y: the camera at z = -200 now looks down +z, back at the origin.
  const float turned[9] = {-1, 0, 0, 0, 1, 0, 0, 0, -1};
  const float eye[3] = {0, 0, -200};
  LoadCameraMatrix(turned, RenderState, eye, 1);
  const Box atOrigin = {{0, 0, 0}, {1, 1, 1}};
  const Box behindIt = {{0, 0, -300}, {1, 1, 1}};
  float nearest = 0.0f;
  EXPECT_EQ(IsSfxVisible(atOrigin.center, atOrigin.half, 1000), 1u);
  EXPECT_EQ(IsSfxVisible(behindIt.center, behindIt.half, 1000), 0u);
  float corners[8][3];
  Corners(atOrigin, corners);
  IsBoxVisible(corners, nearest, 1000);
  EXPECT_FLOAT_EQ(nearest, 199);
}

}  // namespace
