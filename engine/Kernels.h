#pragma once

// The vectorised pixel loops behind EffectRenderer. The renderer folds everything that depends
// only on the frame, a row or a column into a Plan; the kernels do the per-pixel rest with the
// widest vectors the CPU offers, chosen at run time.

#include "Effect.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lumora::kernels {

// Extra elements every column table carries past the frame width, so a kernel may read and
// write one whole vector beyond the last pixel.
inline constexpr int pad = 32;

struct Plan {
    Effect effect = Effect::solid;
    std::uint8_t* out = nullptr; // w * h RGBA pixels
    int w = 0;
    int h = 0;
    double brightness = 1.0;
    // False where every channel times the brightness is known to stay above 0 (below 1).
    bool clampLow = true;
    bool clampHigh = true;

    // Light axis: p = colP[x] + rowP[y], u = (p - pMin) * invSpan.
    const double* colP = nullptr;
    const double* rowP = nullptr;
    double pMin = 0.0;
    double invSpan = 1.0;
    double waveScale = 0.0;

    // A sine whose argument is linear along the axis, split by angle addition into a column
    // part (colSin, colCos) and a per-frame row part (rowSin, rowCos).
    const double* colSin = nullptr;
    const double* colCos = nullptr;
    const double* rowSin = nullptr;
    const double* rowCos = nullptr;

    // rainbowWave: width and s; spectrumCycle: s.
    double k = 0.0;
    double s = 0.0;

    // neonBreath: cos and sin of breathPhase (below), and the hue drift.
    double cosA = 1.0;
    double sinA = 0.0;
    double hueDrift = 0.0;
    // neonBreath: the breath level tabulated per frame over the distance from the middle,
    // levelPhases nodes per pixel step along a row, read back by cubic interpolation. Node m
    // sits at index (m % levelPhases) * levelPhaseStride + m / levelPhases, so that the nodes a
    // row reads, one every levelPhases, lie next to each other.
    double breathPhase = 0.0; // 2 pi times the fraction of the frame's breath
    double* levels = nullptr; // levelCount nodes from levelStart, levelStep apart
    double* levelsReversed = nullptr;
    int levelCount = 0;
    int levelPhases = 1;
    std::ptrdiff_t levelPhaseStride = 0;
    double levelStart = 0.0;
    double levelStep = 0.0;
    double axisCos = 1.0;

    // heartbeat, scanner, matrix: the colour (matrix: with whitened, its head-cell mix); the
    // beat time; the comet's place, direction, head size and trail length.
    double color[3] = {0.0, 0.0, 0.0};
    double beat = 0.0;
    double pos = 0.0;
    double dir = 1.0;
    double sigma = 1.0;
    double lambda = 1.0;
    double invSigma = 1.0; // 1 / sigma, rounded
    // heartbeat: the pulse before its clamp, tabulated per frame like the neon levels
    // (levelCount, levelPhases, levelStart, levelStep), on both sides of the beat's wrap: `levels`
    // where the beat has wrapped (fmod took off one period), `pulses` where it has not.
    double* pulses = nullptr;
    double* pulsesReversed = nullptr;
    // scanner: the trail exp(-|delta| / lambda) behind the comet is exp(dir u / lambda) times
    // exp(-dir pos / lambda); u splits into a column and a row part, so per column (fixed for
    // the angle and direction) and per row (per frame) factors; null where they could overflow.
    const double* tailColumns = nullptr;
    const double* tailRows = nullptr;

    // inferno: three column sine pairs and three per-frame row sine pairs, plus the per-row
    // heat ramp.
    const double* infernoCol[6] = {};
    const double* infernoRow[6] = {};
    const double* heatBase = nullptr;

    // matrix: per cell column the head position and cycle length, per cell the atlas offset of
    // its glyph, per pixel row the row in cells and the glyph row; the atlas as fractions.
    const double* head = nullptr;
    const double* cycle = nullptr;
    const std::int32_t* glyphOffset = nullptr; // cellRow * cellColumns + cellColumn
    const double* rowCells = nullptr;          // rf per pixel row
    const std::int32_t* rowCell = nullptr;     // the cell row per pixel row
    const std::int32_t* glyphRow = nullptr;    // atlas byte offset of the glyph row
    const double* coverage = nullptr;          // atlas bytes / 255, padded
    int atlasSize = 0;                         // coverage entries before the padding
    std::uint32_t* dimGlyphs = nullptr;        // the atlas as cells outside a trail show it
    int glyphW = 1;
    int cellColumns = 0;
    double whitened[3] = {0.0, 0.0, 0.0};
    double* scratch = nullptr;           // cellColumns + pad doubles, four times
    std::uint32_t* rowScratch = nullptr; // w + pad pixels

    // starfield: this frame's lit stars (which star, its colour); per star its first and last
    // column and its glow's weight at each (fixed for the frame size, zero past the last);
    // the per-column sums and the per-row dimming.
    int starCount = 0;
    const std::int32_t* starIndex = nullptr;
    const double* starColor = nullptr;      // r, g, b per lit star
    const std::int32_t* starSpan = nullptr; // x0, x1 per star
    const double* starWeights = nullptr;    // starStride per star
    int starStride = 0;
    double* columns[3] = {};
    const double* rowDim = nullptr;
    const std::int32_t* rowSource = nullptr; // an earlier row with the same dimming, or y
    const std::int32_t* rowTwin = nullptr;   // the first later row that copies y, or -1
    std::uint8_t* columnKinds = nullptr;     // w + pad, per vector of columns

    // breathing, solid and any frame whose rows are each one colour: the pixel of every row.
    const std::uint32_t* rowPixels = nullptr;
};

// Draws the plan's effect into plan.out with the best vector unit of this CPU.
void shade(const Plan& plan);

// Fills every row y of plan.out with plan.rowPixels[y].
void fill(const Plan& plan);

// Name of the instruction set the kernels run on, e.g. "AVX3", "AVX2", "SSE4", "EMU128".
const char* activeTarget();

// Every instruction set the kernels were built for that this CPU can run, best first.
std::vector<std::string> availableTargets();

// Restricts the kernels to one instruction set (for benchmarks and tests); false when this CPU
// or build does not have it. An empty name restores the automatic choice.
bool forceTarget(const char* name);

} // namespace lumora::kernels
