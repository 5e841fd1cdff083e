#pragma once
// The brush mask's costs beside operations of the same run (render thread, context current):
// - dab placement of a 10,000-sample stroke on the CPU: at most 1/20 of rasterising its dabs;
// - rasterisation into a 1500 x 1000 mask, radii 4, 50 and 300 mask pixels, plain and
//   colour-aware, into GL_R32F (the painter's buffers) beside GL_R8, in dabs/s and Mpix/s;
// - a request of about 100 dabs of radius 50 with the copy into the handed-out 8-bit mask:
//   at most twice one copy pass over the mask;
// - one stroke's history entry over a 100 x 100 area: at most 1/20 of a whole-mask entry.

namespace BrushMaskBench {
void run(int runs);
}
