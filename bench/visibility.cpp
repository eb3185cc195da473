// IsBoxVisible on random boxes around a camera, the per-object test of every frame.
#include "render/visibility.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "render/renderstate.h"

namespace {

struct BoxCorners {
  float c[8][3];
};

std::vector<BoxCorners> RandomBoxes(std::size_t count) {
  std::mt19937 rng(20240611u);  // fixed, so every run judges the same boxes
  std::uniform_real_distribution<float> position(-2000.0f, 2000.0f);
  std::uniform_real_distribution<float> size(0.5f, 50.0f);
  std::vector<BoxCorners> boxes(count);
  for (BoxCorners& b : boxes) {
    const float center[3] = {position(rng), position(rng) * 0.1f, position(rng)};
    const float half[3] = {size(rng), size(rng), size(rng)};
    for (int i = 0; i < 8; ++i) {
      b.c[i][0] = center[0] + ((i & 1) ? half[0] : -half[0]);
      b.c[i][1] = center[1] + ((i & 2) ? half[1] : -half[1]);
      b.c[i][2] = center[2] + ((i & 4) ? half[2] : -half[2]);
    }
  }
  return boxes;
}

void BM_IsBoxVisible(benchmark::State& state) {
  InitRenderState();
  // A camera turned a little about y, as in play.
  const float c = 0.8f, s = 0.6f;
  const float rotation[9] = {c, 0, -s, 0, 1, 0, s, 0, c};
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col)
      RenderState.cameraMatrix[row * 4 + col] = rotation[row * 3 + col];
  }
  RenderState.cameraPosition[1] = 50.0f;
  const std::vector<BoxCorners> boxes = RandomBoxes(4096);
  std::size_t i = 0;
  std::uint32_t visible = 0;
  for (auto _ : state) {
    float nearest;
    visible += IsBoxVisible(boxes[i].c, nearest, 3000.0f);
    benchmark::DoNotOptimize(nearest);
    i = (i + 1) & (boxes.size() - 1);
  }
  benchmark::DoNotOptimize(visible);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_IsBoxVisible);

}  // namespace

BENCHMARK_MAIN();
